// The loopback page server: one accepting thread, each connection served on a thread of its own.
#include "shell.hpp"

#include "core/http.hpp"
#include "core/startup.hpp"
#include "core/texts.hpp"
#include "page_csp.hpp"

#include <ws2tcpip.h>

#include <cstdio>
#include <thread>

extern "C" const unsigned char _binary_app_html_start[];
extern "C" const unsigned char _binary_app_html_end[];

std::atomic<unsigned short> g_port{0};
std::atomic<int> g_http_on{0};
std::atomic<SOCKET> g_srv{INVALID_SOCKET};

int handle_host_command(const char *request, char *header, char *body);

namespace {

class SocketConnection final : public Connection {
public:
  explicit SocketConnection(SOCKET s) : s_(s) {}
  int receive(char *buf, int cap, int timeout_ms) override {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s_, &readable);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &tv) <= 0)
      return -1;
    int n = recv(s_, buf, cap, 0);
    return n < 0 ? -1 : n;
  }
  int send_some(const char *data, int n) override { return send(s_, data, n, 0); }

private:
  SOCKET s_;
};

} // namespace

unsigned read_remembered_port() {
  wchar_t path[kPathChars];
  if (!app_file(path, kPortFileName))
    return 0;
  FILE *f = _wfopen(path, L"rb");
  if (!f)
    return 0;
  char text[16] = {};
  std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  return parse_port(text);
}

namespace {

void remember_port(unsigned port) {
  wchar_t path[kPathChars];
  if (!app_file(path, kPortFileName))
    return;
  char text[16];
  int n = format_port(text, sizeof text, port);
  FILE *f = _wfopen(path, L"wb");
  if (!f)
    return;
  std::fwrite(text, 1, static_cast<size_t>(n), f);
  std::fclose(f);
}

// Binds a listening socket to 127.0.0.1:port; INVALID_SOCKET on failure.
SOCKET listen_on(unsigned port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET)
    return s;
  BOOL exclusive = TRUE; // nobody else may take over the page's address while we hold it
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&exclusive),
             sizeof exclusive);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(port));
  if (bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(s, 8) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

unsigned bound_port(SOCKET s) {
  sockaddr_in addr{};
  int len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr *>(&addr), &len);
  return ntohs(addr.sin_port);
}

} // namespace

void close_listener() {
  SOCKET s = g_srv.exchange(INVALID_SOCKET);
  if (s != INVALID_SOCKET)
    closesocket(s);
}

DWORD WINAPI http_thread(LPVOID) {
  // The install command creates shortcuts through COM on this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
    return 1;

  // The browser keeps the page's storage per origin, port included: reuse the last port.
  unsigned remembered = read_remembered_port();
  SOCKET s = remembered ? listen_on(remembered) : INVALID_SOCKET;
  if (s == INVALID_SOCKET)
    s = listen_on(0);
  if (s == INVALID_SOCKET) {
    WSACleanup();
    return 0;
  }
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
    SOCKET c = accept(s, nullptr, nullptr);
    if (c == INVALID_SOCKET) {
      slots.give_back();
      break;
    }
    std::thread([c, page, page_length] {
      // The install command creates shortcuts through COM on the thread that runs it.
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      SocketConnection conn(c);
      serve_connection(conn, page, page_length, kPageCsp, handle_host_command);
      shutdown(c, SD_BOTH);
      closesocket(c);
      CoUninitialize();
      slots.give_back();
    }).detach();
  }
  close_listener();
  WSACleanup();
  return 0;
}
