// The ball's left-button gestures as plain values: a press turns into a drag once the cursor has
// moved more than 4 pixels on either axis, otherwise its release is a click. Also the stored ball
// position ("ballpos.txt": left and top as "%d %d").
#pragma once
#include <cstddef>

inline constexpr int kDragThreshold = 4; // a move of up to 4 pixels on both axes is still a click

struct ball_drag {
  int drag = 0;                 // 1 from a press on the ball until its release
  int moved = 0;                // 1 once that press has turned into a drag
  int start_x = 0, start_y = 0; // the window's left and top at the press
  int down_x = 0, down_y = 0;   // the cursor's screen position at the press
};

enum drag_end {
  drag_end_none = 0,  // no press was in progress: nothing to do
  drag_end_click = 1, // open the page
  drag_end_moved = 2, // a drag ended: save the position
};

// Left button pressed on the ball at window (left, top) with the cursor at (x, y).
void drag_press(ball_drag &d, int left, int top, int x, int y);

// Cursor moved to (x, y). Returns 1 with the window's new left and top when the ball follows the
// cursor, 0 when nothing changes (no press, or still within the threshold).
int drag_move(ball_drag &d, int x, int y, int *left, int *top);

// Left button released: ends the press (release the mouse capture unless drag_end_none).
drag_end drag_release(ball_drag &d);

// The system cancelled the gesture (WM_CANCELMODE): back to idle, no click and no save.
void drag_cancel(ball_drag &d);

// Reads the stored position ("%d %d" semantics: white space, a sign, digits; both numbers needed).
// Returns 1 with left and top when both were read and left is not negative, else 0. `data` need not
// be terminated; `len` bytes are examined.
int ballpos_parse(const char *data, size_t len, int *left, int *top);

// The position used when none is stored: 100 pixels from the screen's right edge and 126 from
// its bottom, i.e. 34 and 60 pixels of margin for the 66-pixel ball.
void ballpos_default(int screen_w, int screen_h, int *left, int *top);

// The start position: the stored one when `data` (null when there is no file) parses, else the
// default.
void ballpos_start(const char *data, size_t len, int screen_w, int screen_h, int *left, int *top);

// Formats the position as "%d %d" without a line end into `out` (24 bytes hold any position);
// returns the length, 0 when it does not fit.
int ballpos_format(int left, int top, char *out, size_t cap);
