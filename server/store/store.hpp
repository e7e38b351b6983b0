// The service's storage, behind one narrow interface. Everything that must outlive a request or
// be shared between processes lives here: accounts, sessions, sign-in failures, day lists,
// settings and the per-user revision counter. Nothing above this interface knows which
// database holds it; SQLite is the embedded implementation.
//
// Item lists and settings are stored as JSON text exactly as a browser writes it, so replies
// can be assembled from stored text without parsing it again.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vs {

struct User {
  int64_t id = 0;
  std::string username;
  std::string display_name;
  std::string avatar;
  std::string theme;
  std::string role;   // "admin" or "user"
  std::string status; // "active", "pending" or "rejected"
  std::string pass_hash;
};

struct UserRow {
  User user;
  int64_t day_cnt = 0; // days whose list holds at least one item
};

struct Stats {
  int64_t total = 0, active = 0, pending = 0, today_users = 0;
};

struct NewUser {
  std::string username;
  std::string name_key; // unique key (username_key)
  std::string display_name;
  std::string role;
  std::string status;
  std::string pass_hash;
  int64_t now_ms = 0;
};

struct DayRow {
  std::string key;
  std::string items; // JSON text of the list
  int64_t rev = 0;
};

struct StateRows {
  std::vector<DayRow> days; // ordered by day key
  std::string settings;     // JSON text; "{}" when never set
  int64_t settings_rev = 0;
  int64_t top_rev = 0; // the user's revision counter
};

struct RevRows {
  std::vector<std::pair<std::string, int64_t>> days; // day key -> revision, ordered by key
  int64_t settings_rev = 0;
  int64_t top_rev = 0;
};

// What a push writes, decided by the caller from the stored lists inside the transaction.
struct PushPlan {
  std::vector<std::pair<std::string, std::string>> days; // day key -> new JSON text
  std::optional<std::string> settings;                   // new settings JSON text
};

// Stored day lists of the pushed days (missing days absent) and the stored settings text.
using PushMerge =
    std::function<PushPlan(const std::map<std::string, std::string> &stored, const std::string &settings)>;

enum class Change { Done, NoSuchUser, LastAdmin };

class Store {
public:
  virtual ~Store() = default;

  // ---- accounts ----
  // The new id, or nothing when the name key is taken.
  virtual std::optional<int64_t> create_user(const NewUser &u) = 0;
  virtual std::optional<User> user_by_key(const std::string &name_key) = 0;
  virtual std::optional<User> user_by_id(int64_t id) = 0;
  virtual std::vector<UserRow> list_users() = 0;
  virtual Stats stats(const std::string &today) = 0;
  // Sets any of the given profile fields.
  virtual void set_profile(int64_t id, const std::optional<std::string> &display_name,
                           const std::optional<std::string> &avatar,
                           const std::optional<std::string> &theme) = 0;
  // New password hash; every session of the user ends.
  virtual Change set_password(int64_t id, const std::string &pass_hash) = 0;
  // Status (and optionally role) in one step; refused when it would leave no active
  // administrator. Leaving "active" ends every session of the user.
  virtual Change set_status(int64_t id, const std::string &status) = 0;
  // Makes an account an active administrator with this password (created when missing).
  virtual int64_t upsert_admin(const NewUser &u) = 0;
  // Removes the account with all its days and sessions; refused for the last active admin.
  virtual Change delete_user(int64_t id) = 0;

  // ---- sessions (tokens are stored only as their hash) ----
  virtual void create_session(const std::string &token_hash, int64_t user_id, int64_t now_ms,
                              int64_t expires_ms) = 0;
  // The active user of a live session. Extends the session to now + lifetime when less than
  // `lifetime - slack` of it is left, so that a busy session is written at most once per slack.
  virtual std::optional<User> session_user(const std::string &token_hash, int64_t now_ms, int64_t lifetime_ms,
                                           int64_t slack_ms) = 0;
  virtual void delete_session(const std::string &token_hash) = 0;

  // ---- sign-in failures, per key ("u:" name key, "a:" address) ----
  virtual void note_failure(const std::string &key, int64_t now_ms) = 0;
  virtual int64_t failures_since(const std::string &key, int64_t since_ms) = 0;
  virtual void clear_failures(const std::string &key) = 0;
  virtual void prune_failures(int64_t before_ms) = 0;

  // ---- planner state ----
  virtual StateRows state(int64_t user_id) = 0;
  // Days with a revision above `since` (all days when since is 0).
  virtual RevRows revs(int64_t user_id, int64_t since) = 0;
  // One write transaction, serialised against every other write of the user: reads the
  // stored lists of `keys`, lets `merge` decide, gives every written day (and changed
  // settings) the next revision of the user's counter, and returns the state as committed.
  virtual StateRows push(int64_t user_id, const std::vector<std::string> &keys, const PushMerge &merge) = 0;
};

// Opens (and creates or upgrades) the SQLite database in `data_dir`. Throws on failure.
std::unique_ptr<Store> open_sqlite_store(const std::string &data_dir);

} // namespace vs
