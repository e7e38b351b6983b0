// The X11 desktop: the floating ball and the page's window found through EWMH. Without a display
// none of it runs and the shell serves as before.
#pragma once
#include <X11/Xlib.h>
#include <string>

extern Display *g_dpy; // null without a display

// Opens the display named by DISPLAY; logs once when there is none. 1 when open.
int desktop_open();
// Creates and shows the ball; 0 when it cannot be made (the shell then serves without it).
int desktop_create_ball();
// Descriptors the main loop polls: the X connection, and the ball's 3-second count tick.
int desktop_fd();
int desktop_tick_fd();
// Handles what arrived; returns 1 when the ball's exit item was chosen.
int desktop_dispatch();

// The page's window: the top-most client whose title contains the product name.
Window x11_main_window();
// The pending count the ball shows: -1 without a page window.
int x11_pending_count();
// Asks the window manager to activate `w` (restoring it when minimised).
void x11_activate(Window w);
