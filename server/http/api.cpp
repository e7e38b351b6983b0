// The account API. Every reply is a JSON object with `ok`; failures carry a short Chinese
// `error` and a meaningful HTTP status beside it.
#include "core/jstext.hpp"
#include "core/sync.hpp"
#include "core/texts.hpp"
#include "core/validate.hpp"
#include "http/auth.hpp"
#include "http/service.hpp"

#include <chrono>
#include <ctime>

namespace vs {

namespace {

constexpr int64_t kDayMs = 24LL * 3600 * 1000;
constexpr int64_t kSessionMs = 30 * kDayMs;
constexpr int64_t kSessionSlackMs = kDayMs; // a session is extended at most once a day
constexpr int64_t kLimitWindowMs = 15LL * 60 * 1000;
constexpr int64_t kLimitTries = 10;

int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string today_key() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return buf;
}

Reply fail(unsigned status, const std::string &text) {
  Reply r;
  r.status = status;
  r.body = "{\"ok\":false,\"error\":";
  js_quote_to(text, r.body);
  r.body += "}";
  return r;
}

// {"ok":true,...} with the given members (a JSON object) appended.
Reply ok(const Json &fields = Json::object()) {
  Reply r;
  r.body = "{\"ok\":true";
  for (auto it = fields.begin(); it != fields.end(); ++it) {
    r.body += ",";
    js_quote_to(it.key(), r.body);
    r.body += ":";
    js_stringify_to(it.value(), r.body);
  }
  r.body += "}";
  return r;
}

Json user_json(const User &u) {
  Json j = Json::object();
  j["id"] = u.id;
  j["username"] = u.username;
  j["displayName"] = u.display_name;
  j["avatar"] = u.avatar;
  j["theme"] = u.theme;
  j["role"] = u.role;
  return j;
}

// The state object's members, written from stored text: "days":{..},"rev":{..},"settings":..,"settingsRev":N
void state_members(const StateRows &st, std::string &out) {
  out += "\"days\":{";
  bool first = true;
  for (const auto &d : st.days) {
    if (!first)
      out += ",";
    first = false;
    js_quote_to(d.key, out);
    out += ":";
    out += d.items;
  }
  out += "},\"rev\":{";
  first = true;
  for (const auto &d : st.days) {
    if (!first)
      out += ",";
    first = false;
    js_quote_to(d.key, out);
    out += ":" + std::to_string(d.rev);
  }
  out += "},\"settings\":";
  out += st.settings.empty() ? "{}" : st.settings;
  out += ",\"settingsRev\":" + std::to_string(st.settings_rev);
}

std::string state_object(const StateRows &st) {
  std::string out = "{";
  state_members(st, out);
  return out + "}";
}

int hexval(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::string url_decode(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '+')
      out.push_back(' ');
    else if (s[i] == '%' && i + 2 < s.size() && hexval(s[i + 1]) >= 0 && hexval(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexval(s[i + 1]) * 16 + hexval(s[i + 2])));
      i += 2;
    } else
      out.push_back(s[i]);
  }
  return out;
}

// The value of one query parameter; `found` tells whether it was there.
std::string query_param(const std::string &query, const std::string &name, bool *found = nullptr) {
  size_t p = 0;
  while (p <= query.size()) {
    size_t amp = query.find('&', p);
    if (amp == std::string::npos)
      amp = query.size();
    std::string part = query.substr(p, amp - p);
    size_t eq = part.find('=');
    if (url_decode(part.substr(0, eq)) == name) {
      if (found)
        *found = true;
      return eq == std::string::npos ? "" : url_decode(part.substr(eq + 1));
    }
    p = amp + 1;
  }
  if (found)
    *found = false;
  return "";
}

// A non-negative decimal integer of at most 15 digits, else -1.
int64_t parse_count(const std::string &s) {
  if (s.empty() || s.size() > 15)
    return -1;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9')
      return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::string bearer(const std::string &h) {
  std::string t = h;
  if (t.size() >= 7 && (t.compare(0, 7, "Bearer ") == 0 || t.compare(0, 7, "bearer ") == 0))
    t = t.substr(7);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
    t.pop_back();
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
    t.erase(0, 1);
  return t;
}

// A parsed JSON object body, or nothing (with the reply to send in `err`).
bool body_object(const Request &r, Json &out, Reply &err) {
  out = Json::parse(r.body, nullptr, false);
  if (out.is_discarded()) {
    err = fail(400, txt::kBadJson);
    return false;
  }
  if (!out.is_object()) {
    err = fail(400, txt::kBadBody);
    return false;
  }
  return true;
}

// A member that must be text when present: `present` tells whether it is there.
bool text_member(const Json &j, const char *name, std::string &out, bool &present) {
  auto it = j.find(name);
  present = it != j.end() && !it->is_null();
  if (!present)
    return true;
  if (!it->is_string())
    return false;
  out = it->get<std::string>();
  return true;
}

bool required_text(const Json &j, const char *name, std::string &out) {
  bool present = false;
  return text_member(j, name, out, present) && present;
}

std::string trimmed(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos)
    return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

const std::string &dummy_hash() {
  static const std::string h = hash_password("vellora-no-such-account");
  return h;
}

struct Api {
  Store &store;
  const Request &req;
  std::string query;
  std::optional<User> me;

  // Fills `me` from the token; on failure `out` holds the reply.
  bool signed_in(Reply &out) {
    std::string token = bearer(req.authorization);
    if (token.empty()) {
      out = fail(401, txt::kNeedLogin);
      return false;
    }
    me = store.session_user(token_hash(token), now_ms(), kSessionMs, kSessionSlackMs);
    if (!me) {
      out = fail(401, txt::kSessionGone);
      return false;
    }
    return true;
  }

  bool admin(Reply &out) {
    if (!signed_in(out))
      return false;
    if (me->role != "admin") {
      out = fail(403, txt::kNotAdmin);
      return false;
    }
    return true;
  }

  bool limited(const std::string &name_key) {
    int64_t since = now_ms() - kLimitWindowMs;
    return store.failures_since("u:" + name_key, since) >= kLimitTries ||
           store.failures_since("a:" + req.remote, since) >= kLimitTries;
  }

  void note_failure(const std::string &name_key) {
    int64_t now = now_ms();
    store.prune_failures(now - kLimitWindowMs);
    store.note_failure("u:" + name_key, now);
    store.note_failure("a:" + req.remote, now);
  }

  Reply login() {
    Json b;
    Reply err;
    if (!body_object(req, b, err))
      return err;
    std::string name, pw;
    if (!required_text(b, "username", name) || !required_text(b, "password", pw))
      return fail(400, txt::kWrongLogin);
    std::string key = username_key(trimmed(name));
    if (limited(key))
      return fail(429, txt::kTooManyTries);
    auto u = store.user_by_key(key);
    bool good = u ? verify_password(u->pass_hash, pw) : (verify_password(dummy_hash(), pw), false);
    if (!good) {
      note_failure(key);
      return fail(401, txt::kWrongLogin);
    }
    if (u->status == "pending")
      return fail(403, txt::kPending);
    if (u->status != "active")
      return fail(403, txt::kRejected);
    store.clear_failures("u:" + key);
    std::string token = new_token();
    int64_t now = now_ms();
    store.create_session(token_hash(token), u->id, now, now + kSessionMs);
    StateRows st = store.state(u->id);
    Reply r = ok(Json{{"token", token}, {"user", user_json(*u)}});
    r.body.pop_back();
    r.body += ",\"state\":" + state_object(st) + "}";
    return r;
  }

  // Shared by registration and the administrator's "create".
  Reply create(const Json &b, const std::string &role, const std::string &status, Json extra) {
    std::string name, pw, display;
    bool has_display = false;
    if (!required_text(b, "username", name))
      return fail(400, txt::kBadName);
    name = trimmed(name);
    std::string e = check_username(name);
    if (e.empty() && !required_text(b, "password", pw))
      e = txt::kBadPassword;
    if (e.empty())
      e = check_password(pw);
    if (e.empty() && !text_member(b, "displayName", display, has_display))
      e = txt::kBadDisplayName;
    if (e.empty()) {
      if (trimmed(display).empty())
        display = name;
      e = check_display_name(display);
    }
    if (!e.empty())
      return fail(400, e);
    NewUser nu{name, username_key(name), display, role, status, hash_password(pw), now_ms()};
    auto id = store.create_user(nu);
    if (!id)
      return fail(409, txt::kNameTaken);
    extra["id"] = *id;
    return ok(extra);
  }

  Reply reg() {
    Json b;
    Reply err;
    if (!body_object(req, b, err))
      return err;
    return create(b, "user", "pending", Json{{"msg", txt::kRegistered}});
  }

  Reply logout() {
    Reply out;
    if (!signed_in(out))
      return out;
    store.delete_session(token_hash(bearer(req.authorization)));
    return ok();
  }

  Reply get_me() {
    Reply out;
    if (!signed_in(out))
      return out;
    StateRows st = store.state(me->id);
    Reply r = ok(Json{{"user", user_json(*me)}});
    r.body.pop_back();
    r.body += ",\"state\":" + state_object(st) + "}";
    return r;
  }

  Reply profile() {
    Reply out;
    if (!signed_in(out))
      return out;
    Json b;
    if (!body_object(req, b, out))
      return out;
    std::optional<std::string> display, avatar, theme;
    std::string v;
    bool present = false;
    if (!text_member(b, "displayName", v, present))
      return fail(400, txt::kBadDisplayName);
    if (present) {
      std::string e = check_display_name(v);
      if (!e.empty())
        return fail(400, e);
      display = v;
    }
    if (!text_member(b, "avatar", v, present) || (present && !check_avatar(v).empty()))
      return fail(400, txt::kBadAvatar);
    if (present)
      avatar = v;
    if (!text_member(b, "theme", v, present) || (present && !check_theme(v).empty()))
      return fail(400, txt::kBadTheme);
    if (present)
      theme = v;
    if (!display && !avatar && !theme)
      return fail(400, txt::kNothingToChange);
    store.set_profile(me->id, display, avatar, theme);
    return ok(Json{{"user", user_json(*store.user_by_id(me->id))}});
  }

  Reply password() {
    Reply out;
    if (!signed_in(out))
      return out;
    Json b;
    if (!body_object(req, b, out))
      return out;
    std::string old_pw, new_pw;
    if (!required_text(b, "oldPassword", old_pw) || !required_text(b, "newPassword", new_pw))
      return fail(400, txt::kBadBody);
    std::string key = username_key(me->username);
    if (limited(key))
      return fail(429, txt::kTooManyTries);
    if (!verify_password(me->pass_hash, old_pw)) {
      note_failure(key);
      return fail(403, txt::kWrongOldPassword);
    }
    std::string e = check_password(new_pw);
    if (!e.empty())
      return fail(400, e);
    store.set_password(me->id, hash_password(new_pw));
    return ok(Json{{"msg", txt::kPasswordChanged}});
  }

  Reply get_state() {
    Reply out;
    if (!signed_in(out))
      return out;
    bool only = false;
    std::string what = query_param(query, "only", &only);
    if (only && what == "rev") {
      bool has_since = false;
      std::string since_text = query_param(query, "since", &has_since);
      int64_t since = has_since ? parse_count(since_text) : 0;
      if (since < 0)
        return fail(400, txt::kBadBody);
      RevRows rv = store.revs(me->id, since);
      Reply r;
      r.body = "{\"ok\":true,\"rev\":{";
      bool first = true;
      for (const auto &d : rv.days) {
        if (!first)
          r.body += ",";
        first = false;
        js_quote_to(d.first, r.body);
        r.body += ":" + std::to_string(d.second);
      }
      r.body += "},\"settingsRev\":" + std::to_string(rv.settings_rev) +
                ",\"top\":" + std::to_string(rv.top_rev) + "}";
      return r;
    }
    StateRows st = store.state(me->id);
    Reply r;
    r.body = "{\"ok\":true,\"state\":" + state_object(st) + "}";
    return r;
  }

  // The three-way merge per pushed day, the pushed list as the merging side and the stored
  // list as the other, inside one write transaction of the user.
  Reply put_state() {
    Reply out;
    if (!signed_in(out))
      return out;
    PushBody push;
    std::string e = parse_push(req.body, push);
    if (!e.empty())
      return fail(400, e);
    std::vector<std::string> keys;
    keys.reserve(push.days.size());
    for (const auto &d : push.days)
      keys.push_back(d.first);
    StateRows st =
        store.push(me->id, keys,
                   [&](const std::map<std::string, std::string> &stored, const std::string &stored_settings) {
                     PushPlan plan;
                     static const FpMap no_base;
                     for (const auto &d : push.days) {
                       auto s = stored.find(d.first);
                       Json theirs =
                           s == stored.end() ? Json::array() : Json::parse(s->second, nullptr, false);
                       auto b = push.base.find(d.first);
                       Json merged = merge3(b == push.base.end() ? no_base : b->second, d.second, theirs);
                       std::string text = js_stringify(merged);
                       if (s == stored.end() || s->second != text)
                         plan.days.emplace_back(d.first, std::move(text));
                     }
                     if (push.settings_dirty) {
                       std::string text = js_stringify(push.settings);
                       if (text != stored_settings)
                         plan.settings = std::move(text);
                     }
                     return plan;
                   });
    Reply r;
    r.body = "{\"ok\":true,";
    state_members(st, r.body);
    r.body += "}";
    return r;
  }

  Reply admin_users() {
    Reply out;
    if (!admin(out))
      return out;
    Json users = Json::array();
    for (const auto &row : store.list_users()) {
      Json u = user_json(row.user);
      u["status"] = row.user.status;
      u["dayCnt"] = row.day_cnt;
      users.push_back(std::move(u));
    }
    return ok(Json{{"users", std::move(users)}});
  }

  Reply admin_stats() {
    Reply out;
    if (!admin(out))
      return out;
    Stats s = store.stats(today_key());
    return ok(Json{
        {"total", s.total}, {"active", s.active}, {"pending", s.pending}, {"todayUsers", s.today_users}});
  }

  Reply admin_state() {
    Reply out;
    if (!admin(out))
      return out;
    int64_t id = parse_count(query_param(query, "user"));
    auto u = id > 0 ? store.user_by_id(id) : std::nullopt;
    if (!u)
      return fail(404, txt::kNoSuchUser);
    StateRows st = store.state(u->id);
    Reply r = ok(Json{{"user", user_json(*u)}});
    r.body.pop_back();
    r.body += ",\"state\":" + state_object(st) + "}";
    return r;
  }

  static Reply change_reply(Change c, const char *done) {
    switch (c) {
    case Change::Done:
      return ok(Json{{"msg", done}});
    case Change::NoSuchUser:
      return fail(404, txt::kNoSuchUser);
    case Change::LastAdmin:
      return fail(403, txt::kLastAdmin);
    }
    return fail(500, txt::kServerError);
  }

  Reply admin_user() {
    Reply out;
    if (!admin(out))
      return out;
    Json b;
    if (!body_object(req, b, out))
      return out;
    std::string action;
    if (!required_text(b, "action", action))
      return fail(400, txt::kBadAction);
    if (action == "create") {
      std::string role = "user";
      bool present = false;
      if (!text_member(b, "role", role, present) || (present && role != "user" && role != "admin"))
        return fail(400, txt::kBadRole);
      if (!present)
        role = "user";
      return create(b, role, "active", Json{{"msg", txt::kCreated}});
    }
    if (action != "approve" && action != "reject" && action != "reset" && action != "delete")
      return fail(400, txt::kBadAction);
    auto idv = b.find("id");
    int64_t id = -1;
    if (idv != b.end() && idv->is_number_integer())
      id = idv->get<int64_t>();
    else if (idv != b.end() && idv->is_number_unsigned())
      id = static_cast<int64_t>(idv->get<uint64_t>() & 0x7fffffffffffffffULL);
    else if (idv != b.end() && idv->is_string())
      id = parse_count(idv->get<std::string>());
    if (id <= 0 || !store.user_by_id(id))
      return fail(404, txt::kNoSuchUser);
    if (action == "approve")
      return change_reply(store.set_status(id, "active"), txt::kApproved);
    if (action == "reset") {
      std::string pw;
      if (!required_text(b, "password", pw))
        return fail(400, txt::kBadPassword);
      std::string e = check_password(pw);
      if (!e.empty())
        return fail(400, e);
      return change_reply(store.set_password(id, hash_password(pw)), txt::kResetDone);
    }
    // An administrator never rejects or deletes themselves.
    if (id == me->id)
      return fail(403, txt::kNotSelf);
    if (action == "reject")
      return change_reply(store.set_status(id, "rejected"), txt::kRejectedDone);
    return change_reply(store.delete_user(id), txt::kDeleted);
  }
};

} // namespace

Service::Service(Store &store, std::string site_dir) : store_(store), site_dir_(std::move(site_dir)) {}

bool Service::is_slow(const Request &r) const {
  if (r.method != "POST")
    return false;
  std::string path = r.target.substr(0, r.target.find('?'));
  return path == "/vellora/api/login" || path == "/vellora/api/register" || path == "/vellora/api/password" ||
         path == "/vellora/api/admin/user";
}

Reply Service::handle(const Request &r) {
  size_t q = r.target.find('?');
  std::string path = r.target.substr(0, q);
  std::string query = q == std::string::npos ? "" : r.target.substr(q + 1);
  static const std::string prefix = "/vellora/api/";
  try {
    if (path.compare(0, prefix.size(), prefix) == 0)
      return api(r, path.substr(prefix.size()), query);
    return site(r, path);
  } catch (const std::exception &) {
    return fail(500, txt::kServerError);
  }
}

Reply Service::api(const Request &r, const std::string &path, const std::string &query) {
  Api a{store_, r, query, std::nullopt};
  struct Route {
    const char *path;
    const char *method;
    Reply (Api::*fn)();
  };
  static const Route routes[] = {
      {"login", "POST", &Api::login},
      {"register", "POST", &Api::reg},
      {"logout", "POST", &Api::logout},
      {"me", "GET", &Api::get_me},
      {"profile", "POST", &Api::profile},
      {"password", "POST", &Api::password},
      {"state", "GET", &Api::get_state},
      {"state", "PUT", &Api::put_state},
      {"admin/users", "GET", &Api::admin_users},
      {"admin/stats", "GET", &Api::admin_stats},
      {"admin/user", "POST", &Api::admin_user},
      {"admin/state", "GET", &Api::admin_state},
  };
  bool known = false;
  for (const auto &rt : routes) {
    if (path != rt.path)
      continue;
    known = true;
    if (r.method == rt.method)
      return (a.*rt.fn)();
  }
  return known ? fail(405, txt::kBadMethod) : fail(404, txt::kNotFound);
}

} // namespace vs
