// Copying a wide string into a fixed caller buffer.
#pragma once
#include <cstddef>
#include <string>

// Copies `s` into `out` of `cap` characters, cutting it to fit and always terminating it (unless
// `cap` is 0); 1 when it fitted whole.
inline int copy_wide(const std::wstring &s, wchar_t *out, size_t cap) {
  if (cap == 0)
    return 0;
  const size_t n = s.size() < cap ? s.size() : cap - 1;
  s.copy(out, n);
  out[n] = 0;
  return n == s.size() ? 1 : 0;
}
