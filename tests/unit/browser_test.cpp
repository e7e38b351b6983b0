#include "core/browser.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(Browser, CandidatesInOrder) {
  const std::wstring want[] = {
      L"%ProgramFiles(x86)%\\Microsoft\\Edge\\Application\\msedge.exe",
      L"%ProgramFiles%\\Microsoft\\Edge\\Application\\msedge.exe",
      L"%LOCALAPPDATA%\\Google\\Chrome\\Application\\chrome.exe",
      L"%ProgramFiles%\\Google\\Chrome\\Application\\chrome.exe",
      L"%ProgramFiles(x86)%\\Google\\Chrome\\Application\\chrome.exe",
  };
  for (int i = 0; i < kBrowserCandidates; ++i)
    EXPECT_EQ(kBrowserCands[i], want[i]) << i;
}

TEST(Browser, CommandLines) {
  const wchar_t *profile = L"C:\\Users\\Li Lei\\AppData\\Local\\Doremkin\\profile";
  wchar_t buf[kCmdLineCap];
  ASSERT_EQ(browser_cmdline(1, 51234, profile, buf, kCmdLineCap), 1);
  EXPECT_EQ(std::wstring(buf),
            L"--app=\"http://127.0.0.1:51234/\" --user-data-dir=\"C:\\Users\\Li "
            L"Lei\\AppData\\Local\\Doremkin\\profile\" --window-size=1360,840 --window-position=60,40 "
            L"--no-first-run --no-default-browser-check --disable-sync --disable-features=Translate");
  ASSERT_EQ(browser_cmdline(0, 8, profile, buf, kCmdLineCap), 1);
  EXPECT_EQ(std::wstring(buf), L"--user-data-dir=\"C:\\Users\\Li Lei\\AppData\\Local\\Doremkin\\profile\" "
                               L"--window-size=1360,840 --no-first-run --no-default-browser-check "
                               L"\"http://127.0.0.1:8/\"");
}

TEST(Browser, CommandLineIsCutAndTerminatedWhenTooLong) {
  const std::wstring profile(3000, L'p');
  wchar_t buf[kCmdLineCap];
  buf[kCmdLineCap - 1] = L'x';
  EXPECT_EQ(browser_cmdline(1, 1, profile.c_str(), buf, kCmdLineCap), 0);
  EXPECT_EQ(buf[kCmdLineCap - 1], 0);
  EXPECT_EQ(std::wstring(buf).size(), kCmdLineCap - 1);
}

TEST(Browser, DataFolderPaths) {
  wchar_t buf[260];
  ASSERT_EQ(profile_path(L"C:\\D\\Doremkin", buf, 260), 1);
  EXPECT_EQ(std::wstring(buf), L"C:\\D\\Doremkin\\profile");
  ASSERT_EQ(page_file_path(L"C:\\D\\Doremkin", buf, 260), 1);
  EXPECT_EQ(std::wstring(buf), L"C:\\D\\Doremkin\\app.html");
  ASSERT_EQ(page_temp_path(L"C:\\D\\Doremkin", 4242, buf, 260), 1);
  EXPECT_EQ(std::wstring(buf), L"C:\\D\\Doremkin\\app.html.4242.tmp");
  // 251 + "\profile" is 259 characters: fits; one more does not.
  EXPECT_EQ(profile_path(std::wstring(251, L'd').c_str(), buf, 260), 1);
  EXPECT_EQ(profile_path(std::wstring(252, L'd').c_str(), buf, 260), 0);
  EXPECT_EQ(std::wstring(buf).size(), 259u);
}

TEST(Browser, FileUrlIsPercentEncoded) {
  wchar_t url[kFileUrlCap];
  ASSERT_EQ(file_url(L"C:\\Users\\t\\AppData\\Local\\Doremkin\\app.html", url, kFileUrlCap), 1);
  EXPECT_EQ(std::wstring(url), L"file:///C:/Users/t/AppData/Local/Doremkin/app.html");
  // "#" would start a fragment, "%" an escape and "?" a query: each stays part of the path
  ASSERT_EQ(file_url(L"C:\\Users\\李雷\\a b#1\\100%?\\app.html", url, kFileUrlCap), 1);
  EXPECT_EQ(std::wstring(url), L"file:///C:/Users/%E6%9D%8E%E9%9B%B7/a%20b%231/100%25%3F/app.html");

  // the longest path the shell makes, all of it characters that take three encoded bytes
  const std::wstring longest = L"C:\\" + std::wstring(257, L'李');
  ASSERT_EQ(file_url(longest.c_str(), url, kFileUrlCap), 1);
  EXPECT_EQ(std::wstring(url).size(), 8 + 3 + 257 * 9u);
  // too small a buffer gives no URL at all rather than a cut one
  EXPECT_EQ(file_url(L"C:\\a#b\\app.html", url, 20), 0);
  EXPECT_EQ(std::wstring(url), L"");
}

TEST(Browser, PageFileIsRewrittenWhenAbsentOrDifferent) {
  const char page[] = "<html>new</html>";
  struct row {
    const char *existing;
    size_t len;
    int write;
  };
  const row rows[] = {
      {nullptr, 0, 1},               // no file
      {"<html>new</html>", 16, 0},   // the same bytes
      {"<html>old</html>", 16, 1},   // same length, other bytes
      {"<html>new</html>\n", 17, 1}, // longer
      {"<html>new</htm", 14, 1},     // cut short by an earlier failed write
      {"", 0, 1},
  };
  for (const row &r : rows)
    EXPECT_EQ(page_needs_write(r.existing, r.len, page, 16), r.write) << (r.existing ? r.existing : "(none)");
}

// A fake file system for the Linux browser search: the set of executable paths.
int exists_in(void *ctx, const char *path) {
  return static_cast<std::set<std::string> *>(ctx)->count(path) ? 1 : 0;
}

TEST(LinuxBrowser, SearchOrder) {
  struct row {
    const char *path_env;
    std::set<std::string> executables;
    const char *found; // null: none
  };
  const row rows[] = {
      // Edge on the PATH wins over Chrome at its usual path.
      {"/usr/local/bin:/usr/bin",
       {"/usr/bin/microsoft-edge", "/opt/google/chrome/chrome"},
       "/usr/bin/microsoft-edge"},
      // PATH entries are searched in order.
      {"/home/t/bin:/usr/bin", {"/usr/bin/chromium", "/home/t/bin/chromium"}, "/home/t/bin/chromium"},
      // Without PATH the usual absolute paths still work.
      {nullptr, {"/opt/google/chrome/chrome"}, "/opt/google/chrome/chrome"},
      {"/usr/bin/", {"/usr/bin/google-chrome-stable"}, "/usr/bin/google-chrome-stable"},
      // Empty and relative PATH entries are skipped: nothing from the working folder.
      {"::bin:.", {"chromium", "./chromium", "bin/chromium", "/chromium"}, nullptr},
      {"/usr/bin", {"/usr/bin/firefox"}, nullptr},
      // Chrome before Chromium.
      {"/usr/bin", {"/usr/bin/chromium-browser", "/usr/bin/google-chrome"}, "/usr/bin/google-chrome"},
  };
  for (const row &r : rows) {
    std::set<std::string> fs = r.executables;
    std::string out = "unchanged";
    const int ok = linux_find_browser(r.path_env, exists_in, &fs, &out);
    EXPECT_EQ(ok, r.found ? 1 : 0) << (r.path_env ? r.path_env : "(no PATH)");
    if (r.found) {
      EXPECT_EQ(out, r.found);
    }
  }
}

TEST(LinuxBrowser, Argv) {
  using v = std::vector<std::string>;
  EXPECT_EQ(linux_browser_argv("/usr/bin/chromium", 1, 40123, "/home/t/.local/share/Doremkin/profile"),
            (v{"/usr/bin/chromium", "--app=http://127.0.0.1:40123/",
               "--user-data-dir=/home/t/.local/share/Doremkin/profile", "--window-size=1360,840",
               "--window-position=60,40", "--no-first-run", "--no-default-browser-check", "--disable-sync",
               "--disable-features=Translate"}));
  EXPECT_EQ(linux_browser_argv("/usr/bin/chromium", 0, 40123, "/p q/profile"),
            (v{"/usr/bin/chromium", "--user-data-dir=/p q/profile", "--window-size=1360,840",
               "--no-first-run", "--no-default-browser-check", "http://127.0.0.1:40123/"}));
}

TEST(LinuxBrowser, FileUrlIsPercentEncoded) {
  EXPECT_EQ(linux_file_url("/home/t/.local/share/Doremkin/app.html"),
            "file:///home/t/.local/share/Doremkin/app.html");
  EXPECT_EQ(linux_file_url("/home/李 雷/100%#?/app.html"),
            "file:///home/%E6%9D%8E%20%E9%9B%B7/100%25%23%3F/app.html");
}

} // namespace
