// Opening the page's window, and the one-shot watchdog after start-up.
//
// Until the Linux shell can see window titles (the X11 ball), there is no window to activate:
// opening always starts the browser in app mode, and a running browser with the same profile
// opens one more window. The watchdog takes "the server was asked for something" as the sign that
// the browser came up, since a page window loads the page from the server first.
#include "shell.hpp"

#include "core/texts.hpp"

int open_main() { return launch_browser(1); }

void run_watchdog(unsigned connections_before) {
  if (g_connections != connections_before) {
    logf(kLogWatchdogOk);
    return;
  }
  logf(kLogWatchdogRetry);
  launch_browser(0);
}
