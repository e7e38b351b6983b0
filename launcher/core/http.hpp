// The page server's per-connection work on plain values: reading a request, choosing the reply,
// sending it. The platform layers own the sockets and hand each accepted one over as a Connection.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <mutex>

inline constexpr int kRequestBufferSize = 4096; // at most 4095 received bytes and a terminating zero
inline constexpr int kHeaderBufferSize = 1024;  // the page header carries its policy
inline constexpr int kJsonBodySize = 1024;
inline constexpr int kFirstBytesWaitMs = 2000; // a silent client's connection ends after this
inline constexpr int kMaxConnections = 16;     // connections served at the same moment

struct Connection {
  // Waits at most `timeout_ms` for data; returns the count received, 0 when the peer closed, or -1
  // on error or time-out.
  virtual int receive(char *buf, int cap, int timeout_ms) = 0;
  // Sends some of `data`; returns the count sent, or 0 or less on failure.
  virtual int send_some(const char *data, int n) = 0;

protected:
  ~Connection() = default;
};

enum class RequestKind { HostCommand, Favicon, Page };

// Classifies by the first 12 bytes, case-sensitively; everything that is neither a host command
// nor a favicon request gets the page.
RequestKind classify_request(const char *request);

// True once the request headers are complete (an empty line) or the buffer is full.
bool request_complete(const char *request, int length);

// Reads one request into `buf` (kRequestBufferSize bytes), zero-terminated, until its headers are
// complete, the buffer is full, the peer stops sending, or `wait_ms` have passed since the start.
// Returns the number of bytes read (0 for an empty request).
int read_request(Connection &conn, char *buf, int wait_ms);

// What every reply carries: a loopback page must not be framed, sniffed or leak its address.
#define VL_SECURITY_HEADERS                                                                                  \
  "X-Frame-Options: DENY\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n"

// Formats the page response header for a body of `length` bytes with the page's
// Content-Security-Policy `csp` (null for none); returns its length, or -1 when it does not fit.
int format_page_header(char *out, int cap, long long length, const char *csp);

inline constexpr char kFaviconResponse[] =
    "HTTP/1.1 204 No Content\r\n" VL_SECURITY_HEADERS "Connection: close\r\n\r\n";

// Fills `header` (kHeaderBufferSize) and `body` (kJsonBodySize) for a host-command request and
// returns the body's length.
using HostCommandHandler = int (*)(const char *request, char *header, char *body);

// Sends all `n` bytes unless a send fails; returns true when everything was sent.
bool send_all(Connection &conn, const char *data, long long n);

// Serves one accepted connection: reads the request, answers it (the page straight from `page`,
// never copied), then discards what else the client already sent, so that closing the socket
// does not reset a connection whose reply is still in flight.
void serve_connection(Connection &conn, const unsigned char *page, long long page_length,
                      const char *page_csp, HostCommandHandler host_command);

// The bounded set of connections served at once, each on a thread of its own, so that a silent
// or slow client never delays another. The accept loop takes a slot before it accepts (and waits
// while all are taken); the connection's thread gives it back when done.
class ConnectionSlots {
public:
  explicit ConnectionSlots(int count) : free_(count) {}
  void take() {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [this] { return free_ > 0; });
    --free_;
  }
  void give_back() {
    {
      std::lock_guard<std::mutex> lock(m_);
      ++free_;
    }
    cv_.notify_one();
  }

private:
  std::mutex m_;
  std::condition_variable cv_;
  int free_;
};
