#include "core/http.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A scripted peer: each receive() hands out the next chunk; an empty chunk is a time-out.
class FakeConnection final : public Connection {
public:
  std::vector<std::string> chunks;
  size_t next = 0;
  bool closed_after_chunks = true;
  std::string sent;
  int send_limit = -1; // bytes accepted before sends start failing
  std::vector<int> timeouts;

  int receive(char *buf, int cap, int timeout_ms) override {
    timeouts.push_back(timeout_ms);
    if (next >= chunks.size())
      return closed_after_chunks ? 0 : -1;
    std::string chunk = chunks[next++];
    if (chunk.empty())
      return -1;
    int n = static_cast<int>(chunk.size()) < cap ? static_cast<int>(chunk.size()) : cap;
    std::memcpy(buf, chunk.data(), static_cast<size_t>(n));
    return n;
  }
  int send_some(const char *data, int n) override {
    if (send_limit >= 0 && static_cast<int>(sent.size()) >= send_limit)
      return -1;
    int take = n > 1000 ? 1000 : n; // partial sends must be continued
    sent.append(data, static_cast<size_t>(take));
    return take;
  }
};

const unsigned char kPage[] = "<!DOCTYPE html><title>x</title>";
const long long kPageLength = sizeof kPage - 1;

int fake_host_command(const char *, char *header, char *body) {
  std::strcpy(body, "{}");
  std::strcpy(header, "HTTP/1.1 200 OK\r\n\r\n");
  return 2;
}

std::string serve(FakeConnection &conn) {
  serve_connection(conn, kPage, kPageLength, "default-src 'none'", fake_host_command);
  return conn.sent;
}

} // namespace

TEST(RequestClassification, ByTheFirstTwelveBytesCaseSensitively) {
  struct Case {
    const char *request;
    RequestKind kind;
  } cases[] = {
      {"GET /__vlra?cmd=status HTTP/1.1\r\n\r\n", RequestKind::HostCommand},
      {"GET /favicon.ico HTTP/1.1\r\n\r\n", RequestKind::Favicon},
      {"GET /favicon", RequestKind::Favicon},
      {"GET / HTTP/1.1\r\n\r\n", RequestKind::Page},
      {"GET /__vlra HTTP/1.1\r\n\r\n", RequestKind::Page},
      {"get /__vlra?cmd=status HTTP/1.1\r\n\r\n", RequestKind::Page},
      {"POST /favicon.ico HTTP/1.1\r\n\r\n", RequestKind::Page},
      {"HEAD / HTTP/1.1\r\n\r\n", RequestKind::Page},
      {"GET /__vl", RequestKind::Page},
      {"", RequestKind::Page},
  };
  for (const Case &c : cases)
    EXPECT_EQ(classify_request(c.request), c.kind) << c.request;
}

TEST(RequestReading, StopsAtTheEndOfTheHeadersAcrossChunks) {
  FakeConnection conn;
  conn.chunks = {"GET / HT", "TP/1.1\r\nHost: a\r\n", "\r\n", "never read"};
  char buf[kRequestBufferSize];
  int n = read_request(conn, buf, 2000);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "GET / HTTP/1.1\r\nHost: a\r\n\r\n");
  EXPECT_EQ(conn.next, 3u);
}

TEST(RequestReading, SilentOrClosedClientsGiveAnEmptyRequest) {
  FakeConnection silent;
  silent.closed_after_chunks = false;
  char buf[kRequestBufferSize];
  EXPECT_EQ(read_request(silent, buf, 2000), 0);
  EXPECT_STREQ(buf, "");
  ASSERT_EQ(silent.timeouts.size(), 1u);
  EXPECT_LE(silent.timeouts[0], 2000);
  EXPECT_GT(silent.timeouts[0], 1000);

  FakeConnection closed;
  EXPECT_EQ(read_request(closed, buf, 2000), 0);
}

TEST(RequestReading, NeverMoreThan4095Bytes) {
  FakeConnection conn;
  conn.chunks = {std::string(3000, 'a'), std::string(3000, 'b')};
  char buf[kRequestBufferSize];
  EXPECT_EQ(read_request(conn, buf, 2000), 4095);
  EXPECT_EQ(buf[4095], 0);
}

TEST(Serving, PageFaviconAndHostCommandReplies) {
  FakeConnection page;
  page.chunks = {"POST /any?x HTTP/1.1\r\n\r\nbody"};
  EXPECT_EQ(serve(page), "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                             std::to_string(kPageLength) +
                             "\r\nCache-Control: no-store\r\nContent-Security-Policy: default-src 'none'\r\n"
                             "X-Frame-Options: DENY\r\nX-Content-Type-Options: nosniff\r\n"
                             "Referrer-Policy: no-referrer\r\nConnection: close\r\n\r\n" +
                             reinterpret_cast<const char *>(kPage));

  FakeConnection empty; // a client that sends nothing still gets the page
  EXPECT_NE(serve(empty).find("<!DOCTYPE html>"), std::string::npos);

  FakeConnection favicon;
  favicon.chunks = {"GET /favicon.ico HTTP/1.1\r\n\r\n"};
  EXPECT_EQ(serve(favicon), "HTTP/1.1 204 No Content\r\nX-Frame-Options: DENY\r\nX-Content-Type-Options: "
                            "nosniff\r\nReferrer-Policy: no-referrer\r\nConnection: close\r\n\r\n");

  // A policy too long for the header buffer sends nothing rather than a cut header.
  char header[kHeaderBufferSize];
  EXPECT_EQ(format_page_header(header, sizeof header, 1, std::string(2000, 'x').c_str()), -1);

  FakeConnection command;
  command.chunks = {"GET /__vlra?cmd=x HTTP/1.1\r\n\r\n"};
  EXPECT_EQ(serve(command), "HTTP/1.1 200 OK\r\n\r\n{}");
}

TEST(Serving, LargeBodiesAreSentWholeAndAFailedSendStops) {
  std::string big(250000, 'p');
  FakeConnection conn;
  conn.chunks = {"GET / HTTP/1.1\r\n\r\n"};
  serve_connection(conn, reinterpret_cast<const unsigned char *>(big.data()),
                   static_cast<long long>(big.size()), nullptr, fake_host_command);
  EXPECT_EQ(conn.sent.substr(conn.sent.size() - big.size()), big);

  FakeConnection failing;
  failing.send_limit = 500;
  failing.chunks = {"GET / HTTP/1.1\r\n\r\n"};
  serve_connection(failing, reinterpret_cast<const unsigned char *>(big.data()),
                   static_cast<long long>(big.size()), nullptr, fake_host_command);
  EXPECT_LT(failing.sent.size(), 2000u);
}
