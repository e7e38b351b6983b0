#include "core/utf8.hpp"

#include <gtest/gtest.h>

namespace {

TEST(Utf8Widen, DecodesValidTextAndReplacesEachBadByte) {
  struct row {
    const char *bytes;
    std::wstring wide;
  };
  const row rows[] = {
      {"/home/t/app.html", L"/home/t/app.html"},
      {"/home/\xE6\x9D\x8E/\xF0\x9F\x93\x9D", L"/home/\u674E/\U0001F4DD"},
      {"a\xFF"
       "b",
       L"a\uFFFDb"},                                     // not UTF-8 at all (a Latin-1 file name)
      {"\xC0\xAF", L"\uFFFD\uFFFD"},                     // overlong "/"
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},           // an encoded surrogate
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
      {"x\xE6\x9D", L"x\uFFFD\uFFFD"},                   // cut short at the end
  };
  for (const row &r : rows)
    EXPECT_EQ(utf8_widen_lenient(r.bytes), r.wide) << r.bytes;
}

TEST(Utf8Widen, RoundTripsThroughTheEncoder) {
  const std::string text = "/home/李 雷/📝 Vellora · 待批改 3";
  std::string back;
  ASSERT_TRUE(utf8_append(utf8_widen_lenient(text).c_str(), back));
  EXPECT_EQ(back, text);
}

} // namespace
