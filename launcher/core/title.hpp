// The window-title contract between the page and the shell: the page's window is the first visible
// top-level window whose title contains the product name, and its title carries the pending count.
#pragma once

// Characters of a window title that are examined (the title is read into 300 characters).
inline constexpr int kTitleChars = 299;

// 1 when the first 299 characters of `title` contain "Vellora" (case-sensitive), else 0. A null or
// empty title never matches.
int is_main_title(const wchar_t *title);

// The pending count shown by a main window's title, within its first 299 characters: 0 without
// "待批改"; otherwise the integer after it, past any run of spaces and middle dots (U+00B7), read
// like _wtoi (leading white space, a sign, digits to the first non-digit, none gives 0; out of
// range saturates to INT_MAX or INT_MIN).
int pending_count_from_title(const wchar_t *title);
