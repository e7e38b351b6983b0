// UTF-8 encoding of wide strings, for wchar_t of 16 bits (UTF-16, Windows) or 32 bits (Linux).
#pragma once
#include <string>

// Appends the UTF-8 form of `text` to `out`. An unpaired surrogate or a value outside Unicode makes
// the strict form return false and append nothing; the lenient form writes U+FFFD for it instead.
bool utf8_append(const wchar_t *text, std::string &out);
void utf8_append_lenient(const wchar_t *text, std::string &out);

// The wide form of UTF-8 `text` (surrogate pairs where wchar_t has 16 bits). Each byte that does
// not start a valid, shortest-form sequence becomes U+FFFD, so any byte string (a Linux path) can
// be logged.
std::wstring utf8_widen_lenient(const std::string &text);
