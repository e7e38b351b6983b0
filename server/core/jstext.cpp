#include "core/jstext.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vs {

void js_quote_to(const std::string &s, std::string &out) {
  static const char hex[] = "0123456789abcdef";
  out.push_back('"');
  for (unsigned char c : s) {
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\f':
      out += "\\f";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      if (c < 0x20) {
        out += "\\u00";
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
      } else {
        out.push_back(static_cast<char>(c));
      }
    }
  }
  out.push_back('"');
}

// Shortest digits that read back as the same double, then JavaScript's layout rules: plain
// digits for exponents from -7 to 20, otherwise d.ddde+N.
std::string js_number(double v) {
  if (std::isnan(v) || std::isinf(v))
    return "null";
  if (v == 0)
    return "0";
  char buf[40];
  int prec = 1;
  for (; prec <= 17; prec++) {
    std::snprintf(buf, sizeof buf, "%.*e", prec - 1, v);
    if (std::strtod(buf, nullptr) == v)
      break;
  }
  // buf is [-]d[.ddd]e[+-]x
  std::string s(buf);
  bool neg = s[0] == '-';
  if (neg)
    s.erase(0, 1);
  size_t e = s.find('e');
  int exp = std::atoi(s.c_str() + e + 1);
  std::string digits;
  for (size_t i = 0; i < e; i++)
    if (s[i] != '.')
      digits.push_back(s[i]);
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();
  int k = static_cast<int>(digits.size());
  int n = exp + 1; // position of the decimal point after the first n digits
  std::string r;
  if (k <= n && n <= 21) {
    r = digits + std::string(static_cast<size_t>(n - k), '0');
  } else if (0 < n && n <= 21) {
    r = digits.substr(0, static_cast<size_t>(n)) + "." + digits.substr(static_cast<size_t>(n));
  } else if (-6 < n && n <= 0) {
    r = "0." + std::string(static_cast<size_t>(-n), '0') + digits;
  } else {
    r = digits.substr(0, 1);
    if (k > 1)
      r += "." + digits.substr(1);
    r += (n - 1 >= 0 ? "e+" : "e-") + std::to_string(std::abs(n - 1));
  }
  return neg ? "-" + r : r;
}

void js_stringify_to(const Json &v, std::string &out) {
  switch (v.type()) {
  case Json::value_t::null:
  case Json::value_t::discarded:
    out += "null";
    break;
  case Json::value_t::boolean:
    out += v.get<bool>() ? "true" : "false";
    break;
  case Json::value_t::number_integer:
    out += js_number(static_cast<double>(v.get<int64_t>()));
    break;
  case Json::value_t::number_unsigned:
    out += js_number(static_cast<double>(v.get<uint64_t>()));
    break;
  case Json::value_t::number_float:
    out += js_number(v.get<double>());
    break;
  case Json::value_t::string:
    js_quote_to(v.get_ref<const std::string &>(), out);
    break;
  case Json::value_t::array: {
    out.push_back('[');
    bool first = true;
    for (const auto &e : v) {
      if (!first)
        out.push_back(',');
      first = false;
      js_stringify_to(e, out);
    }
    out.push_back(']');
    break;
  }
  case Json::value_t::object: {
    out.push_back('{');
    bool first = true;
    for (auto it = v.begin(); it != v.end(); ++it) {
      if (!first)
        out.push_back(',');
      first = false;
      js_quote_to(it.key(), out);
      out.push_back(':');
      js_stringify_to(it.value(), out);
    }
    out.push_back('}');
    break;
  }
  case Json::value_t::binary:
    out += "null";
    break;
  }
}

std::string js_stringify(const Json &value) {
  std::string out;
  js_stringify_to(value, out);
  return out;
}

size_t utf16_length(const std::string &s) {
  size_t n = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) != 0x80)
      n += (c >= 0xF0) ? 2 : 1;
  }
  return n;
}

} // namespace vs
