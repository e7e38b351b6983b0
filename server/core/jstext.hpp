// JSON text exactly as a browser's JSON.stringify writes it, and the UTF-16 view of UTF-8 text
// that the page's string functions see. Fingerprints are computed over this text, so a byte of
// difference here would make the service and the page disagree about every item.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace vs {

using Json = nlohmann::ordered_json;

// JSON.stringify(value) without indentation: keys in insertion order, no white space.
std::string js_stringify(const Json &value);
void js_stringify_to(const Json &value, std::string &out);

// A string literal as JSON.stringify writes it (quotes included).
void js_quote_to(const std::string &utf8, std::string &out);

// A number as JavaScript's Number.prototype.toString writes it (NaN and infinities as null,
// which is what JSON.stringify does).
std::string js_number(double v);

// Number of UTF-16 code units of well-formed UTF-8 text (what String.length counts).
size_t utf16_length(const std::string &utf8);

} // namespace vs
