// State and functions shared by the Windows shell's units.
#pragma once
#include <objbase.h>
#include <windows.h>
#include <winsock2.h>

#include <atomic>

inline constexpr UINT WM_OPEN_MAIN = WM_APP + 1;
inline constexpr int kPathChars = MAX_PATH;

// Shared between the main thread and the server thread.
extern std::atomic<unsigned short> g_port;
extern std::atomic<int> g_http_on;
extern std::atomic<SOCKET> g_srv;

extern HWND g_hwnd;

// Data folder and launch log.
int ensure_app_dir(wchar_t *path);
void logf(const wchar_t *format, ...);
// Formats "<data folder>\<name>" into `path`; 0 when the folder is unavailable or it does not fit.
int app_file(wchar_t *path, const wchar_t *name);

// Page server thread.
DWORD WINAPI http_thread(LPVOID);
// The port in the data folder's port file (the running shell's address), 0 when none.
unsigned read_remembered_port();
// Closes the listening socket once, whichever thread gets there first.
void close_listener();

// Browser launch and the page's window.
int find_browser(wchar_t *path);
void launch_browser(int app_mode);
void open_main();
int read_pending_count();
void run_watchdog(HWND ball);

// Installation and start at log-on.
int autostart_get();
int autostart_set(int on);
int install_self(wchar_t *path);

// The ball window.
int create_ball(HINSTANCE instance, bool ball_only);
LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
