// The embedded store: one SQLite database file in the data folder, in WAL mode so that readers
// never wait for a writer. Every thread gets its own connection and its own prepared
// statements; writes that touch more than one row run in BEGIN IMMEDIATE transactions, so
// that two writers queue on the busy timeout instead of failing at commit.
#include "store/store.hpp"

#include <sqlite3.h>

#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

namespace vs {

namespace {

constexpr int kSchemaVersion = 1;

// User ids are never reused (AUTOINCREMENT): a page or an admin panel still holding the id of
// a deleted account must never reach the next account created.
const char *kSchema = R"SQL(
CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS users(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  username TEXT NOT NULL,
  name_key TEXT NOT NULL UNIQUE,
  display_name TEXT NOT NULL DEFAULT '',
  avatar TEXT NOT NULL DEFAULT '',
  theme TEXT NOT NULL DEFAULT '',
  role TEXT NOT NULL,
  status TEXT NOT NULL,
  pass_hash TEXT NOT NULL,
  created_ms INTEGER NOT NULL,
  rev_counter INTEGER NOT NULL DEFAULT 0,
  settings TEXT NOT NULL DEFAULT '{}',
  settings_rev INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS days(
  user_id INTEGER NOT NULL,
  day TEXT NOT NULL,
  items TEXT NOT NULL,
  rev INTEGER NOT NULL,
  PRIMARY KEY(user_id, day)) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS days_rev ON days(user_id, rev);
CREATE TABLE IF NOT EXISTS sessions(
  token_hash TEXT PRIMARY KEY,
  user_id INTEGER NOT NULL,
  created_ms INTEGER NOT NULL,
  expires_ms INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS sessions_user ON sessions(user_id);
CREATE TABLE IF NOT EXISTS login_failures(key TEXT NOT NULL, at_ms INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS login_failures_key ON login_failures(key, at_ms);
)SQL";

const char *kUserCols = "id, username, display_name, avatar, theme, role, status, pass_hash";

class Stmt {
public:
  Stmt(sqlite3 *db, sqlite3_stmt *s) : db_(db), s_(s) {}
  ~Stmt() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  Stmt(const Stmt &) = delete;
  Stmt &operator=(const Stmt &) = delete;
  Stmt &bind(int i, const std::string &v) {
    check(sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Stmt &bind(int i, int64_t v) {
    check(sqlite3_bind_int64(s_, i, v));
    return *this;
  }
  // true while there is a row
  bool step() {
    int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW)
      return true;
    if (rc == SQLITE_DONE)
      return false;
    throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db_));
  }
  // Ready for the next set of bindings, inside a loop.
  void reset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  int64_t i64(int c) { return sqlite3_column_int64(s_, c); }
  std::string text(int c) {
    const unsigned char *p = sqlite3_column_text(s_, c);
    return p ? std::string(reinterpret_cast<const char *>(p),
                           static_cast<size_t>(sqlite3_column_bytes(s_, c)))
             : std::string();
  }

private:
  void check(int rc) {
    if (rc != SQLITE_OK)
      throw std::runtime_error(std::string("sqlite bind: ") + sqlite3_errmsg(db_));
  }
  sqlite3 *db_;
  sqlite3_stmt *s_;
};

struct Conn {
  sqlite3 *db = nullptr;
  std::unordered_map<std::string, sqlite3_stmt *> stmts;
  ~Conn() {
    for (auto &kv : stmts)
      sqlite3_finalize(kv.second);
    if (db)
      sqlite3_close(db);
  }
  void exec(const char *sql) {
    char *err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : "unknown";
      sqlite3_free(err);
      throw std::runtime_error("sqlite: " + msg);
    }
  }
  Stmt prepare(const std::string &sql) {
    auto it = stmts.find(sql);
    if (it == stmts.end()) {
      sqlite3_stmt *s = nullptr;
      if (sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("sqlite prepare: ") + sqlite3_errmsg(db));
      it = stmts.emplace(sql, s).first;
    }
    return Stmt(db, it->second);
  }
};

// Commits at the end of the scope unless an exception leaves it.
class Tx {
public:
  explicit Tx(Conn &c) : c_(c) { c_.exec("BEGIN IMMEDIATE"); }
  void commit() {
    c_.exec("COMMIT");
    done_ = true;
  }
  ~Tx() {
    if (!done_)
      sqlite3_exec(c_.db, "ROLLBACK", nullptr, nullptr, nullptr);
  }

private:
  Conn &c_;
  bool done_ = false;
};

User read_user(Stmt &s) {
  User u;
  u.id = s.i64(0);
  u.username = s.text(1);
  u.display_name = s.text(2);
  u.avatar = s.text(3);
  u.theme = s.text(4);
  u.role = s.text(5);
  u.status = s.text(6);
  u.pass_hash = s.text(7);
  return u;
}

class SqliteStore final : public Store {
public:
  explicit SqliteStore(std::string path) : path_(std::move(path)) {
    Conn &c = conn();
    Tx tx(c);
    c.exec(kSchema);
    Stmt v = c.prepare("SELECT max(version) FROM schema_version");
    int64_t have = v.step() ? v.i64(0) : 0;
    if (have > kSchemaVersion)
      throw std::runtime_error("the database was written by a newer vellora-server (schema " +
                               std::to_string(have) + ")");
    if (have < kSchemaVersion)
      c.prepare("INSERT INTO schema_version(version) VALUES (?)").bind(1, kSchemaVersion).step();
    tx.commit();
  }

  std::optional<int64_t> create_user(const NewUser &u) override {
    Conn &c = conn();
    Stmt s =
        c.prepare("INSERT INTO users(username, name_key, display_name, role, status, pass_hash, created_ms) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT(name_key) DO NOTHING");
    s.bind(1, u.username).bind(2, u.name_key).bind(3, u.display_name).bind(4, u.role).bind(5, u.status);
    s.bind(6, u.pass_hash).bind(7, u.now_ms).step();
    if (sqlite3_changes(c.db) == 0)
      return std::nullopt;
    return sqlite3_last_insert_rowid(c.db);
  }

  std::optional<User> user_by_key(const std::string &key) override {
    Stmt s = conn().prepare(std::string("SELECT ") + kUserCols + " FROM users WHERE name_key = ?");
    s.bind(1, key);
    if (!s.step())
      return std::nullopt;
    return read_user(s);
  }

  std::optional<User> user_by_id(int64_t id) override {
    Stmt s = conn().prepare(std::string("SELECT ") + kUserCols + " FROM users WHERE id = ?");
    s.bind(1, id);
    if (!s.step())
      return std::nullopt;
    return read_user(s);
  }

  std::vector<UserRow> list_users() override {
    Stmt s = conn().prepare(std::string("SELECT ") + kUserCols +
                            ", (SELECT count(*) FROM days d WHERE d.user_id = users.id AND d.items <> '[]') "
                            "FROM users ORDER BY id");
    std::vector<UserRow> out;
    while (s.step()) {
      UserRow r;
      r.user = read_user(s);
      r.day_cnt = s.i64(8);
      out.push_back(std::move(r));
    }
    return out;
  }

  Stats stats(const std::string &today) override {
    Stats st;
    Stmt s = conn().prepare(
        "SELECT count(*), coalesce(sum(status = 'active'), 0), coalesce(sum(status = 'pending'), 0), "
        "(SELECT count(*) FROM days WHERE day = ? AND items <> '[]') FROM users");
    s.bind(1, today);
    if (s.step()) {
      st.total = s.i64(0);
      st.active = s.i64(1);
      st.pending = s.i64(2);
      st.today_users = s.i64(3);
    }
    return st;
  }

  void set_profile(int64_t id, const std::optional<std::string> &display_name,
                   const std::optional<std::string> &avatar,
                   const std::optional<std::string> &theme) override {
    Stmt s = conn().prepare(
        "UPDATE users SET display_name = coalesce(?, display_name), avatar = coalesce(?, avatar), "
        "theme = coalesce(?, theme) WHERE id = ?");
    if (display_name)
      s.bind(1, *display_name);
    if (avatar)
      s.bind(2, *avatar);
    if (theme)
      s.bind(3, *theme);
    s.bind(4, id).step();
  }

  Change set_password(int64_t id, const std::string &hash) override {
    Conn &c = conn();
    Tx tx(c);
    c.prepare("UPDATE users SET pass_hash = ? WHERE id = ?").bind(1, hash).bind(2, id).step();
    if (sqlite3_changes(c.db) == 0)
      return Change::NoSuchUser;
    c.prepare("DELETE FROM sessions WHERE user_id = ?").bind(1, id).step();
    tx.commit();
    return Change::Done;
  }

  Change set_status(int64_t id, const std::string &status) override {
    Conn &c = conn();
    Tx tx(c);
    auto u = user_by_id(id);
    if (!u)
      return Change::NoSuchUser;
    if (status != "active" && last_admin(c, *u))
      return Change::LastAdmin;
    c.prepare("UPDATE users SET status = ? WHERE id = ?").bind(1, status).bind(2, id).step();
    if (status != "active")
      c.prepare("DELETE FROM sessions WHERE user_id = ?").bind(1, id).step();
    tx.commit();
    return Change::Done;
  }

  int64_t upsert_admin(const NewUser &u) override {
    Conn &c = conn();
    Tx tx(c);
    int64_t id;
    if (auto have = user_by_key(u.name_key)) {
      id = have->id;
      c.prepare("UPDATE users SET role = 'admin', status = 'active', pass_hash = ? WHERE id = ?")
          .bind(1, u.pass_hash)
          .bind(2, id)
          .step();
      c.prepare("DELETE FROM sessions WHERE user_id = ?").bind(1, id).step();
    } else {
      NewUser a = u;
      a.role = "admin";
      a.status = "active";
      id = *create_user(a);
    }
    tx.commit();
    return id;
  }

  Change delete_user(int64_t id) override {
    Conn &c = conn();
    Tx tx(c);
    auto u = user_by_id(id);
    if (!u)
      return Change::NoSuchUser;
    if (last_admin(c, *u))
      return Change::LastAdmin;
    c.prepare("DELETE FROM days WHERE user_id = ?").bind(1, id).step();
    c.prepare("DELETE FROM sessions WHERE user_id = ?").bind(1, id).step();
    c.prepare("DELETE FROM users WHERE id = ?").bind(1, id).step();
    tx.commit();
    return Change::Done;
  }

  void create_session(const std::string &hash, int64_t user_id, int64_t now_ms, int64_t expires_ms) override {
    Conn &c = conn();
    c.prepare("INSERT INTO sessions(token_hash, user_id, created_ms, expires_ms) VALUES (?, ?, ?, ?)")
        .bind(1, hash)
        .bind(2, user_id)
        .bind(3, now_ms)
        .bind(4, expires_ms)
        .step();
    // Expired sessions go now and then, on sign-in.
    c.prepare("DELETE FROM sessions WHERE expires_ms < ?").bind(1, now_ms).step();
  }

  std::optional<User> session_user(const std::string &hash, int64_t now_ms, int64_t lifetime_ms,
                                   int64_t slack_ms) override {
    Conn &c = conn();
    Stmt s = c.prepare(
        "SELECT u.id, u.username, u.display_name, u.avatar, u.theme, u.role, u.status, u.pass_hash, "
        "s.expires_ms FROM sessions s JOIN users u ON u.id = s.user_id WHERE s.token_hash = ?");
    s.bind(1, hash);
    if (!s.step())
      return std::nullopt;
    User u = read_user(s);
    int64_t expires = s.i64(8);
    if (expires <= now_ms || u.status != "active")
      return std::nullopt;
    if (expires - now_ms < lifetime_ms - slack_ms)
      c.prepare("UPDATE sessions SET expires_ms = ? WHERE token_hash = ?")
          .bind(1, now_ms + lifetime_ms)
          .bind(2, hash)
          .step();
    return u;
  }

  void delete_session(const std::string &hash) override {
    conn().prepare("DELETE FROM sessions WHERE token_hash = ?").bind(1, hash).step();
  }

  void note_failure(const std::string &key, int64_t now_ms) override {
    conn()
        .prepare("INSERT INTO login_failures(key, at_ms) VALUES (?, ?)")
        .bind(1, key)
        .bind(2, now_ms)
        .step();
  }

  int64_t failures_since(const std::string &key, int64_t since_ms) override {
    Stmt s = conn().prepare("SELECT count(*) FROM login_failures WHERE key = ? AND at_ms >= ?");
    s.bind(1, key).bind(2, since_ms);
    return s.step() ? s.i64(0) : 0;
  }

  void clear_failures(const std::string &key) override {
    conn().prepare("DELETE FROM login_failures WHERE key = ?").bind(1, key).step();
  }

  void prune_failures(int64_t before_ms) override {
    conn().prepare("DELETE FROM login_failures WHERE at_ms < ?").bind(1, before_ms).step();
  }

  StateRows state(int64_t user_id) override {
    Conn &c = conn();
    // One read transaction, so the days and the counter are from the same moment.
    c.exec("BEGIN");
    StateRows out;
    try {
      out = read_state(c, user_id);
    } catch (...) {
      sqlite3_exec(c.db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    c.exec("COMMIT");
    return out;
  }

  RevRows revs(int64_t user_id, int64_t since) override {
    Conn &c = conn();
    RevRows out;
    c.exec("BEGIN");
    try {
      Stmt s = c.prepare("SELECT day, rev FROM days WHERE user_id = ? AND rev > ? ORDER BY day");
      s.bind(1, user_id).bind(2, since);
      while (s.step())
        out.days.emplace_back(s.text(0), s.i64(1));
      Stmt u = c.prepare("SELECT settings_rev, rev_counter FROM users WHERE id = ?");
      u.bind(1, user_id);
      if (u.step()) {
        out.settings_rev = u.i64(0);
        out.top_rev = u.i64(1);
      }
    } catch (...) {
      sqlite3_exec(c.db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    c.exec("COMMIT");
    return out;
  }

  StateRows push(int64_t user_id, const std::vector<std::string> &keys, const PushMerge &merge) override {
    Conn &c = conn();
    Tx tx(c);
    int64_t counter = 0;
    std::string settings;
    {
      Stmt u = c.prepare("SELECT rev_counter, settings FROM users WHERE id = ?");
      u.bind(1, user_id);
      if (!u.step())
        throw std::runtime_error("push for a missing user");
      counter = u.i64(0);
      settings = u.text(1);
    }
    std::map<std::string, std::string> stored;
    {
      Stmt s = c.prepare("SELECT items FROM days WHERE user_id = ? AND day = ?");
      for (const auto &k : keys) {
        s.bind(1, user_id).bind(2, k);
        if (s.step())
          stored.emplace(k, s.text(0));
        s.reset();
      }
    }
    PushPlan plan = merge(stored, settings);
    {
      Stmt w =
          c.prepare("INSERT INTO days(user_id, day, items, rev) VALUES (?, ?, ?, ?) "
                    "ON CONFLICT(user_id, day) DO UPDATE SET items = excluded.items, rev = excluded.rev");
      for (const auto &d : plan.days) {
        w.bind(1, user_id).bind(2, d.first).bind(3, d.second).bind(4, ++counter);
        w.step();
        w.reset();
      }
    }
    if (plan.settings)
      c.prepare("UPDATE users SET settings = ?, settings_rev = ? WHERE id = ?")
          .bind(1, *plan.settings)
          .bind(2, ++counter)
          .bind(3, user_id)
          .step();
    c.prepare("UPDATE users SET rev_counter = ? WHERE id = ?").bind(1, counter).bind(2, user_id).step();
    StateRows out = read_state(c, user_id);
    tx.commit();
    return out;
  }

private:
  StateRows read_state(Conn &c, int64_t user_id) {
    StateRows out;
    Stmt s = c.prepare("SELECT day, items, rev FROM days WHERE user_id = ? ORDER BY day");
    s.bind(1, user_id);
    while (s.step())
      out.days.push_back(DayRow{s.text(0), s.text(1), s.i64(2)});
    Stmt u = c.prepare("SELECT settings, settings_rev, rev_counter FROM users WHERE id = ?");
    u.bind(1, user_id);
    if (u.step()) {
      out.settings = u.text(0);
      out.settings_rev = u.i64(1);
      out.top_rev = u.i64(2);
    } else {
      out.settings = "{}";
    }
    return out;
  }

  // Whether `u` is the only active administrator.
  bool last_admin(Conn &c, const User &u) {
    if (u.role != "admin" || u.status != "active")
      return false;
    Stmt s = c.prepare("SELECT count(*) FROM users WHERE role = 'admin' AND status = 'active' AND id <> ?");
    s.bind(1, u.id);
    return s.step() && s.i64(0) == 0;
  }

  Conn &conn() {
    thread_local std::unordered_map<const SqliteStore *, std::unique_ptr<Conn>> conns;
    auto &slot = conns[this];
    if (!slot) {
      auto c = std::make_unique<Conn>();
      if (sqlite3_open_v2(path_.c_str(), &c->db,
                          SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                          nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + path_ + ": " +
                                 (c->db ? sqlite3_errmsg(c->db) : "out of memory"));
      sqlite3_busy_timeout(c->db, 10000);
      c->exec("PRAGMA journal_mode=WAL");
      // Every acknowledged write is on disk before the reply leaves.
      c->exec("PRAGMA synchronous=FULL");
      c->exec("PRAGMA foreign_keys=ON");
      slot = std::move(c);
    }
    return *slot;
  }

  std::string path_;
};

} // namespace

std::unique_ptr<Store> open_sqlite_store(const std::string &data_dir) {
  std::filesystem::create_directories(data_dir);
  return std::make_unique<SqliteStore>((std::filesystem::path(data_dir) / "vellora.db").string());
}

} // namespace vs
