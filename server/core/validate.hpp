// Checks and normalisation of what clients send: account fields and pushed planner state.
// Functions return "" when the input is acceptable, else the text to show.
#pragma once

#include "core/jstext.hpp"
#include "core/sync.hpp"

#include <string>
#include <utility>
#include <vector>

namespace vs {

// YYYY-MM-DD naming a real calendar date.
bool is_day_key(const std::string &k);

// Account names: 2 to 32 of A-Z a-z 0-9 _ . - @ (phone numbers and site accounts alike).
std::string check_username(const std::string &name);
// The key accounts are unique under: the name with ASCII letters lowered.
std::string username_key(const std::string &name);
std::string check_password(const std::string &pw);
// Trims; empty is refused.
std::string check_display_name(std::string &name);
std::string check_avatar(const std::string &a);
std::string check_theme(const std::string &t);

struct PushBody {
  std::vector<std::pair<std::string, Json>> days; // in the body's order, lists validated
  std::map<std::string, FpMap> base;
  bool settings_dirty = false;
  Json settings; // an object when settings_dirty
};

// Parses and validates the body of PUT /state.
std::string parse_push(const std::string &body, PushBody &out);

// Checks a parsed day list: an array of item objects with non-empty, unique text ids and the
// planner's member types.
std::string check_day_list(const Json &list);

} // namespace vs
