#include "core/http.hpp"

#include <chrono>
#include <cstdio>
#include <cstring>

RequestKind classify_request(const char *request) {
  if (std::strncmp(request, "GET /__vlra?", 12) == 0)
    return RequestKind::HostCommand;
  if (std::strncmp(request, "GET /favicon", 12) == 0)
    return RequestKind::Favicon;
  return RequestKind::Page;
}

bool request_complete(const char *request, int length) {
  if (length >= kRequestBufferSize - 1)
    return true;
  for (int i = 0; i + 1 < length; ++i) {
    if (request[i] != '\n')
      continue;
    if (request[i + 1] == '\n' || (request[i + 1] == '\r' && i + 2 < length && request[i + 2] == '\n'))
      return true;
  }
  return false;
}

int read_request(Connection &conn, char *buf, int wait_ms) {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(wait_ms);
  int length = 0;
  buf[0] = 0;
  while (!request_complete(buf, length)) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
    if (left < 0)
      left = 0;
    int n = conn.receive(buf + length, kRequestBufferSize - 1 - length, static_cast<int>(left));
    if (n <= 0)
      break;
    length += n;
    buf[length] = 0;
    if (left == 0)
      break;
  }
  return length;
}

int format_page_header(char *out, int cap, long long length, const char *csp) {
  const int n = std::snprintf(
      out, static_cast<size_t>(cap),
      "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
      "%lld\r\nCache-Control: no-store\r\n%s%s%s" VL_SECURITY_HEADERS "Connection: close\r\n\r\n",
      length, csp ? "Content-Security-Policy: " : "", csp ? csp : "", csp ? "\r\n" : "");
  return n >= 0 && n < cap ? n : -1;
}

bool send_all(Connection &conn, const char *data, long long n) {
  while (n > 0) {
    int chunk = n > (1 << 30) ? (1 << 30) : static_cast<int>(n);
    int sent = conn.send_some(data, chunk);
    if (sent <= 0)
      return false;
    data += sent;
    n -= sent;
  }
  return true;
}

static void discard_pending_input(Connection &conn, char *scratch) {
  for (int i = 0; i < 16; ++i) // bounded: a client that keeps sending is simply cut off
    if (conn.receive(scratch, kRequestBufferSize, 0) <= 0)
      return;
}

void serve_connection(Connection &conn, const unsigned char *page, long long page_length,
                      const char *page_csp, HostCommandHandler host_command) {
  char request[kRequestBufferSize];
  read_request(conn, request, kFirstBytesWaitMs);

  char header[kHeaderBufferSize];
  switch (classify_request(request)) {
  case RequestKind::HostCommand: {
    char body[kJsonBodySize];
    int body_length;
    {
      // Host commands change the registry and files: one at a time, whatever the connections.
      static std::mutex host_commands;
      std::lock_guard<std::mutex> lock(host_commands);
      body_length = host_command(request, header, body);
    }
    if (send_all(conn, header, static_cast<long long>(std::strlen(header))))
      send_all(conn, body, body_length);
    break;
  }
  case RequestKind::Favicon:
    send_all(conn, kFaviconResponse, sizeof kFaviconResponse - 1);
    break;
  case RequestKind::Page: {
    int header_length = format_page_header(header, sizeof header, page_length, page_csp);
    if (header_length > 0 && send_all(conn, header, header_length) && page_length > 0)
      send_all(conn, reinterpret_cast<const char *>(page), page_length);
    break;
  }
  }
  discard_pending_input(conn, request);
}
