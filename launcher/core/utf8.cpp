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

// The code point of the valid sequence at text[i] and its length, or 0 when there is none.
static size_t decode_one(const std::string &text, size_t i, char32_t &c) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b = byte(i);
  size_t n;
  char32_t min;
  if (b < 0x80) {
    c = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    n = 2, min = 0x80, c = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3, min = 0x800, c = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4, min = 0x10000, c = b & 0x07;
  } else {
    return 0;
  }
  if (i + n > text.size())
    return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80)
      return 0;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  return n;
}

std::wstring utf8_widen_lenient(const std::string &text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    size_t n = decode_one(text, i, c);
    if (n == 0)
      c = 0xFFFD, n = 1;
    i += n;
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
  }
  return out;
}
