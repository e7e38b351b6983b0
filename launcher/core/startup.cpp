#include "core/startup.hpp"
#include "core/texts.hpp"

#include <cstdio>
#include <cstring>
#include <cwchar>

bool has_ball_only(const wchar_t *arguments) {
  return arguments && std::wcsstr(arguments, kBallOnlySwitch) != nullptr;
}

static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

unsigned parse_port(const char *text) {
  if (!text)
    return 0;
  while (is_space(*text))
    ++text;
  unsigned long value = 0;
  int digits = 0;
  for (; *text >= '0' && *text <= '9'; ++text, ++digits) {
    value = value * 10 + static_cast<unsigned long>(*text - '0');
    if (value > 65535)
      return 0;
  }
  while (is_space(*text))
    ++text;
  if (digits == 0 || *text != 0)
    return 0;
  return static_cast<unsigned>(value);
}

int format_port(char *out, int cap, unsigned port) {
  return std::snprintf(out, static_cast<size_t>(cap), "%u", port);
}

bool has_ball_only(int argc, const char *const *argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strstr(argv[i], "--ball-only"))
      return true;
  return false;
}

std::string instance_socket_name(const char *app_dir, unsigned uid) {
  unsigned long long h = 1469598103934665603ull; // FNV-1a, 64 bits
  for (const char *p = app_dir ? app_dir : ""; *p; ++p) {
    h ^= static_cast<unsigned char>(*p);
    h *= 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "vellora-%u-%016llx", uid, h);
  return name;
}
