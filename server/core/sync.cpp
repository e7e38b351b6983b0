#include "core/sync.hpp"

#include <cstdint>
#include <set>
#include <unordered_map>

namespace vs {

std::string fp_hash(const std::string &s) {
  uint32_t h = 5381;
  auto step = [&h](uint32_t unit) { h = h * 33u + unit; };
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if (c < 0xE0) {
      cp = c & 0x1Fu;
      len = 2;
    } else if (c < 0xF0) {
      cp = c & 0x0Fu;
      len = 3;
    } else {
      cp = c & 0x07u;
      len = 4;
    }
    for (size_t k = 1; k < len && i + k < s.size(); k++)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      step(0xD800u + (cp >> 10));
      step(0xDC00u + (cp & 0x3FFu));
    } else {
      step(cp);
    }
  }
  if (h == 0)
    return "0";
  std::string out;
  while (h) {
    out.insert(out.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[h % 36]);
    h /= 36;
  }
  return out;
}

std::string fp_item(const Json &item) { return fp_hash(js_stringify(item)); }

std::string item_id(const Json &item) {
  if (!item.is_object())
    return "";
  auto it = item.find("id");
  if (it == item.end() || !it->is_string())
    return "";
  return it->get<std::string>();
}

FpMap fp_day(const Json &list) {
  FpMap out;
  if (!list.is_array())
    return out;
  for (const auto &it : list) {
    std::string id = item_id(it);
    if (!id.empty())
      out[id] = fp_item(it);
  }
  return out;
}

bool same_fp(const FpMap &a, const FpMap &b) { return a == b; }

Json merge3(const FpMap &base, const Json &mine, const Json &theirs) {
  static const Json empty = Json::array();
  const Json &m = mine.is_array() ? mine : empty;
  const Json &t = theirs.is_array() ? theirs : empty;
  std::unordered_map<std::string, const Json *> their;
  for (const auto &it : t) {
    std::string id = item_id(it);
    if (!id.empty())
      their[id] = &it; // a later duplicate replaces an earlier one, as in an object index
  }
  Json out = Json::array();
  std::set<std::string> seen;
  for (const auto &it : m) {
    std::string id = item_id(it);
    if (id.empty()) {
      out.push_back(it);
      continue;
    }
    seen.insert(id);
    auto b = base.find(id);
    bool untouched = b != base.end() && b->second == fp_item(it);
    auto th = their.find(id);
    if (th == their.end()) {
      if (!untouched)
        out.push_back(it); // added here, or changed here: a change beats a deletion there
    } else {
      out.push_back(untouched ? *th->second : it);
    }
  }
  for (const auto &it : t) {
    std::string id = item_id(it);
    if (id.empty() || seen.count(id) || base.count(id))
      continue; // no id, already placed, or deleted here
    out.push_back(it);
  }
  return out;
}

} // namespace vs
