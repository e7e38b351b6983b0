// Host commands the page sends to the shell: installation state, install, start at log-on.
#include "shell.hpp"

#include "core/host_cmd.hpp"
#include "core/install_rules.hpp"

#include <shlwapi.h>

namespace {

int installed(void *, char *path_json) {
  wchar_t dir[kPathChars];
  wchar_t exe[kPathChars];
  if (!ensure_app_dir(dir) || !installed_exe_path(dir, exe, kPathChars) || !PathFileExistsW(exe))
    return 0;
  json_wstr(exe, path_json, kJsonPathCap);
  return 1;
}

int get_autostart(void *) { return autostart_get(); }
int set_autostart(void *, int on) { return autostart_set(on); }

int install(void *, char *path_json) {
  wchar_t exe[kPathChars];
  if (!install_self(exe))
    return 0;
  json_wstr(exe, path_json, kJsonPathCap);
  return 1;
}

} // namespace

int handle_host_command(const char *request, char *header, char *body) {
  const host_ops ops{nullptr, installed, get_autostart, set_autostart, install};
  return host_reply(request, g_port, "win", ops, header, body);
}
