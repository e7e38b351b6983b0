// The data folder and the launch log in it.
#include "shell.hpp"

#include "core/applog.hpp"
#include "core/texts.hpp"
#include "core/utf8.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

std::string narrow(const wchar_t *text) {
  std::string out;
  utf8_append_lenient(text, out);
  return out;
}

std::wstring widen(const std::string &text) { return utf8_widen_lenient(text); }

bool make_dirs(const std::string &path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/')
      continue;
    std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
      return false;
  }
  return true;
}

int ensure_app_dir(std::string &path) {
  const char *data_home = std::getenv("XDG_DATA_HOME");
  if (data_home && data_home[0] == '/') {
    path = data_home;
  } else {
    const char *home = std::getenv("HOME");
    if (!home || !home[0])
      return 0;
    path = std::string(home) + "/.local/share";
  }
  path += "/" + narrow(kAppDirName);
  struct stat st;
  if (stat(path.c_str(), &st) == 0) // any entry of that name counts, as on Windows
    return 1;
  return make_dirs(path) ? 1 : 0;
}

int app_file(std::string &path, const wchar_t *name) {
  if (!ensure_app_dir(path))
    return 0;
  path += "/" + narrow(name);
  return 1;
}

void logf(const wchar_t *format, ...) {
  std::string file;
  if (!app_file(file, kLogFileName))
    return;
  va_list args;
  va_start(args, format);
  std::string record = format_log_record(format, args);
  va_end(args);
  FILE *f = std::fopen(file.c_str(), "ab");
  if (!f)
    return;
  std::fwrite(record.data(), 1, record.size(), f);
  std::fclose(f);
}
