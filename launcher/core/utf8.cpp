#include "core/utf8.hpp"

static void put_code_point(char32_t c, std::string &out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

static bool encode(const wchar_t *text, std::string &encoded, bool lenient) {
  for (const wchar_t *p = text; *p; ++p) {
    char32_t c = static_cast<char32_t>(*p);
    if (sizeof(wchar_t) == 2) {
      c &= 0xFFFF;
      if (c >= 0xD800 && c <= 0xDBFF) {
        char32_t low = static_cast<char32_t>(p[1]) & 0xFFFF;
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++p;
        }
      }
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      if (!lenient)
        return false;
      c = 0xFFFD;
    }
    put_code_point(c, encoded);
  }
  return true;
}

bool utf8_append(const wchar_t *text, std::string &out) {
  std::string encoded;
  if (!encode(text, encoded, false))
    return false;
  out += encoded;
  return true;
}

void utf8_append_lenient(const wchar_t *text, std::string &out) { encode(text, out, true); }
