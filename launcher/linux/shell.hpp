// State and functions shared by the Linux shell's units.
#pragma once
#include <atomic>
#include <string>

// Shared between the main thread and the server thread.
extern std::atomic<unsigned short> g_port;
extern std::atomic<int> g_http_on;
extern std::atomic<int> g_srv;

// Data folder ($XDG_DATA_HOME/Doremkin, by default ~/.local/share/Doremkin) and launch log.
int ensure_app_dir(std::string &path);
int app_file(std::string &path, const wchar_t *name);
void logf(const wchar_t *format, ...);
std::string narrow(const wchar_t *text);

// Page server thread body and its shutdown.
void http_thread();
void close_listener();

// The page's window.
void open_main();
