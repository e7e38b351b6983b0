// The launch log's line format: UTF-8 without a byte-order mark, each line ending in CR LF.
#pragma once
#include <cstdarg>
#include <string>

inline constexpr int kLogLineChars = 1024;

// Formats one log line from a wide printf format and returns its bytes, line end included.
std::string format_log_record(const wchar_t *format, va_list args);
