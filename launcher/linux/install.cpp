// Installation for the current user (a copy of the program and an application entry) and start
// at log-on (an XDG autostart entry).
#include "shell.hpp"

#include "core/install_rules.hpp"
#include "core/texts.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

static const size_t kEntryCap = 64 * 1024;    // an autostart entry is a few lines
static const size_t kProgramCap = 256u << 20; // more than the shell will ever be

static std::string autostart_entry_path() {
  return linux_autostart_entry_path(std::getenv("HOME"), std::getenv("XDG_CONFIG_HOME"));
}

static std::string installed_path(const std::string &dir) { return dir + "/" + kLinuxExeName; }

// The running program's path; "" when the system does not tell.
static std::string running_program() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
  return n > 0 && static_cast<size_t>(n) < sizeof buf ? std::string(buf, static_cast<size_t>(n)) : "";
}

// Writes a .desktop file, creating its folder when missing.
static int write_entry(const std::string &path, const std::string &text) {
  if (path.empty() || text.empty())
    return 0;
  const size_t slash = path.rfind('/');
  if (!make_dirs(path.substr(0, slash)))
    return 0;
  return replace_file(path, text, 0644) == 0 ? 1 : 0;
}

int autostart_get() {
  std::string text;
  const std::string path = autostart_entry_path();
  return !path.empty() && read_file(path, kEntryCap, text) && desktop_entry_enabled(text) ? 1 : 0;
}

int autostart_set(int on) {
  const std::string path = autostart_entry_path();
  if (path.empty())
    return 0;
  if (!on) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT) { // a missing entry is no failure
      logf(kLogAutostartDeleteFailed);
      return 0;
    }
    logf(kLogAutostartDeleted);
    return 1;
  }
  // The installed copy when there is one, else this program wherever it lies.
  std::string dir, exe;
  if (ensure_app_dir(dir) && is_regular_file(installed_path(dir)))
    exe = installed_path(dir);
  else
    exe = running_program();
  if (exe.empty())
    return 0;
  const int ok = write_entry(path, desktop_entry(exe, 1));
  logf(ok ? kLogAutostartWritten : kLogAutostartWriteFailed,
       widen("\"" + exe + "\" " + narrow(kBallOnlySwitch)).c_str());
  return ok;
}

// Whether the running program is the file at `path` (the same inode, whatever the path's spelling).
static bool is_running_program(const std::string &path) {
  struct stat self, other;
  return stat("/proc/self/exe", &self) == 0 && stat(path.c_str(), &other) == 0 &&
         self.st_dev == other.st_dev && self.st_ino == other.st_ino;
}

int install_self(std::string &path) {
  // /proc/self/exe opens the running program even when its file has since been replaced.
  std::string program;
  if (!read_file("/proc/self/exe", kProgramCap, program) || program.empty())
    return 0;
  std::string dir;
  if (!ensure_app_dir(dir))
    return 0;
  path = installed_path(dir);
  if (!is_running_program(path)) {
    const int err = replace_file(path, program, 0755);
    if (err && !is_regular_file(path)) { // a failed copy over an existing one leaves that in place
      logf(kLogInstallCopyFailed, static_cast<unsigned long>(err));
      return 0;
    }
  }
  // The application entry is the menu's shortcut; its failure does not change the result.
  const std::string app_entry = linux_app_entry_path(std::getenv("HOME"), std::getenv("XDG_DATA_HOME"));
  if (!write_entry(app_entry, desktop_entry(path, 0)))
    logf(kLogShortcutFailed, widen(app_entry).c_str());
  autostart_set(1);
  logf(kLogInstallDone, widen(path).c_str());
  return 1;
}
