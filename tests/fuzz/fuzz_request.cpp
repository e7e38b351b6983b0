// Fuzzes the page server's work on one connection: the bytes arrive in pieces whose sizes the
// input chooses, then are read, classified and answered (the host commands through the real
// authorisation and parsing, with a platform that only counts). Every reply must be one whole
// HTTP response, and no command may run for a request that was not authorised.
#include "core/host_cmd.hpp"
#include "core/http.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr unsigned kPort = 41234;
int g_calls = 0;

int installed(void *, char *path_json) {
  ++g_calls;
  json_str("/home/t/.local/share/Doremkin/vellora", path_json, kJsonPathCap);
  return 1;
}
int autostart_get(void *) { return 1; }
int autostart_set(void *, int) { return ++g_calls, 1; }
int install_self(void *ctx, char *path_json) { return installed(ctx, path_json); }

const host_ops kOps = {nullptr, installed, autostart_get, autostart_set, install_self};

int answer_host_command(const char *request, char *header, char *body) {
  const int authorised = host_authorised(request, kPort);
  g_calls = 0;
  const int n = host_reply(request, kPort, "linux", kOps, header, body);
  if (!authorised && g_calls)
    std::abort(); // a command ran for a request that was refused
  if (n < 0 || n >= kJsonBodySize || std::strlen(body) != static_cast<size_t>(n))
    std::abort();
  return n;
}

// The input: a byte giving the size of each piece, then the request's bytes.
struct PiecesConnection final : Connection {
  const uint8_t *data;
  size_t size;
  size_t at = 0;
  uint8_t piece;
  std::string sent;
  PiecesConnection(const uint8_t *d, size_t n)
      : data(d + 1), size(n - 1), piece(static_cast<uint8_t>(d[0] | 1)) {}
  int receive(char *buf, int cap, int) override {
    if (at >= size)
      return 0;
    size_t n = size - at;
    if (n > piece)
      n = piece;
    if (n > static_cast<size_t>(cap))
      n = static_cast<size_t>(cap);
    std::memcpy(buf, data + at, n);
    at += n;
    return static_cast<int>(n);
  }
  int send_some(const char *d, int n) override {
    sent.append(d, static_cast<size_t>(n));
    return n;
  }
};

const unsigned char kPage[] = "<!DOCTYPE html><title>p</title>";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  PiecesConnection conn(data, size);
  serve_connection(conn, kPage, sizeof kPage - 1, "default-src 'none'", answer_host_command);
  if (conn.sent.rfind("HTTP/1.1 ", 0) != 0 || conn.sent.find("\r\n\r\n") == std::string::npos)
    std::abort(); // every request gets one whole response
  return 0;
}
