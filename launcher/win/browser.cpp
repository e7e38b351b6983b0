// Opening the page in Edge or Chrome, or as a file when neither can be started.
#include "shell.hpp"

#include "core/browser.hpp"
#include "core/texts.hpp"

#include <shellapi.h>
#include <shlwapi.h>

#include <vector>

extern "C" const unsigned char _binary_app_html_start[];
extern "C" const unsigned char _binary_app_html_end[];

static void error_box(const wchar_t *text) { MessageBoxW(nullptr, text, kProductName, MB_ICONERROR | MB_OK); }

int find_browser(wchar_t *path) {
  for (const wchar_t *candidate : kBrowserCands) {
    wchar_t expanded[kPathChars];
    DWORD n = ExpandEnvironmentStringsW(candidate, expanded, kPathChars);
    if (n == 0 || n > kPathChars || !PathFileExistsW(expanded))
      continue;
    lstrcpynW(path, expanded, kPathChars);
    return 1;
  }
  return 0;
}

// The whole file, or nothing when it cannot be read.
static bool read_file(const wchar_t *path, std::vector<unsigned char> &bytes) {
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE)
    return false;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart < (64LL << 20);
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ok = bytes.empty() || (ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                           read == bytes.size());
  }
  CloseHandle(f);
  return ok;
}

// Makes app.html in the data folder hold exactly the embedded page. It is written to a temporary
// file and renamed over the old one, so a failed write never leaves a half page under the name.
static bool write_page_file(const wchar_t *dir, const wchar_t *page_path) {
  const unsigned char *page = _binary_app_html_start;
  const DWORD page_length = static_cast<DWORD>(_binary_app_html_end - _binary_app_html_start);
  std::vector<unsigned char> existing;
  bool have = read_file(page_path, existing);
  if (!page_needs_write(have ? existing.data() : nullptr, existing.size(), page, page_length))
    return true;

  wchar_t temp[kPathChars];
  if (!page_temp_path(dir, GetCurrentProcessId(), temp, kPathChars))
    return false;
  HANDLE f = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  bool ok = WriteFile(f, page, page_length, &written, nullptr) && written == page_length;
  ok = CloseHandle(f) && ok;
  if (ok && MoveFileExW(temp, page_path, MOVEFILE_REPLACE_EXISTING))
    return true;
  DeleteFileW(temp);
  return false;
}

static void open_page_file(const wchar_t *dir) {
  wchar_t page_path[kPathChars];
  if (!page_file_path(dir, page_path, kPathChars) || !write_page_file(dir, page_path)) {
    logf(kLogPageWriteFailed);
    error_box(kMsgPageNotWritten);
    return;
  }
  wchar_t url[kFileUrlCap];
  file_url(page_path, url, kFileUrlCap);
  logf(kLogFallbackOpen, url);
  if (reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", url, nullptr, dir, SW_SHOWNORMAL)) > 32)
    return;
  error_box(kMsgNoBrowser);
}

void launch_browser(int app_mode) {
  wchar_t dir[kPathChars];
  if (!ensure_app_dir(dir)) {
    logf(kLogNoDataDir);
    error_box(kMsgNoDataDir);
    return;
  }
  wchar_t profile[kPathChars];
  profile_path(dir, profile, kPathChars);

  for (int i = 0; i < 60 && g_port == 0; ++i)
    Sleep(50);
  const unsigned port = g_port;
  wchar_t browser[kPathChars];
  const int found = find_browser(browser);

  if (port && found) {
    wchar_t command[kCmdLineCap];
    browser_cmdline(app_mode, port, profile, command, kCmdLineCap);
    HINSTANCE started = ShellExecuteW(nullptr, L"open", browser, command, dir, SW_SHOWNORMAL);
    const DWORD error = GetLastError(); // before logging touches any file
    const int ret = static_cast<int>(reinterpret_cast<INT_PTR>(started));
    logf(kLogLaunch, app_mode, port, browser, ret);
    if (ret > 32)
      return;
    logf(kLogLaunchFailed, ret, error);
  } else {
    logf(kLogFallbackWarn, port, found);
  }
  open_page_file(dir);
}
