// Starting the page in a browser: the candidates, the command lines of app mode and normal mode,
// the profile folder, and the page-file fallback (its path, its URL and when to rewrite it).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

inline constexpr int kWindowWidth = 1360;
inline constexpr int kWindowHeight = 840;
inline constexpr size_t kCmdLineCap = 2048; // wide characters, terminator included
// "file:///" + a percent-encoded path of up to 260 UTF-16 units (at most 9 characters each: three
// encoded UTF-8 bytes) + terminator: every path the shell makes fits.
inline constexpr size_t kFileUrlCap = 8 + 260 * 9 + 1;

// Message boxes of the launch (caption "Vellora", error icon, no owner).
inline constexpr const wchar_t *kMsgNoDataDir = L"无法创建数据目录，请检查磁盘权限。";
inline constexpr const wchar_t *kMsgPageNotWritten =
    L"打不开：本机既没能启动内置服务，也写不了页面文件。\n请把 exe 放到普通文件夹（别放 C "
    L"盘根目录或只读目录）再试。";
inline constexpr const wchar_t *kMsgNoBrowser = L"没能自动打开浏览器，请确认电脑上装有 Edge 或 Chrome。";

// ---- Windows ----

// The browser candidates in the order they are tried; environment variables are expanded when
// tried. Edge first, then Chrome.
inline constexpr int kBrowserCandidates = 5;
extern const wchar_t *const kBrowserCands[kBrowserCandidates];

// The browser's command line (arguments only) into `out` of `cap` characters: app mode (1) opens a
// 1360x840 app window at 60,40 on http://127.0.0.1:port/; normal mode (0) a regular window. Always
// terminated; returns 1 when it fitted, 0 when it was cut.
int browser_cmdline(int app_mode, unsigned port, const wchar_t *profile, wchar_t *out, size_t cap);

// "<data folder>\profile", "<data folder>\app.html" and the fallback's temporary file
// "<data folder>\app.html.<id>.tmp" (`id` keeps two processes apart, e.g. the process id). Always
// terminated; 1 when the path fitted, 0 when it would be cut (do not use it then).
int profile_path(const wchar_t *data_dir, wchar_t *out, size_t cap);
int page_file_path(const wchar_t *data_dir, wchar_t *out, size_t cap);
int page_temp_path(const wchar_t *data_dir, unsigned long id, wchar_t *out, size_t cap);

// "file:///" + `path` with each backslash turned into "/" and every UTF-8 byte outside
// A-Z a-z 0-9 - . _ ~ / : percent-encoded (so "#", "%" and "?" in a folder name stay part of the
// path), into `out` of `cap` characters, always terminated. Returns 1 when it fitted, else 0 and
// an empty `out`: a cut URL would open another file.
int file_url(const wchar_t *path, wchar_t *out, size_t cap);

// Whether the page file must be (re)written: when there is none (`existing` null) or its bytes
// differ from the embedded page. Write the page to page_temp_path() and rename it over app.html, so
// that a half-written file never stands under the real name.
int page_needs_write(const void *existing, size_t existing_len, const void *page, size_t page_len);

// ---- Linux ----

// Edge, Chrome and Chromium on Linux in the order they are tried: a bare name is looked up in the
// directories of PATH, an absolute path is tested as it is.
inline constexpr int kLinuxBrowserCandidates = 15;
extern const char *const kLinuxBrowserCands[kLinuxBrowserCandidates];

// The first candidate for which `is_executable(ctx, full path)` returns non-zero, looking bare
// names up in the absolute directories of `path_env` (may be null; empty and relative entries are
// skipped so nothing runs from the working folder). Returns 1 with the full path in `out`, else 0.
int linux_find_browser(const char *path_env, int (*is_executable)(void *ctx, const char *path), void *ctx,
                       std::string *out);

// argv for the browser (argv[0] = browser path) with the same switches as on Windows: app mode or
// normal mode, profile in `profile`.
std::vector<std::string> linux_browser_argv(const std::string &browser, int app_mode, unsigned port,
                                            const std::string &profile);

// "file://" + the absolute path, percent-encoding every byte outside A-Z a-z 0-9 - . _ ~ /.
std::string linux_file_url(const std::string &path);
