// The ball's context menu: its items in order, and the texts of the message boxes its actions show
// (caption "Vellora", the ball as owner, an OK button).
#pragma once

enum ball_menu_id {
  menu_open = 1,        // open the page
  menu_exit = 2,        // close the ball and end the shell
  menu_data_folder = 3, // open the data folder in the file manager
  menu_autostart = 4,   // toggle start at log-on
  menu_install = 5,     // install for the current user
};

struct ball_menu_item {
  int id;              // 0 for the separator
  const wchar_t *text; // null for the separator
};

inline constexpr int kBallMenuItems = 6;

// The items in menu order (1, 4, 3, 5, separator, 2); item 4's text says what a click will do,
// chosen by the current autostart state.
void ball_menu_items(int autostart_on, ball_menu_item out[kBallMenuItems]);

struct ball_message {
  const wchar_t *text;
  int warning; // 1: warning icon, 0: information icon
};

// After the autostart toggle asked for `switched_on`: the result to show, by success.
ball_message autostart_toggle_message(int switched_on, int ok);

// After the install item.
ball_message install_message(int ok);
