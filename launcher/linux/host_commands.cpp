// Host commands the page sends to the shell: installation state, install, start at log-on.
#include "shell.hpp"

#include "core/host_cmd.hpp"
#include "core/install_rules.hpp"

namespace {

int installed(void *, char *path_json) {
  std::string dir;
  if (!ensure_app_dir(dir))
    return 0;
  const std::string exe = dir + "/" + kLinuxExeName;
  if (!is_regular_file(exe))
    return 0;
  json_str(exe.c_str(), path_json, kJsonPathCap);
  return 1;
}

int get_autostart(void *) { return autostart_get(); }
int set_autostart(void *, int on) { return autostart_set(on); }

int install(void *, char *path_json) {
  std::string exe;
  if (!install_self(exe))
    return 0;
  json_str(exe.c_str(), path_json, kJsonPathCap);
  return 1;
}

} // namespace

int handle_host_command(const char *request, char *header, char *body) {
  const host_ops ops{nullptr, installed, get_autostart, set_autostart, install};
  return host_reply(request, g_port, "linux", ops, header, body);
}
