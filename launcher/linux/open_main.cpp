// Opening the page's window, and the one-shot watchdog after start-up.
//
// On an X11 desktop the page's window is found by its title among the window manager's clients
// and fronted; otherwise (no display, or no such window) the browser is started in app mode.
#include "shell.hpp"
#include "x11.hpp"

#include "core/desktop.hpp"
#include "core/texts.hpp"

int open_main() {
  if (Window w = x11_main_window()) {
    x11_activate(w);
    logf(kLogOpenActivated);
    return 0;
  }
  return launch_browser(1);
}

// Content when the page's window is on the desktop or the browser asked the server for anything
// since it was started (a page window loads the page first, and a browser the desktop's window
// list cannot show, such as a native Wayland window, still does).
void run_watchdog(unsigned connections_before) {
  const int found = x11_main_window() != 0;
  if (watchdog_decide(found, g_connections != connections_before) == watchdog_ok) {
    logf(kLogWatchdogOk);
    return;
  }
  logf(kLogWatchdogRetry);
  launch_browser(0);
}
