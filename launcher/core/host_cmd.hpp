// Host commands: the page asks the shell over its loopback server for the installation state,
// to install, and to switch start at log-on, with "GET /__vlra?cmd=<name>[&on=1|0]". Only the
// page itself is answered (its Host, Origin and Sec-Fetch-Site); every reply is one JSON object.
#pragma once
#include "core/http.hpp"

#include <cstddef>

inline constexpr size_t kCmdNameCap = 32;    // the name is cut to 31 bytes
inline constexpr size_t kJsonPathCap = 1040; // json_wstr's output

// The header the page sends with every host command ("X-Vellora-Host: 1"). A page of another
// origin cannot send it without a preflight, which the server never grants.
inline constexpr const char *kHostCommandHeader = "X-Vellora-Host";
inline constexpr const char *kHostCommandHeaderLower = "x-vellora-host";

enum host_command {
  host_unknown = 0, // anything else, also no "cmd=" at all
  host_status = 1,
  host_autostart = 2,
  host_install = 3,
};

struct host_request {
  char name[kCmdNameCap]; // the name as sent: not decoded, cut at 31 bytes, always terminated
  host_command command;   // the name compared case-sensitively
  int on;                 // 1 when the query holds "on=1"
};

// Reads the command from the query string of the request line only (never from the headers), as
// "&"-separated name=value pairs: the name is the value of the pair "cmd" (cut to 31 bytes), `on`
// is 1 when the pair "on" has the value 1. A "cmd" or "on" given twice names no command. `req` is the
// terminated received bytes of a request that classify_request() took for a host command (anything else names
// no command).
host_request host_parse(const char *req);

// 1 when the request comes from the page on http://127.0.0.1:port: exactly one Host header equal
// to "127.0.0.1:<port>", exactly one Sec-Fetch-Site "same-origin" (every browser that runs the page
// sends it), exactly one "X-Vellora-Host: 1", and Origin "http://127.0.0.1:<port>" where it is sent
// (at most once). A malformed header line (no colon, folded, white space before the colon) refuses. Header
// names are case-insensitive. The header block must be complete (end with an empty line), so that nothing can
// be pushed out of the buffer.
int host_authorised(const char *req, unsigned port);

// Bodies, formatted into `out` of kJsonBodySize bytes; each returns the body's length. `path_json`
// is a path already escaped by json_wstr or json_str. `kind` is "win" or "linux". A path too long
// for the body is sent as "" rather than as cut, invalid JSON.
int host_body_status(const char *kind, int installed, int autostart, const char *path_json, char *out);
int host_body_autostart(int ok, int autostart, char *out);
int host_body_install(int ok, int autostart, const char *path_json, char *out);
int host_body_unknown(char *out);
int host_body_forbidden(char *out);

// The JSON reply's status line and headers into `out` of kHeaderBufferSize bytes: status 200 ("OK") or
// 403 ("Forbidden"). Returns the header's length.
int host_json_header(int status, int body_len, char *out);

// `path` as UTF-8 (from UTF-16 on Windows, UTF-32 on Linux), with every backslash and double quote
// escaped by a backslash and control characters as \u00XX, into `out` of `cap` bytes (kJsonPathCap
// for the host bodies). A path that cannot be converted (an unpaired surrogate) or whose escaped
// form does not fit gives "", never a cut path.
void json_wstr(const wchar_t *path, char *out, size_t cap);

// The same for a path that is already bytes (Linux); bytes that are no valid UTF-8 become U+FFFD.
void json_str(const char *path, char *out, size_t cap);

// What the platform knows and does; each function gets `ctx`.
struct host_ops {
  void *ctx;
  // 1 when the installed executable exists, with its path escaped into `path_json` (kJsonPathCap).
  int (*installed)(void *ctx, char *path_json);
  int (*autostart_get)(void *ctx);
  int (*autostart_set)(void *ctx, int on);
  // 1 when installed, with the installed path escaped into `path_json` (kJsonPathCap).
  int (*install_self)(void *ctx, char *path_json);
};

// The whole reply to a host-command request: checks where it came from (403 with
// {"ok":0,"error":"forbidden"} otherwise, and nothing is done), runs the command through `ops`, and
// fills `header` (kHeaderBufferSize) and `body` (kJsonBodySize). Returns the body's length.
int host_reply(const char *req, unsigned port, const char *kind, const host_ops &ops, char *header,
               char *body);
