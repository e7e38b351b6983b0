#include "core/host_cmd.hpp"

#include "core/utf8.hpp"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kQueryStart = 12; // just after "GET /__vlra?"

// The query of the request line: from after "GET /__vlra?" to the space before the HTTP version
// or the line's end.
std::string query_of(const char *req) {
  std::string q;
  if (classify_request(req) != RequestKind::HostCommand)
    return q;
  for (const char *p = req + kQueryStart; *p && *p != ' ' && *p != '\r' && *p != '\n'; ++p)
    q += *p;
  return q;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool name_is(const std::string &name, const char *want) {
  if (name.size() != std::strlen(want))
    return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (lower(name[i]) != want[i])
      return false;
  return true;
}

std::string trimmed(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t'))
    ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
    --e;
  return s.substr(b, e - b);
}

// snprintf that reports whether the whole text went in.
template <typename... Args> int format(char *out, size_t cap, const char *fmt, Args... args) {
  const int n = std::snprintf(out, cap, fmt, args...);
  return n >= 0 && static_cast<size_t>(n) < cap ? n : -1;
}
int format(char *out, size_t cap, const char *text) { return format(out, cap, "%s", text); }

// `utf8` as the inside of a JSON string into `out` of `cap` bytes: backslash and double quote
// escaped, control characters as \u00XX. Whole or not at all: a cut escape or UTF-8 sequence would
// be invalid JSON, and a cut path would name another file.
void json_escape(const std::string &utf8, char *out, size_t cap) {
  if (!cap)
    return;
  std::string s;
  s.reserve(utf8.size() + 8);
  for (unsigned char c : utf8) {
    if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      s += esc;
      continue;
    }
    if (c == '\\' || c == '"')
      s += '\\';
    s += static_cast<char>(c);
  }
  if (s.size() + 1 > cap)
    s.clear();
  std::memcpy(out, s.c_str(), s.size() + 1);
}

} // namespace

host_request host_parse(const char *req) {
  host_request r{};
  const std::string q = query_of(req);
  // The query's "&"-separated name=value pairs; a pair without "=" has an empty value. A name
  // given twice makes the request name no command: which one counts would be a guess.
  int cmds = 0, ons = 0;
  std::string on;
  for (size_t start = 0; start <= q.size();) {
    size_t end = q.find('&', start);
    if (end == std::string::npos)
      end = q.size();
    const std::string pair = q.substr(start, end - start);
    const size_t eq = pair.find('=');
    const std::string name = pair.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : pair.substr(eq + 1);
    if (name == "cmd") {
      ++cmds;
      value.copy(r.name, kCmdNameCap - 1); // cut to 31 bytes; r.name was zeroed
    } else if (name == "on") {
      ++ons;
      on = value;
    }
    start = end + 1;
  }
  if (cmds > 1)
    r.name[0] = 0;
  if (cmds != 1 || ons > 1)
    r.command = host_unknown;
  else if (std::strcmp(r.name, "status") == 0)
    r.command = host_status;
  else if (std::strcmp(r.name, "autostart") == 0)
    r.command = host_autostart;
  else if (std::strcmp(r.name, "install") == 0)
    r.command = host_install;
  else
    r.command = host_unknown;
  r.on = on == "1" ? 1 : 0;
  return r;
}

namespace {

// A header name is an HTTP token: no space, tab, control character or separator.
bool is_token(const std::string &name) {
  if (name.empty())
    return false;
  for (unsigned char c : name)
    if (c <= 0x20 || c >= 0x7f || std::strchr("()<>@,;:\\\"/[]?={}", c))
      return false;
  return true;
}

} // namespace

int host_authorised(const char *req, unsigned port) {
  const std::string host = "127.0.0.1:" + std::to_string(port);
  const std::string origin = "http://" + host;
  int hosts = 0, origins = 0, sites = 0, marks = 0;
  bool ok = true;
  const char *p = std::strchr(req, '\n'); // past the request line
  while (p) {
    ++p;
    const char *end = std::strchr(p, '\n');
    if (!end)
      return 0; // the header block is cut short
    std::string line(p, end);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty())
      return ok && hosts == 1 && origins <= 1 && sites == 1 && marks == 1 ? 1 : 0;
    // A line without a colon, a folded line (leading white space) or a space before the colon
    // is malformed: such a request is refused rather than read in some lenient way.
    const size_t colon = line.find(':');
    if (colon == std::string::npos || !is_token(line.substr(0, colon)))
      return 0;
    const std::string name = line.substr(0, colon);
    const std::string value = trimmed(line.substr(colon + 1));
    if (name_is(name, "host"))
      ++hosts, ok = ok && value == host;
    else if (name_is(name, "origin"))
      ++origins, ok = ok && value == origin;
    else if (name_is(name, "sec-fetch-site"))
      ++sites, ok = ok && value == "same-origin";
    else if (name_is(name, kHostCommandHeaderLower))
      ++marks, ok = ok && value == "1";
    p = end;
  }
  return 0;
}

int host_body_status(const char *kind, int installed, int autostart, const char *path_json, char *out) {
  const char *fmt = "{\"kind\":\"%s\",\"installed\":%d,\"autostart\":%d,\"installedPath\":\"%s\"}";
  const char *path = installed ? path_json : "";
  const int n = format(out, kJsonBodySize, fmt, kind, installed, autostart, path);
  return n >= 0 ? n : format(out, kJsonBodySize, fmt, kind, installed, autostart, "");
}

int host_body_autostart(int ok, int autostart, char *out) {
  return format(out, kJsonBodySize, "{\"ok\":%d,\"autostart\":%d}", ok, autostart);
}

int host_body_install(int ok, int autostart, const char *path_json, char *out) {
  if (!ok)
    return format(out, kJsonBodySize, "{\"ok\":0,\"error\":\"copy failed\"}");
  const char *fmt = "{\"ok\":1,\"installed\":1,\"autostart\":%d,\"installedPath\":\"%s\"}";
  const int n = format(out, kJsonBodySize, fmt, autostart, path_json);
  return n >= 0 ? n : format(out, kJsonBodySize, fmt, autostart, "");
}

int host_body_unknown(char *out) {
  return format(out, kJsonBodySize, "{\"ok\":0,\"error\":\"unknown cmd\"}");
}

int host_body_forbidden(char *out) {
  return format(out, kJsonBodySize, "{\"ok\":0,\"error\":\"forbidden\"}");
}

int host_json_header(int status, int body_len, char *out) {
  return format(out, kHeaderBufferSize,
                "HTTP/1.1 %s\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: %d\r\n"
                "Cache-Control: no-store\r\n" VL_SECURITY_HEADERS "Connection: close\r\n\r\n",
                status == 403 ? "403 Forbidden" : "200 OK", body_len);
}

void json_wstr(const wchar_t *path, char *out, size_t cap) {
  std::string utf8;
  if (!path || !utf8_append(path, utf8))
    utf8.clear();
  json_escape(utf8, out, cap);
}

void json_str(const char *path, char *out, size_t cap) {
  // JSON text is UTF-8: bytes of a Linux path that are no valid UTF-8 become U+FFFD
  std::string utf8;
  utf8_append_lenient(utf8_widen_lenient(path ? path : "").c_str(), utf8);
  json_escape(utf8, out, cap);
}

int host_reply(const char *req, unsigned port, const char *kind, const host_ops &ops, char *header,
               char *body) {
  if (!host_authorised(req, port)) {
    const int n = host_body_forbidden(body);
    host_json_header(403, n, header);
    return n;
  }
  const host_request r = host_parse(req);
  char path[kJsonPathCap] = "";
  int n = 0;
  switch (r.command) {
  case host_status: {
    const int installed = ops.installed(ops.ctx, path) ? 1 : 0;
    n = host_body_status(kind, installed, ops.autostart_get(ops.ctx) ? 1 : 0, path, body);
    break;
  }
  case host_autostart: {
    const int ok = ops.autostart_set(ops.ctx, r.on) ? 1 : 0;
    n = host_body_autostart(ok, r.on ? (ops.autostart_get(ops.ctx) ? 1 : 0) : 0, body);
    break;
  }
  case host_install: {
    // The reply says what the registry or autostart entry holds afterwards, as read back.
    const int ok = ops.install_self(ops.ctx, path) ? 1 : 0;
    n = host_body_install(ok, ok && ops.autostart_get(ops.ctx) ? 1 : 0, path, body);
    break;
  }
  default:
    n = host_body_unknown(body);
  }
  host_json_header(200, n, header);
  return n;
}
