// The data folder %LOCALAPPDATA%\Doremkin and the launch log in it.
#include "shell.hpp"

#include "core/applog.hpp"
#include "core/texts.hpp"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

int ensure_app_dir(wchar_t *path) {
  wchar_t base[kPathChars];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, base))) {
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base, kPathChars);
    if (n == 0 || n >= kPathChars) // a value that does not fit is no folder either
      return 0;
  }
  int n = std::swprintf(path, kPathChars, L"%ls\\%ls", base, kAppDirName);
  if (n < 0 || n >= kPathChars)
    return 0;
  if (PathFileExistsW(path))
    return 1;
  if (CreateDirectoryW(path, nullptr))
    return 1;
  return GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0;
}

int app_file(wchar_t *path, const wchar_t *name) {
  wchar_t dir[kPathChars];
  if (!ensure_app_dir(dir))
    return 0;
  int n = std::swprintf(path, kPathChars, L"%ls\\%ls", dir, name);
  return n > 0 && n < kPathChars ? 1 : 0;
}

void logf(const wchar_t *format, ...) {
  wchar_t file[kPathChars];
  if (!app_file(file, kLogFileName))
    return;
  va_list args;
  va_start(args, format);
  std::string record = format_log_record(format, args);
  va_end(args);
  // Opened and closed per line, so every line is on disk when logf returns.
  FILE *f = _wfopen(file, L"ab");
  if (!f)
    return;
  std::fwrite(record.data(), 1, record.size(), f);
  std::fclose(f);
}
