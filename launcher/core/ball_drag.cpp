#include "core/ball_drag.hpp"

#include <climits>
#include <cstdio>

void drag_press(ball_drag &d, int left, int top, int x, int y) {
  d.start_x = left;
  d.start_y = top;
  d.down_x = x;
  d.down_y = y;
  d.moved = 0;
  d.drag = 1;
}

int drag_move(ball_drag &d, int x, int y, int *left, int *top) {
  if (d.drag != 1)
    return 0;
  const long long dx = static_cast<long long>(x) - d.down_x;
  const long long dy = static_cast<long long>(y) - d.down_y;
  if (!d.moved) {
    if (dx >= -kDragThreshold && dx <= kDragThreshold && dy >= -kDragThreshold && dy <= kDragThreshold)
      return 0;
    d.moved = 1;
  }
  *left = static_cast<int>(d.start_x + dx);
  *top = static_cast<int>(d.start_y + dy);
  return 1;
}

drag_end drag_release(ball_drag &d) {
  if (d.drag != 1)
    return drag_end_none;
  d.drag = 0;
  return d.moved ? drag_end_moved : drag_end_click;
}

void drag_cancel(ball_drag &d) { d.drag = 0; }

namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%d": white space, an optional sign, at least one digit. Out of range counts as unread.
bool scan_int(const char *&p, const char *end, int *out) {
  while (p < end && is_space(*p))
    ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-'))
    negative = *p++ == '-';
  if (p == end || *p < '0' || *p > '9')
    return false;
  long long v = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    v = v * 10 + (*p - '0');
    if (v > static_cast<long long>(INT_MAX) + 1)
      return false;
  }
  v = negative ? -v : v;
  if (v > INT_MAX || v < INT_MIN)
    return false;
  *out = static_cast<int>(v);
  return true;
}

} // namespace

int ballpos_parse(const char *data, size_t len, int *left, int *top) {
  if (!data)
    return 0;
  const char *p = data;
  const char *end = data + len;
  int x = 0, y = 0;
  // The space between the two directives matches any white space, also none.
  if (!scan_int(p, end, &x) || !scan_int(p, end, &y) || x < 0)
    return 0;
  *left = x;
  *top = y;
  return 1;
}

void ballpos_default(int screen_w, int screen_h, int *left, int *top) {
  *left = screen_w - 100;
  *top = screen_h - 126;
}

void ballpos_start(const char *data, size_t len, int screen_w, int screen_h, int *left, int *top) {
  if (!ballpos_parse(data, len, left, top))
    ballpos_default(screen_w, screen_h, left, top);
}

int ballpos_format(int left, int top, char *out, size_t cap) {
  const int n = std::snprintf(out, cap, "%d %d", left, top);
  return n < 0 || static_cast<size_t>(n) >= cap ? 0 : n;
}
