#include "core/ball_drag.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(BallDrag, ThresholdDecidesBetweenClickAndDrag) {
  struct row {
    int dx, dy;
    drag_end end;
  };
  const row rows[] = {
      {4, 4, drag_end_click}, {-4, -4, drag_end_click}, {0, 0, drag_end_click},
      {5, 0, drag_end_moved}, {0, -5, drag_end_moved},  {-5, 4, drag_end_moved},
  };
  for (const row &r : rows) {
    ball_drag d;
    drag_press(d, 1000, 700, 1030, 720);
    int left = 0, top = 0;
    const int moves = drag_move(d, 1030 + r.dx, 720 + r.dy, &left, &top);
    EXPECT_EQ(moves, r.end == drag_end_moved) << r.dx << "," << r.dy;
    if (moves) { // the ball keeps its offset to the cursor
      EXPECT_EQ(left, 1000 + r.dx);
      EXPECT_EQ(top, 700 + r.dy);
    }
    EXPECT_EQ(drag_release(d), r.end) << r.dx << "," << r.dy;
    EXPECT_EQ(d.drag, 0);
  }
}

TEST(BallDrag, OnceDraggingEveryMoveFollowsTheCursor) {
  ball_drag d;
  drag_press(d, 100, 200, 130, 230);
  int left = -1, top = -1;
  ASSERT_EQ(drag_move(d, 140, 230, &left, &top), 1);
  EXPECT_EQ(left, 110);
  // Back within 4 pixels of the press: still a drag, the ball goes back to its start.
  ASSERT_EQ(drag_move(d, 131, 229, &left, &top), 1);
  EXPECT_EQ(left, 101);
  EXPECT_EQ(top, 199);
  EXPECT_EQ(drag_release(d), drag_end_moved);
}

TEST(BallDrag, WithoutAPressNothingHappens) {
  ball_drag d;
  int left = 7, top = 7;
  EXPECT_EQ(drag_move(d, 500, 500, &left, &top), 0);
  EXPECT_EQ(left, 7);
  EXPECT_EQ(drag_release(d), drag_end_none);
}

TEST(BallDrag, DoubleClickSequence) {
  // press, release (a click), the double-click message in place of the second press, release.
  ball_drag d;
  drag_press(d, 0, 0, 10, 10);
  EXPECT_EQ(drag_release(d), drag_end_click);
  EXPECT_EQ(drag_release(d), drag_end_none); // the second release finds no press
}

TEST(BallDrag, CancelReturnsToIdleWithoutClickOrSave) {
  for (int dx : {0, 20}) {
    ball_drag d;
    drag_press(d, 0, 0, 10, 10);
    int left, top;
    drag_move(d, 10 + dx, 10, &left, &top);
    drag_cancel(d);
    EXPECT_EQ(drag_move(d, 50, 50, &left, &top), 0) << dx;
    EXPECT_EQ(drag_release(d), drag_end_none) << dx;
  }
  // A new press after a cancelled drag starts afresh.
  ball_drag d;
  drag_press(d, 0, 0, 10, 10);
  int left, top;
  drag_move(d, 30, 10, &left, &top);
  drag_cancel(d);
  drag_press(d, 0, 0, 10, 10);
  EXPECT_EQ(drag_release(d), drag_end_click);
}

TEST(BallPos, Parse) {
  struct row {
    const char *text;
    int ok, left, top;
  };
  const row rows[] = {
      {"120 300", 1, 120, 300}, {"100 -20", 1, 100, -20}, // any top is used
      {"0 0", 1, 0, 0},         {"  7\n\t8\n", 1, 7, 8},  // white space around and between
      {"100-20", 1, 100, -20},                            // the space directive also matches no space
      {"+5 +6 junk", 1, 5, 6},  {"-5 300", 0, 0, 0},      // negative left
      {"250", 0, 0, 0},                                   // a single number
      {"abc def", 0, 0, 0},     {"12 x", 0, 0, 0},          {"", 0, 0, 0},
      {"- 5", 0, 0, 0},         {"99999999999 5", 0, 0, 0}, // out of range
  };
  for (const row &r : rows) {
    int left = -99, top = -99;
    EXPECT_EQ(ballpos_parse(r.text, std::strlen(r.text), &left, &top), r.ok) << r.text;
    if (r.ok) {
      EXPECT_EQ(left, r.left) << r.text;
      EXPECT_EQ(top, r.top) << r.text;
    }
  }
  int left, top;
  EXPECT_EQ(ballpos_parse("12 34", 4, &left, &top), 1); // only `len` bytes are read
  EXPECT_EQ(top, 3);
  EXPECT_EQ(ballpos_parse(std::string("12\0 34", 6).data(), 6, &left, &top), 0);
}

TEST(BallPos, StartPositionFallsBackToTheDefault) {
  int left, top;
  ballpos_start(nullptr, 0, 1920, 1080, &left, &top); // no file
  EXPECT_EQ(left, 1820);
  EXPECT_EQ(top, 954);
  ballpos_start("-5 300", 6, 1920, 1080, &left, &top);
  EXPECT_EQ(left, 1820);
  EXPECT_EQ(top, 954);
  ballpos_start("100 -20", 7, 1920, 1080, &left, &top);
  EXPECT_EQ(left, 100);
  EXPECT_EQ(top, -20);
}

TEST(BallPos, FormatRoundTrips) {
  char buf[24];
  EXPECT_EQ(ballpos_format(120, 300, buf, sizeof buf), 7);
  EXPECT_STREQ(buf, "120 300");
  EXPECT_EQ(ballpos_format(-2147483647 - 1, -2147483647 - 1, buf, sizeof buf), 23);
  EXPECT_STREQ(buf, "-2147483648 -2147483648");
  EXPECT_EQ(ballpos_format(120, 300, buf, 7), 0); // no room for the terminator
  int left, top;
  ASSERT_EQ(ballpos_format(5, -40, buf, sizeof buf), 5);
  ASSERT_EQ(ballpos_parse(buf, 5, &left, &top), 1);
  EXPECT_EQ(left, 5);
  EXPECT_EQ(top, -40);
}

} // namespace
