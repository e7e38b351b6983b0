#include "core/applog.hpp"
#include "core/utf8.hpp"

#include <cwchar>

std::string format_log_record(const wchar_t *format, va_list args) {
  wchar_t line[kLogLineChars];
  int n = std::vswprintf(line, kLogLineChars, format, args);
  if (n < 0) // too long for the buffer: keep what fits rather than lose the line
    line[kLogLineChars - 1] = 0;
  std::string record;
  utf8_append_lenient(line, record);
  record += "\r\n";
  return record;
}
