// Opening the page in Edge, Chrome or Chromium, or as a file through xdg-open when none can be
// started. Where the Windows shell shows a message box, the text goes to standard error.
#include "shell.hpp"

#include "core/browser.hpp"
#include "core/texts.hpp"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

extern "C" const unsigned char _binary_app_html_start[];
extern "C" const unsigned char _binary_app_html_end[];

static void error_message(const wchar_t *text) {
  std::fprintf(stderr, "%s\n", narrow(text).c_str());
  std::fflush(stderr);
}

namespace {

// The browser search tests candidates under VELLORA_BROWSER_ROOT instead of "/" when it names an
// absolute folder, so that tests control which browsers exist. Nothing else uses it.
struct browser_search {
  std::string root;
  std::string found;
};

int executable_under_root(void *ctx, const char *path) {
  auto *search = static_cast<browser_search *>(ctx);
  const std::string full = search->root + path;
  if (!is_regular_file(full) || access(full.c_str(), X_OK) != 0)
    return 0;
  search->found = full;
  return 1;
}

} // namespace

int find_browser(std::string &path) {
  const char *root = std::getenv("VELLORA_BROWSER_ROOT");
  browser_search search{root && root[0] == '/' ? root : "", ""};
  std::string candidate;
  if (!linux_find_browser(std::getenv("PATH"), executable_under_root, &search, &candidate))
    return 0;
  path = search.found;
  return 1;
}

// Makes app.html in the data folder hold exactly the embedded page; an older or half-written one
// is replaced whole.
static bool write_page_file(const std::string &page_path) {
  const std::string page(reinterpret_cast<const char *>(_binary_app_html_start),
                         static_cast<size_t>(_binary_app_html_end - _binary_app_html_start));
  std::string existing;
  const bool have = read_file(page_path, page.size(), existing);
  if (!page_needs_write(have ? existing.data() : nullptr, existing.size(), page.data(), page.size()))
    return true;
  return replace_file(page_path, page, 0644) == 0;
}

static void open_page_file(const std::string &dir) {
  const std::string page_path = dir + "/" + narrow(kPageFileName);
  if (!write_page_file(page_path)) {
    logf(kLogPageWriteFailed);
    error_message(kMsgPageNotWritten);
    return;
  }
  const std::string url = linux_file_url(page_path);
  logf(kLogFallbackOpen, widen(url).c_str());
  const std::string opener = find_on_path("xdg-open");
  if (!opener.empty() && spawn_detached({opener, url}, dir) == 0)
    return;
  // Without a message box nobody may see standard error, so the log keeps it too.
  logf(L"[err] %ls", kMsgNoBrowser);
  error_message(kMsgNoBrowser);
}

int launch_browser(int app_mode) {
  std::string dir;
  if (!ensure_app_dir(dir)) {
    logf(kLogNoDataDir);
    error_message(kMsgNoDataDir);
    return 0;
  }
  const std::string profile = dir + "/" + narrow(kProfileDirName);

  for (int i = 0; i < 60 && g_port == 0; ++i)
    usleep(50 * 1000);
  const unsigned port = g_port;
  std::string browser;
  const int found = find_browser(browser);

  if (port && found) {
    // ret: 0 when the browser was started, else the errno of the failed start.
    const int ret = spawn_detached(linux_browser_argv(browser, app_mode, port, profile), dir);
    logf(kLogLaunch, app_mode, port, widen(browser).c_str(), ret);
    if (ret == 0)
      return 1;
    logf(kLogLaunchFailed, ret, static_cast<unsigned long>(ret));
  } else {
    logf(kLogFallbackWarn, port, found);
  }
  open_page_file(dir);
  return 0;
}
