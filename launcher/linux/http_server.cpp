// The loopback page server: one accepting thread, each connection served on a thread of its own.
#include "shell.hpp"

#include "core/http.hpp"
#include "core/startup.hpp"
#include "core/texts.hpp"
#include "page_csp.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

extern "C" const unsigned char _binary_app_html_start[];
extern "C" const unsigned char _binary_app_html_end[];

std::atomic<unsigned short> g_port{0};
std::atomic<int> g_http_on{0};
std::atomic<int> g_srv{-1};
std::atomic<unsigned> g_connections{0};

int handle_host_command(const char *request, char *header, char *body);

namespace {

class SocketConnection final : public Connection {
public:
  explicit SocketConnection(int s) : s_(s) {}
  int receive(char *buf, int cap, int timeout_ms) override {
    pollfd p{s_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0)
      return -1;
    ssize_t n = recv(s_, buf, static_cast<size_t>(cap), 0);
    return n < 0 ? -1 : static_cast<int>(n);
  }
  int send_some(const char *data, int n) override {
    return static_cast<int>(send(s_, data, static_cast<size_t>(n), MSG_NOSIGNAL));
  }

private:
  int s_;
};

unsigned read_remembered_port() {
  std::string path, text;
  return app_file(path, kPortFileName) && read_file(path, 16, text) ? parse_port(text.c_str()) : 0;
}

void remember_port(unsigned port) {
  std::string path;
  char text[16];
  int n = format_port(text, sizeof text, port);
  if (app_file(path, kPortFileName))
    replace_file(path, std::string(text, static_cast<size_t>(n)), 0600);
}

int listen_on(unsigned port) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0)
    return -1;
  // Lets a restarted shell take its old port back while closed connections linger in TIME_WAIT;
  // on Linux it never lets two sockets listen on the same port.
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(s, 8) != 0) {
    close(s);
    return -1;
  }
  return s;
}

unsigned bound_port(int s) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr *>(&addr), &len);
  return ntohs(addr.sin_port);
}

} // namespace

void close_listener() {
  int s = g_srv.exchange(-1);
  if (s >= 0) {
    shutdown(s, SHUT_RDWR); // wakes a blocked accept, which close alone does not on Linux
    close(s);
  }
}

void http_thread() {
  unsigned remembered = read_remembered_port();
  int s = remembered ? listen_on(remembered) : -1;
  if (s < 0)
    s = listen_on(0);
  if (s < 0)
    return;
  unsigned port = bound_port(s);
  if (port != remembered) {
    if (remembered)
      logf(kLogPortChanged, remembered, port);
    remember_port(port);
  }
  g_port = static_cast<unsigned short>(port);
  g_srv = s;
  g_http_on = 1;

  const unsigned char *page = _binary_app_html_start;
  const long long page_length = _binary_app_html_end - _binary_app_html_start;
  static ConnectionSlots slots(kMaxConnections); // outlives the detached connection threads
  while (g_http_on) {
    slots.take();
    int c = accept4(s, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) {
      slots.give_back();
      if (g_http_on && (errno == EINTR || errno == ECONNABORTED))
        continue; // a client that gave up before being accepted is no reason to stop
      break;
    }
    std::thread([c, page, page_length] {
      SocketConnection conn(c);
      serve_connection(conn, page, page_length, kPageCsp, handle_host_command);
      ++g_connections;
      shutdown(c, SHUT_RDWR);
      close(c);
      slots.give_back();
    }).detach();
  }
  close_listener();
}
