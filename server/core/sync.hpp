// Fingerprints of schedule items and the three-way merge of one day: the same functions, rule
// for rule, as the page's sync engine, so that a device and the service agree after a push.
#pragma once

#include "core/jstext.hpp"

#include <map>
#include <string>

namespace vs {

// Fingerprint map of a day: item id -> fingerprint. Ordered by id; only membership and
// equality matter.
using FpMap = std::map<std::string, std::string>;

// djb2 over the UTF-16 code units of UTF-8 text, unsigned 32-bit, written in base 36.
std::string fp_hash(const std::string &utf8);
std::string fp_item(const Json &item);
// The item's id when it is a non-empty text, else "".
std::string item_id(const Json &item);
FpMap fp_day(const Json &list);
bool same_fp(const FpMap &a, const FpMap &b);

// Merges `mine` (the merging side, which wins every conflict) with `theirs` against the
// base's fingerprints. Missing lists (null) count as empty.
Json merge3(const FpMap &base, const Json &mine, const Json &theirs);

} // namespace vs
