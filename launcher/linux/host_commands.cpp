// Host commands the page sends to the shell.
#include "shell.hpp"

#include "core/http.hpp"

#include <cstdio>

int handle_host_command(const char *, char *header, char *body) {
  int n = std::snprintf(body, kJsonBodySize, "{\"ok\":0,\"error\":\"unknown cmd\"}");
  std::snprintf(header, kHeaderBufferSize,
                "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: "
                "%d\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n",
                n);
  return n;
}
