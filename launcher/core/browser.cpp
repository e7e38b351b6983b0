#include "core/browser.hpp"

#include "core/texts.hpp"
#include "core/utf8.hpp"
#include "core/wide_copy.hpp"

#include <cstring>

const wchar_t *const kBrowserCands[kBrowserCandidates] = {
    L"%ProgramFiles(x86)%\\Microsoft\\Edge\\Application\\msedge.exe",
    L"%ProgramFiles%\\Microsoft\\Edge\\Application\\msedge.exe",
    L"%LOCALAPPDATA%\\Google\\Chrome\\Application\\chrome.exe",
    L"%ProgramFiles%\\Google\\Chrome\\Application\\chrome.exe",
    L"%ProgramFiles(x86)%\\Google\\Chrome\\Application\\chrome.exe",
};

namespace {

std::wstring loopback_url(unsigned port) { return L"http://127.0.0.1:" + std::to_wstring(port) + L"/"; }

std::wstring window_size() { return std::to_wstring(kWindowWidth) + L"," + std::to_wstring(kWindowHeight); }

std::string loopback_url_narrow(unsigned port) { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

// Appends the bytes of `path`, percent-encoding all but A-Z a-z 0-9 - . _ ~ / and those in `keep`.
void append_url_path(const std::string &path, const char *keep, std::string &url) {
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~' || c == '/' || (c && std::strchr(keep, c))) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
}

} // namespace

int browser_cmdline(int app_mode, unsigned port, const wchar_t *profile, wchar_t *out, size_t cap) {
  std::wstring s;
  if (app_mode)
    s = L"--app=\"" + loopback_url(port) + L"\" --user-data-dir=\"" + profile + L"\" --window-size=" +
        window_size() +
        L" --window-position=60,40 --no-first-run --no-default-browser-check --disable-sync "
        L"--disable-features=Translate";
  else
    s = L"--user-data-dir=\"" + std::wstring(profile) + L"\" --window-size=" + window_size() +
        L" --no-first-run --no-default-browser-check \"" + loopback_url(port) + L"\"";
  return copy_wide(s, out, cap);
}

int profile_path(const wchar_t *data_dir, wchar_t *out, size_t cap) {
  return copy_wide(std::wstring(data_dir) + L"\\" + kProfileDirName, out, cap);
}

int page_file_path(const wchar_t *data_dir, wchar_t *out, size_t cap) {
  return copy_wide(std::wstring(data_dir) + L"\\" + kPageFileName, out, cap);
}

int page_temp_path(const wchar_t *data_dir, unsigned long id, wchar_t *out, size_t cap) {
  return copy_wide(std::wstring(data_dir) + L"\\" + kPageFileName + L"." + std::to_wstring(id) + L".tmp", out,
                   cap);
}

int file_url(const wchar_t *path, wchar_t *out, size_t cap) {
  std::wstring slashed(path);
  for (wchar_t &c : slashed)
    if (c == L'\\')
      c = L'/';
  std::string utf8;
  utf8_append_lenient(slashed.c_str(), utf8);
  std::string url = "file:///";
  append_url_path(utf8, ":", url);
  if (url.size() >= cap) {
    if (cap)
      out[0] = 0;
    return 0;
  }
  return copy_wide(std::wstring(url.begin(), url.end()), out, cap);
}

int page_needs_write(const void *existing, size_t existing_len, const void *page, size_t page_len) {
  if (!existing || existing_len != page_len)
    return 1;
  return page_len != 0 && std::memcmp(existing, page, page_len) != 0 ? 1 : 0;
}

const char *const kLinuxBrowserCands[kLinuxBrowserCandidates] = {
    "microsoft-edge",
    "microsoft-edge-stable",
    "/usr/bin/microsoft-edge",
    "/usr/bin/microsoft-edge-stable",
    "/opt/microsoft/msedge/msedge",
    "google-chrome",
    "google-chrome-stable",
    "/usr/bin/google-chrome",
    "/usr/bin/google-chrome-stable",
    "/opt/google/chrome/chrome",
    "chromium",
    "chromium-browser",
    "/usr/bin/chromium",
    "/usr/bin/chromium-browser",
    "/snap/bin/chromium",
};

int linux_find_browser(const char *path_env, int (*is_executable)(void *ctx, const char *path), void *ctx,
                       std::string *out) {
  std::vector<std::string> dirs;
  if (path_env) {
    const char *p = path_env;
    for (;;) {
      const char *end = std::strchr(p, ':');
      const std::string dir = end ? std::string(p, end) : std::string(p);
      if (!dir.empty() && dir[0] == '/')
        dirs.push_back(dir);
      if (!end)
        break;
      p = end + 1;
    }
  }
  for (const std::string cand : kLinuxBrowserCands) {
    if (cand[0] == '/') {
      if (is_executable(ctx, cand.c_str())) {
        *out = cand;
        return 1;
      }
      continue;
    }
    for (const std::string &dir : dirs) {
      const std::string full = dir + (dir.back() == '/' ? "" : "/") + cand;
      if (is_executable(ctx, full.c_str())) {
        *out = full;
        return 1;
      }
    }
  }
  return 0;
}

std::vector<std::string> linux_browser_argv(const std::string &browser, int app_mode, unsigned port,
                                            const std::string &profile) {
  const std::string size =
      "--window-size=" + std::to_string(kWindowWidth) + "," + std::to_string(kWindowHeight);
  if (app_mode)
    return {browser,
            "--app=" + loopback_url_narrow(port),
            "--user-data-dir=" + profile,
            size,
            "--window-position=60,40",
            "--no-first-run",
            "--no-default-browser-check",
            "--disable-sync",
            "--disable-features=Translate"};
  return {browser,          "--user-data-dir=" + profile, size,
          "--no-first-run", "--no-default-browser-check", loopback_url_narrow(port)};
}

std::string linux_file_url(const std::string &path) {
  std::string url = "file://";
  append_url_path(path, "", url);
  return url;
}
