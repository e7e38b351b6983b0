#include "core/applog.hpp"
#include "core/startup.hpp"
#include "core/utf8.hpp"

#include <gtest/gtest.h>

TEST(BallOnlySwitch, AnywhereInTheArgumentsCaseSensitive) {
  EXPECT_TRUE(has_ball_only(L"--ball-only"));
  EXPECT_TRUE(has_ball_only(L"x --ball-only=1"));
  EXPECT_FALSE(has_ball_only(L"--Ball-Only"));
  EXPECT_FALSE(has_ball_only(L""));
  EXPECT_FALSE(has_ball_only(static_cast<const wchar_t *>(nullptr)));

  const char *posix[] = {"vellora", "-v", "--ball-only"};
  EXPECT_TRUE(has_ball_only(3, posix));
  EXPECT_FALSE(has_ball_only(2, posix));
}

TEST(RememberedPort, OnlyAValidPortCounts) {
  struct Case {
    const char *text;
    unsigned port;
  } cases[] = {{"39049", 39049}, {" 8080\r\n", 8080}, {"65535", 65535}, {"65536", 0},         {"0", 0},
               {"", 0},          {"12a", 0},          {"-5", 0},        {"99999999999999", 0}};
  for (const Case &c : cases)
    EXPECT_EQ(parse_port(c.text), c.port) << c.text;
  char buf[16];
  format_port(buf, sizeof buf, 40123);
  EXPECT_EQ(parse_port(buf), 40123u);
}

static std::string record(const wchar_t *format, ...) {
  va_list args;
  va_start(args, format);
  std::string r = format_log_record(format, args);
  va_end(args);
  return r;
}

TEST(LaunchLog, Utf8LinesEndingInCrLf) {
  EXPECT_EQ(record(L"[http] 本地服务已启动 端口=%u", 8080u), "[http] 本地服务已启动 端口=8080\r\n");
  EXPECT_EQ(record(L"[fallback] 直接打开 %ls", L"file:///C:/x/app.html"),
            "[fallback] 直接打开 file:///C:/x/app.html\r\n");
  EXPECT_EQ(record(L"📝 %d", -3), "\xF0\x9F\x93\x9D -3\r\n");
}

TEST(Utf8, StrictRejectsUnpairedSurrogatesLenientReplacesThem) {
  std::string out;
  EXPECT_TRUE(utf8_append(L"a\u00e9\u6392", out));
  EXPECT_EQ(out, "a\xC3\xA9\xE6\x8E\x92");
  if (sizeof(wchar_t) == 2) {
    const wchar_t bad[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    std::string none;
    EXPECT_FALSE(utf8_append(bad, none));
    EXPECT_EQ(none, "");
    std::string lenient;
    utf8_append_lenient(bad, lenient);
    EXPECT_EQ(lenient, "a\xEF\xBF\xBD"
                       "b");
  }
}

TEST(InstanceSocketName, OnePerUserAndDataFolderAndShortWhateverThePath) {
  const std::string long_dir = "/home/u/" + std::string(300, 'd') + "/Doremkin";
  EXPECT_EQ(instance_socket_name("/home/u/.local/share/Doremkin", 1000),
            instance_socket_name("/home/u/.local/share/Doremkin", 1000));
  EXPECT_NE(instance_socket_name("/home/u/.local/share/Doremkin", 1000),
            instance_socket_name("/home/u/.local/share/Doremkin", 1001));
  EXPECT_NE(instance_socket_name("/home/u/.local/share/Doremkin", 1000),
            instance_socket_name("/tmp/x/Doremkin", 1000));
  EXPECT_LT(instance_socket_name(long_dir.c_str(), 4294967295u).size(), 107u); // fits sun_path
}
