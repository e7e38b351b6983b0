#include "core/validate.hpp"

#include "core/texts.hpp"

#include <unordered_set>

namespace vs {

namespace {

constexpr size_t kMaxText = 20000;     // bytes in one item text
constexpr size_t kMaxItems = 2000;     // items in one day
constexpr size_t kMaxTopics = 100;     // entries of `topics`
constexpr size_t kMaxDays = 40000;     // days in one push
constexpr size_t kMaxSettings = 65536; // bytes of settings JSON

bool has_control(const std::string &s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7f)
      return true;
  return false;
}

std::string trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\n' || s[b] == '\r'))
    b++;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\n' || s[e - 1] == '\r'))
    e--;
  return s.substr(b, e - b);
}

bool short_text(const Json &v) {
  return v.is_string() && v.get_ref<const std::string &>().size() <= kMaxText;
}

std::string check_item(const Json &it) {
  if (!it.is_object())
    return txt::kBadItem;
  for (auto m = it.begin(); m != it.end(); ++m) {
    const std::string &k = m.key();
    const Json &v = m.value();
    if (k == "id") {
      if (!v.is_string() || v.get_ref<const std::string &>().empty() ||
          v.get_ref<const std::string &>().size() > 64)
        return txt::kBadItem;
    } else if (k == "name" || k == "count" || k == "time" || k == "next" || k == "note") {
      if (!short_text(v))
        return txt::kBadItem;
    } else if (k == "done") {
      if (!v.is_boolean())
        return txt::kBadItem;
    } else if (k == "topics") {
      if (!v.is_array() || v.size() > kMaxTopics)
        return txt::kBadItem;
      for (const auto &t : v)
        if (!short_text(t))
          return txt::kBadItem;
    } else if (v.is_structured() || (v.is_string() && v.get_ref<const std::string &>().size() > kMaxText)) {
      // Members a later page may add are kept, as long as they are plain values.
      return txt::kBadItem;
    }
  }
  if (item_id(it).empty())
    return txt::kBadItem;
  return "";
}

} // namespace

bool is_day_key(const std::string &k) {
  if (k.size() != 10 || k[4] != '-' || k[7] != '-')
    return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (k[i] < '0' || k[i] > '9')
      return false;
  int y = std::stoi(k.substr(0, 4)), m = std::stoi(k.substr(5, 2)), d = std::stoi(k.substr(8, 2));
  if (y < 1 || m < 1 || m > 12 || d < 1)
    return false;
  static const int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  int max = len[m - 1] + (m == 2 && leap ? 1 : 0);
  return d <= max;
}

std::string check_username(const std::string &name) {
  if (name.size() < 2 || name.size() > 32)
    return txt::kBadName;
  for (unsigned char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
              c == '.' || c == '-' || c == '@';
    if (!ok)
      return txt::kBadName;
  }
  return "";
}

std::string username_key(const std::string &name) {
  std::string k = name;
  for (char &c : k)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return k;
}

std::string check_password(const std::string &pw) {
  if (utf16_length(pw) < 4)
    return txt::kBadPassword;
  if (pw.size() > 1024)
    return txt::kLongPassword;
  return "";
}

std::string check_display_name(std::string &name) {
  name = trim(name);
  if (name.empty())
    return txt::kEmptyDisplayName;
  if (utf16_length(name) > 32 || has_control(name))
    return txt::kBadDisplayName;
  return "";
}

std::string check_avatar(const std::string &a) {
  if (a.size() > 32 || has_control(a))
    return txt::kBadAvatar;
  return "";
}

std::string check_theme(const std::string &t) {
  if (t.size() > 32)
    return txt::kBadTheme;
  for (unsigned char c : t)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
      return txt::kBadTheme;
  return "";
}

std::string check_day_list(const Json &list) {
  if (!list.is_array())
    return txt::kBadDayList;
  if (list.size() > kMaxItems)
    return txt::kTooManyItems;
  std::unordered_set<std::string> ids;
  for (const auto &it : list) {
    std::string e = check_item(it);
    if (!e.empty())
      return e;
    if (!ids.insert(item_id(it)).second)
      return txt::kDuplicateId;
  }
  return "";
}

std::string parse_push(const std::string &body, PushBody &out) {
  Json j = Json::parse(body, nullptr, false);
  if (j.is_discarded())
    return txt::kBadJson;
  if (!j.is_object())
    return txt::kBadBody;
  auto days = j.find("days");
  if (days == j.end() || !days->is_object())
    return txt::kBadDays;
  if (days->size() > kMaxDays)
    return txt::kTooLarge;
  out.days.clear();
  out.days.reserve(days->size());
  for (auto d = days->begin(); d != days->end(); ++d) {
    if (!is_day_key(d.key()))
      return txt::kBadDayKey;
    // A missing (null) list counts as an empty one, as on the page.
    if (d.value().is_null()) {
      out.days.emplace_back(d.key(), Json::array());
      continue;
    }
    std::string e = check_day_list(d.value());
    if (!e.empty())
      return e;
    out.days.emplace_back(d.key(), std::move(d.value()));
  }
  out.base.clear();
  auto base = j.find("base");
  if (base != j.end() && !base->is_null()) {
    if (!base->is_object())
      return txt::kBadBase;
    for (auto d = base->begin(); d != base->end(); ++d) {
      if (!is_day_key(d.key()))
        return txt::kBadBase;
      if (d.value().is_null())
        continue;
      if (!d.value().is_object())
        return txt::kBadBase;
      FpMap fp;
      for (auto f = d.value().begin(); f != d.value().end(); ++f) {
        if (!f.value().is_string())
          return txt::kBadBase;
        fp[f.key()] = f.value().get<std::string>();
      }
      out.base[d.key()] = std::move(fp);
    }
  }
  auto rev = j.find("rev");
  if (rev != j.end() && !rev->is_null() && !rev->is_object())
    return txt::kBadBody;
  out.settings_dirty = false;
  auto dirty = j.find("settingsDirty");
  if (dirty != j.end() && !dirty->is_null()) {
    if (!dirty->is_boolean())
      return txt::kBadBody;
    out.settings_dirty = dirty->get<bool>();
  }
  auto settings = j.find("settings");
  bool has_settings = settings != j.end() && !settings->is_null();
  if (has_settings && !settings->is_object())
    return txt::kBadSettings;
  if (out.settings_dirty) {
    if (!has_settings)
      return txt::kBadSettings;
    if (js_stringify(*settings).size() > kMaxSettings)
      return txt::kTooLarge;
    out.settings = std::move(*settings);
  }
  return "";
}

} // namespace vs
