// Installation for the current user (a copy of the program and two shortcuts) and start at log-on.
#include "shell.hpp"

#include "core/install_rules.hpp"
#include "core/texts.hpp"

#include <shlobj.h>
#include <shlwapi.h>

int autostart_get() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  unsigned char data[kRunQueryBytes];
  DWORD type = 0, size = sizeof data;
  LONG r = RegQueryValueExW(key, kRunValueName, nullptr, &type, data, &size);
  RegCloseKey(key);
  return autostart_from_query(r == ERROR_SUCCESS, type, data, size);
}

// The program the Run value starts: the installed copy when there is one, else this one.
static int autostart_target(wchar_t *exe) {
  wchar_t dir[kPathChars];
  if (ensure_app_dir(dir) && installed_exe_path(dir, exe, kPathChars) && PathFileExistsW(exe))
    return 1;
  DWORD n = GetModuleFileNameW(nullptr, exe, kPathChars);
  return n > 0 && n < kPathChars ? 1 : 0;
}

int autostart_set(int on) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
    logf(on ? kLogAutostartWriteFailed : kLogAutostartDeleteFailed, kRunKey);
    return 0;
  }
  if (!on) {
    const LONG r = RegDeleteValueW(key, kRunValueName);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) { // a missing value is no failure
      logf(kLogAutostartDeleteFailed);
      return 0;
    }
    logf(kLogAutostartDeleted);
    return 1;
  }
  wchar_t exe[kPathChars];
  wchar_t command[kRunDataCap];
  if (!autostart_target(exe) || !run_value_data(exe, command, kRunDataCap)) {
    RegCloseKey(key);
    return 0;
  }
  LONG r = RegSetValueExW(key, kRunValueName, 0, REG_SZ, reinterpret_cast<const BYTE *>(command),
                          reg_sz_bytes(wcslen(command)));
  RegCloseKey(key);
  logf(r == ERROR_SUCCESS ? kLogAutostartWritten : kLogAutostartWriteFailed, command);
  return r == ERROR_SUCCESS ? 1 : 0;
}

// Releases a COM pointer when it goes out of scope, so that no error path leaks it.
template <typename T> struct com_ptr {
  T *p = nullptr;
  com_ptr() = default;
  com_ptr(const com_ptr &) = delete;
  com_ptr &operator=(const com_ptr &) = delete;
  ~com_ptr() {
    if (p)
      p->Release();
  }
  void **out() { return reinterpret_cast<void **>(&p); }
  T *operator->() const { return p; }
};

// 1 when the shortcut file was saved.
int create_shortcut(const wchar_t *target, const wchar_t *working_dir, const wchar_t *link_path) {
  com_ptr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out())))
    return 0;
  if (FAILED(link->SetPath(target)) || FAILED(link->SetWorkingDirectory(working_dir)))
    return 0;
  com_ptr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.out())))
    return 0;
  return SUCCEEDED(file->Save(link_path, TRUE)) ? 1 : 0;
}

static void shortcut_in(int folder_id, const wchar_t *target, const wchar_t *dir) {
  wchar_t folder[kPathChars];
  wchar_t link[kPathChars];
  if (SUCCEEDED(SHGetFolderPathW(nullptr, folder_id, nullptr, 0, folder)) &&
      shortcut_path(folder, link, kPathChars)) {
    if (!create_shortcut(target, dir, link))
      logf(kLogShortcutFailed, link);
    return;
  }
  logf(kLogShortcutFailed, kProductName);
}

int install_self(wchar_t *path) {
  wchar_t source[kPathChars];
  DWORD n = GetModuleFileNameW(nullptr, source, kPathChars);
  if (n == 0 || n >= kPathChars)
    return 0;
  wchar_t dir[kPathChars];
  if (!ensure_app_dir(dir) || !installed_exe_path(dir, path, kPathChars))
    return 0;
  if (!same_path(source, path) && !CopyFileW(source, path, FALSE)) {
    DWORD error = GetLastError();
    if (!PathFileExistsW(path)) { // a running installed copy cannot be replaced, but it is there
      logf(kLogInstallCopyFailed, error);
      return 0;
    }
  }
  shortcut_in(CSIDL_DESKTOPDIRECTORY, path, dir);
  shortcut_in(CSIDL_PROGRAMS, path, dir);
  autostart_set(1);
  logf(kLogInstallDone, path);
  return 1;
}
