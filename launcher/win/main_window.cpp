// Finding the page's window by its title: to activate it, to watch for it after start-up, and to
// read the pending count the ball shows.
#include "shell.hpp"

#include "core/texts.hpp"
#include "core/title.hpp"

// The title of a visible top-level window that is the page's, or false.
static bool main_window_title(HWND window, wchar_t (&title)[kTitleChars + 1]) {
  if (!IsWindowVisible(window))
    return false;
  if (GetWindowTextW(window, title, kTitleChars + 1) <= 0)
    return false;
  return is_main_title(title) != 0;
}

BOOL CALLBACK find_main(HWND window, LPARAM found) {
  wchar_t title[kTitleChars + 1];
  if (!main_window_title(window, title))
    return TRUE;
  *reinterpret_cast<HWND *>(found) = window;
  return FALSE;
}

BOOL CALLBACK EnumTitles(HWND window, LPARAM count) {
  wchar_t title[kTitleChars + 1];
  if (!main_window_title(window, title))
    return TRUE;
  *reinterpret_cast<int *>(count) = pending_count_from_title(title);
  return FALSE;
}

static HWND main_window() {
  HWND found = nullptr;
  EnumWindows(find_main, reinterpret_cast<LPARAM>(&found));
  return found;
}

int read_pending_count() {
  int count = -1;
  EnumWindows(EnumTitles, reinterpret_cast<LPARAM>(&count));
  return count;
}

void open_main() {
  HWND window = main_window();
  if (!window) {
    launch_browser(1);
    return;
  }
  if (IsIconic(window))
    ShowWindow(window, SW_RESTORE);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  logf(kLogOpenActivated);
}

void run_watchdog(HWND ball) {
  KillTimer(ball, 2); // runs once
  if (main_window()) {
    logf(kLogWatchdogOk);
    return;
  }
  logf(kLogWatchdogRetry);
  launch_browser(0);
}
