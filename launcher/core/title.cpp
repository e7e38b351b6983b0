#include "core/title.hpp"

#include "core/texts.hpp"

#include <climits>
#include <string>

namespace {

std::wstring examined(const wchar_t *title) {
  std::wstring t;
  for (int i = 0; title && i < kTitleChars && title[i]; ++i)
    t += title[i];
  return t;
}

bool is_space(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// _wtoi: white space, an optional sign, then decimal digits up to the first non-digit.
int read_int(const wchar_t *p) {
  while (is_space(*p))
    ++p;
  bool negative = false;
  if (*p == L'+' || *p == L'-')
    negative = *p++ == L'-';
  long long v = 0;
  for (; *p >= L'0' && *p <= L'9'; ++p) {
    v = v * 10 + (*p - L'0');
    if (v > static_cast<long long>(INT_MAX) + 1)
      v = static_cast<long long>(INT_MAX) + 1; // saturated; more digits change nothing
  }
  if (negative)
    return v > INT_MAX ? INT_MIN : static_cast<int>(-v);
  return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

} // namespace

int is_main_title(const wchar_t *title) {
  return examined(title).find(kProductName) != std::wstring::npos ? 1 : 0;
}

int pending_count_from_title(const wchar_t *title) {
  static const wchar_t kPending[] = L"待批改";
  const std::wstring t = examined(title);
  const size_t at = t.find(kPending);
  if (at == std::wstring::npos)
    return 0;
  size_t i = at + (sizeof kPending / sizeof kPending[0] - 1);
  while (i < t.size() && (t[i] == L' ' || t[i] == L'\u00B7'))
    ++i;
  return read_int(t.c_str() + i);
}
