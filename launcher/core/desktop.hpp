// Decisions of the Linux desktop layer on plain values: which titled client is the page's window,
// when two presses make a double click, what the start-up watchdog concludes, and the texts the
// ball's menu tells on Linux.
#pragma once
#include "core/ball_menu.hpp"

#include <cstdint>

// The index of the page's window among client titles listed from the top of the stacking order
// down (null entries are windows without a readable title), or -1 when none is. The first title
// that is_main_title() accepts wins, as the top-most window does on Windows.
int main_window_index(const wchar_t *const *titles, int count);

// The pending count the ball shows for those clients: -1 without a page window, else the count
// read from its title.
int pending_count_of(const wchar_t *const *titles, int count);

// A press at time `t` (ms) and screen position (x, y) is the second press of a double click when
// the previous press ended as a click no more than kDoubleClickMs earlier and lay within
// kDoubleClickSlop pixels on both axes (the Windows defaults: 500 ms, a 4-pixel square).
inline constexpr unsigned long kDoubleClickMs = 500;
inline constexpr int kDoubleClickSlop = 2;

struct click_memory {
  int have = 0; // 1 while the last press ended as a click that may start a double click
  unsigned long time = 0;
  int x = 0, y = 0;
};

// Decides for a new press and updates the memory: a double click consumes it, so a third quick
// press starts over.
int press_is_double_click(click_memory &m, unsigned long t, int x, int y);
// The press at (t, x, y) was released as a click: it may begin a double click.
void remember_click(click_memory &m, unsigned long t, int x, int y);
// The press turned into a drag, or a menu or another gesture intervened.
void forget_click(click_memory &m);

enum watchdog_verdict {
  watchdog_ok = 1,    // the page's window is there, or the browser asked for the page
  watchdog_retry = 2, // nothing came up: start the browser once more in normal mode
};

// The watchdog, 5 s after the browser was started: content when the page's window is on the
// desktop's client list or when the server was asked for anything since the start (a browser
// that the desktop's window list cannot show, e.g. a native Wayland window, still loads the page).
watchdog_verdict watchdog_decide(int window_found, int page_requested);

// Results of the ball's menu actions as the Linux shell tells them (start at log-on is an
// autostart entry there, installation an application entry).
ball_message linux_autostart_toggle_message(int switched_on, int ok);
ball_message linux_install_message(int ok);

// Without a compositor the ball is a shaped window: a pixel of the picture belongs to it when its
// alpha is at least half.
inline int ball_shape_visible(uint8_t alpha) { return alpha >= 128; }
