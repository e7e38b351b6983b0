// State and functions shared by the Linux shell's units.
#pragma once
#include <atomic>
#include <string>
#include <sys/types.h>
#include <vector>

// Shared between the main thread and the server thread.
extern std::atomic<unsigned short> g_port;
extern std::atomic<int> g_http_on;
extern std::atomic<int> g_srv;
extern std::atomic<unsigned> g_connections; // connections the server has served

// Data folder ($XDG_DATA_HOME/Doremkin, by default ~/.local/share/Doremkin) and launch log.
int ensure_app_dir(std::string &path);
int app_file(std::string &path, const wchar_t *name);
void logf(const wchar_t *format, ...);
std::string narrow(const wchar_t *text);
std::wstring widen(const std::string &text); // for paths in the log's %ls

// Files.
bool make_dirs(const std::string &path); // `path` and its missing parents
bool is_regular_file(const std::string &path);
// The whole file if it holds at most `cap` bytes; false when it cannot be read or is larger.
bool read_file(const std::string &path, size_t cap, std::string &bytes);
// Puts `bytes` under `path` by writing "<path>.<pid>.tmp" and renaming it, so that `path` holds
// either its old content or the whole new one. 0 on success, else the errno of the failed step.
int replace_file(const std::string &path, const std::string &bytes, mode_t mode);

// Starts `argv` (argv[0] an absolute path) detached: a session of its own, `dir` as working folder,
// standard streams on /dev/null, default signal mask and handlers; never waited for. 0 when the
// program was started, else the errno of the failed step (the exec's included).
int spawn_detached(const std::vector<std::string> &argv, const std::string &dir);
// The first executable `name` in the absolute directories of PATH, or "".
std::string find_on_path(const char *name);

// Page server thread body and its shutdown.
void http_thread();
void close_listener();

// The browser and the page's window. launch_browser returns 1 when a browser was started.
int find_browser(std::string &path);
int launch_browser(int app_mode);
int open_main();
void run_watchdog(unsigned connections_before);

// Installation and start at log-on.
int autostart_get();
int autostart_set(int on);
int install_self(std::string &path);
