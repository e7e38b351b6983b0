#include "core/host_cmd.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const unsigned kPort = 51234;

// The request the page itself sends for `target`.
std::string page_request(const std::string &target) {
  return "GET " + target +
         " HTTP/1.1\r\nHost: 127.0.0.1:51234\r\nConnection: keep-alive\r\nsec-ch-ua-platform: \"Windows\"\r\n"
         "User-Agent: Mozilla/5.0\r\nAccept: */*\r\nSec-Fetch-Site: same-origin\r\nSec-Fetch-Mode: cors\r\n"
         "Sec-Fetch-Dest: empty\r\nX-Vellora-Host: 1\r\nReferer: http://127.0.0.1:51234/\r\nAccept-Encoding: "
         "gzip, deflate, br\r\n"
         "Accept-Language: zh-CN,zh;q=0.9\r\n\r\n";
}

TEST(HostCmd, ParseFromTheQueryOnly) {
  struct row {
    std::string req;
    std::string name;
    host_command command;
    int on;
  };
  const std::string long_name(40, 'a');
  const row rows[] = {
      {page_request("/__vlra?cmd=status"), "status", host_status, 0},
      {page_request("/__vlra?cmd=install"), "install", host_install, 0},
      {page_request("/__vlra?cmd=autostart&on=1"), "autostart", host_autostart, 1},
      {page_request("/__vlra?cmd=autostart&on=0"), "autostart", host_autostart, 0},
      {page_request("/__vlra?on=1&cmd=autostart"), "autostart", host_autostart, 1},
      // Pairs, not substrings: none of these names a command or switches on.
      {page_request("/__vlra?xcmd=install"), "", host_unknown, 0},
      {page_request("/__vlra?a=cmd=install"), "", host_unknown, 0},
      {page_request("/__vlra?x;cmd=install"), "", host_unknown, 0},
      {page_request("/__vlra?cmd=autostart&on=0&xon=10"), "autostart", host_autostart, 0},
      {page_request("/__vlra?cmd=autostart&on=10"), "autostart", host_autostart, 0},
      {page_request("/__vlra?cmd=autostart&on"), "autostart", host_autostart, 0},
      {page_request("/__vlra?cmd=status&cmd=install"), "", host_unknown, 0}, // twice: neither
      {page_request("/__vlra?cmd=autostart&on=1&on=0"), "autostart", host_unknown, 0},
      {page_request("/__vlra?cmd=Status"), "Status", host_unknown, 0},     // case-sensitive
      {page_request("/__vlra?cmd=%73tatus"), "%73tatus", host_unknown, 0}, // not percent-decoded
      {page_request("/__vlra?cmd=status&x=1"), "status", host_status, 0},
      {page_request("/__vlra?cmd=" + long_name), std::string(31, 'a'), host_unknown, 0}, // cut to 31
      {page_request("/__vlra?cmd=statusstatusstatusstatusstatusstatus"), "statusstatusstatusstatusstatuss",
       host_unknown, 0},
      {page_request("/__vlra?cmd=&on=1"), "", host_unknown, 1},
      {page_request("/__vlra?status"), "", host_unknown, 0},
      {page_request("/__vlra/?cmd=install"), "", host_unknown, 0}, // not a host command at all
      {"get /__vlra?cmd=install HTTP/1.1\r\n\r\n", "", host_unknown, 0},
      {"GET /__vlra?cmd=status", "status", host_status, 0},         // cut short before the version
      {"GET /__vlra?cmd=status\r\nX: 1", "status", host_status, 0}, // HTTP/0.9-like line
      // Headers are never read: a cookie holding "on=1" does not switch on, nor names a command.
      {"GET /__vlra?cmd=autostart&on=0 HTTP/1.1\r\nHost: 127.0.0.1:51234\r\nCookie: on=1\r\n\r\n",
       "autostart", host_autostart, 0},
      {"GET /__vlra?x=1 HTTP/1.1\r\nHost: 127.0.0.1:51234\r\nCookie: cmd=install\r\n\r\n", "", host_unknown,
       0},
      {"GET /__vlra?cmd=autostart HTTP/1.1\r\nReferer: http://127.0.0.1:51234/?on=1\r\n\r\n", "autostart",
       host_autostart, 0},
  };
  for (const row &r : rows) {
    const host_request got = host_parse(r.req.c_str());
    const std::string line = r.req.substr(0, r.req.find('\r'));
    EXPECT_EQ(std::string(got.name), r.name) << line;
    EXPECT_EQ(got.command, r.command) << line;
    EXPECT_EQ(got.on, r.on) << line;
  }
}

#define M "X-Vellora-Host: 1\r\n"
TEST(HostCmd, OnlyThePageItselfIsAnswered) {
  struct row {
    std::string headers; // between the request line and the empty line
    int allowed;
    const char *why;
  };
  const row rows[] = {
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\nOrigin: http://127.0.0.1:51234\r\n" M, 1,
       "the page's own fetch"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\n" M, 1, "no Origin (a same-origin GET)"},
      {"Host: 127.0.0.1:51234\r\n" M, 0, "no Sec-Fetch-Site (printf | nc)"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\n", 0, "without the page's header"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\nX-Vellora-Host: 0\r\n", 0, "header not 1"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\n" M M, 0, "the page's header twice"},
      {"host:127.0.0.1:51234\r\nSEC-FETCH-SITE: \t same-origin \r\nx-vellora-HOST: 1\r\n", 1,
       "names are case-insensitive"},
      {"Host: 127.0.0.1:51234\nSec-Fetch-Site: same-origin\nX-Vellora-Host: 1\n", 1, "bare line feeds"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site : same-origin\r\n" M, 0, "space before the colon"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\n" M " folded: x\r\n", 0, "folded line"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\n" M "\tfolded\r\n", 0, "folded by a tab"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\n" M "no colon\r\n", 0, "no colon"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\n" M ": x\r\n", 0, "empty name"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: cross-site\r\n", 0, "an image tag on another site"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-site\r\n", 0, "another port of 127.0.0.1"},
      {"Host: 127.0.0.1:51234\r\nSec-Fetch-Site: none\r\n", 0, "typed into the address bar"},
      {"Host: 127.0.0.1:51234\r\nOrigin: https://evil.example\r\nSec-Fetch-Site: same-origin\r\n" M, 0,
       "foreign Origin"},
      {"Host: 127.0.0.1:51234\r\nOrigin: null\r\nSec-Fetch-Site: same-origin\r\n" M, 0, "opaque Origin"},
      {"Host: 127.0.0.1:51234\r\nOrigin: http://127.0.0.1:51235\r\nSec-Fetch-Site: same-origin\r\n" M, 0,
       "Origin on another port"},
      {"Host: evil.example:51234\r\nSec-Fetch-Site: same-origin\r\n" M, 0, "foreign Host (DNS rebinding)"},
      {"Host: localhost:51234\r\nSec-Fetch-Site: same-origin\r\n" M, 0, "localhost Host"},
      {"Host: 127.0.0.1\r\nSec-Fetch-Site: same-origin\r\n" M, 0, "Host without the port"},
      {"Host: 127.0.0.1:5123\r\nSec-Fetch-Site: same-origin\r\n" M, 0, "Host with another port"},
      {"Sec-Fetch-Site: same-origin\r\n" M, 0, "no Host"},
      {"Host: 127.0.0.1:51234\r\nHost: evil.example\r\nSec-Fetch-Site: same-origin\r\n" M, 0, "two Hosts"},
      {"Host: 127.0.0.1:51234\r\nOrigin: http://127.0.0.1:51234\r\nOrigin: "
       "http://127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\n" M,
       0, "two Origins"},
      {"X-Host: 127.0.0.1:51234\r\nSec-Fetch-Site: same-origin\r\n" M, 0,
       "a header that merely ends in Host"},
  };
  for (const row &r : rows) {
    const std::string req = "GET /__vlra?cmd=status HTTP/1.1\r\n" + r.headers + "\r\n";
    EXPECT_EQ(host_authorised(req.c_str(), kPort), r.allowed) << r.why;
  }
}
#undef M

TEST(HostCmd, CutHeaderBlockIsRefused) {
  // A long URL could push Sec-Fetch-Site past the received bytes: without the end of the header
  // block nothing is answered.
  EXPECT_EQ(
      host_authorised("GET /__vlra?cmd=install HTTP/1.1\r\nHost: 127.0.0.1:51234\r\nSec-Fetch-S", kPort), 0);
  EXPECT_EQ(host_authorised("GET /__vlra?cmd=install HTTP/1.1\r\nHost: 127.0.0.1:51234\r\n", kPort), 0);
  EXPECT_EQ(host_authorised("GET /__vlra?cmd=install", kPort), 0);
  EXPECT_EQ(host_authorised(page_request("/__vlra?cmd=install").c_str(), kPort), 1);
}

TEST(HostCmd, Bodies) {
  char b[kJsonBodySize];
  EXPECT_EQ(host_body_status("win", 1, 1, "C:\\\\U\\\\Doremkin\\\\Vellora.exe", b), 89);
  EXPECT_STREQ(
      b, R"({"kind":"win","installed":1,"autostart":1,"installedPath":"C:\\U\\Doremkin\\Vellora.exe"})");
  host_body_status("linux", 0, 1, "ignored", b); // not installed: empty path
  EXPECT_STREQ(b, R"({"kind":"linux","installed":0,"autostart":1,"installedPath":""})");
  host_body_autostart(0, 1, b);
  EXPECT_STREQ(b, R"({"ok":0,"autostart":1})");
  host_body_install(1, 1, "/home/t/vellora", b);
  EXPECT_STREQ(b, R"({"ok":1,"installed":1,"autostart":1,"installedPath":"/home/t/vellora"})");
  host_body_install(0, 1, "/home/t/vellora", b);
  EXPECT_STREQ(b, R"({"ok":0,"error":"copy failed"})");
  EXPECT_EQ(host_body_unknown(b), 30);
  EXPECT_STREQ(b, R"({"ok":0,"error":"unknown cmd"})");
  host_body_forbidden(b);
  EXPECT_STREQ(b, R"({"ok":0,"error":"forbidden"})");
  // A path that would not fit the body leaves it empty instead of cutting the JSON.
  const std::string huge(1000, 'p');
  host_body_status("linux", 1, 0, huge.c_str(), b);
  EXPECT_STREQ(b, R"({"kind":"linux","installed":1,"autostart":0,"installedPath":""})");
}

TEST(HostCmd, Header) {
  char h[kHeaderBufferSize];
  const int n = host_json_header(200, 29, h);
  EXPECT_STREQ(h, "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: 29\r\n"
                  "Cache-Control: no-store\r\nX-Frame-Options: DENY\r\nX-Content-Type-Options: "
                  "nosniff\r\nReferrer-Policy: no-referrer\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(n, static_cast<int>(std::string(h).size()));
  host_json_header(403, 28, h);
  EXPECT_STREQ(h,
               "HTTP/1.1 403 Forbidden\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: "
               "28\r\nCache-Control: no-store\r\nX-Frame-Options: DENY\r\nX-Content-Type-Options: "
               "nosniff\r\nReferrer-Policy: no-referrer\r\nConnection: close\r\n\r\n");
}

TEST(JsonWstr, Escaping) {
  struct row {
    const wchar_t *path;
    std::string json;
  };
  const row rows[] = {
      {L"C:\\Users\\a\\AppData\\Local\\Doremkin\\Vellora.exe",
       "C:\\\\Users\\\\a\\\\AppData\\\\Local\\\\Doremkin\\\\Vellora.exe"},
      {L"/home/t/say \"hi\"/vellora", "/home/t/say \\\"hi\\\"/vellora"},
      {L"C:\\Users\\李雷\\é\\Vellora.exe",
       "C:\\\\Users\\\\\xE6\x9D\x8E\xE9\x9B\xB7\\\\\xC3\xA9\\\\Vellora.exe"},
      {L"C:\\📝", "C:\\\\\xF0\x9F\x93\x9D"}, // a surrogate pair on Windows, one unit on Linux
      {L"a\tb", "a\\u0009b"},               // control characters would make invalid JSON
      {L"", ""},
  };
  for (const row &r : rows) {
    char out[kJsonPathCap];
    json_wstr(r.path, out, sizeof out);
    EXPECT_EQ(std::string(out), r.json);
  }
}

TEST(JsonWstr, UnpairedSurrogateGivesEmpty) {
  std::wstring bad = L"C:\\x";
  bad += static_cast<wchar_t>(0xD800);
  bad += L"y";
  char out[kJsonPathCap] = "junk";
  json_wstr(bad.c_str(), out, sizeof out);
  EXPECT_STREQ(out, "");
}

TEST(JsonWstr, WholeOrNothing) {
  char out[kJsonPathCap];
  const std::string lee = "\xE9\x9B\xB7"; // 雷 in UTF-8
  struct row {
    std::wstring path;
    size_t length; // of the escaped form, 0 when it cannot be sent whole
  };
  const std::vector<row> rows = {
      {std::wstring(1039, L'a'), 1039},                        // with the terminator, the buffer exactly
      {std::wstring(1040, L'a'), 0},                           // one byte over: nothing, never a cut path
      {std::wstring(1038, L'a') + L"\\", 0},                   // its escape would pass the end
      {std::wstring(259, L'\\'), 518},                         // the longest Windows path, all escapes
      {std::wstring(346, L'雷'), 1038},                        // three bytes each, kept whole
      {std::wstring(10, L'\\') + std::wstring(340, L'雷'), 0}, // the escapes push a character over the end
  };
  for (const row &r : rows) {
    json_wstr(r.path.c_str(), out, sizeof out);
    EXPECT_EQ(std::string(out).size(), r.length);
  }
  json_wstr(std::wstring(346, L'雷').c_str(), out, sizeof out);
  EXPECT_EQ(std::string(out).substr(0, 3), lee);
  // a control character's escape counts too
  json_str((std::string(1033, 'a') + "\n").c_str(), out, sizeof out);
  EXPECT_EQ(std::string(out), std::string(1033, 'a') + "\\u000a");
  json_str((std::string(1034, 'a') + "\n").c_str(), out, sizeof out);
  EXPECT_STREQ(out, "");
  // a smaller buffer is honoured
  json_str("/home/t", out, 8);
  EXPECT_STREQ(out, "/home/t");
  json_str("/home/tt", out, 8);
  EXPECT_STREQ(out, "");
}

TEST(JsonStr, BytesThatAreNoUtf8BecomeReplacementCharacters) {
  char out[kJsonPathCap];
  json_str("/home/a\xFF\xC3/x\"y", out, sizeof out);
  EXPECT_STREQ(out, "/home/a\xEF\xBF\xBD\xEF\xBF\xBD/x\\\"y");
}

// Records what the host command asked the platform for.
struct fake_host {
  int installed = 0;
  int autostart = 0;
  int set_result = 1;
  int install_result = 1;
  std::vector<std::string> calls;

  static fake_host &of(void *ctx) { return *static_cast<fake_host *>(ctx); }
  static int installed_fn(void *ctx, char *path) {
    of(ctx).calls.push_back("installed");
    json_wstr(L"C:\\D\\Vellora.exe", path, kJsonPathCap);
    return of(ctx).installed;
  }
  static int get_fn(void *ctx) {
    of(ctx).calls.push_back("get");
    return of(ctx).autostart;
  }
  static int set_fn(void *ctx, int on) {
    fake_host &h = of(ctx);
    h.calls.push_back(on ? "set 1" : "set 0");
    if (h.set_result)
      h.autostart = on;
    return h.set_result;
  }
  static int install_fn(void *ctx, char *path) {
    fake_host &h = of(ctx);
    h.calls.push_back("install");
    if (h.install_result)
      json_wstr(L"C:\\D\\Vellora.exe", path, kJsonPathCap);
    return h.install_result;
  }
  host_ops ops() { return {this, installed_fn, get_fn, set_fn, install_fn}; }

  std::string reply(const std::string &req, std::string *header = nullptr) {
    char h[kHeaderBufferSize], b[kJsonBodySize];
    const int n = host_reply(req.c_str(), kPort, "win", ops(), h, b);
    EXPECT_EQ(n, static_cast<int>(std::string(b).size()));
    if (header)
      *header = h;
    return b;
  }
};

TEST(HostReply, Commands) {
  fake_host host;
  EXPECT_EQ(host.reply(page_request("/__vlra?cmd=status")),
            R"({"kind":"win","installed":0,"autostart":0,"installedPath":""})");
  EXPECT_EQ(host.reply(page_request("/__vlra?cmd=autostart&on=1")), R"({"ok":1,"autostart":1})");
  EXPECT_EQ(host.reply(page_request("/__vlra?cmd=install")),
            R"({"ok":1,"installed":1,"autostart":1,"installedPath":"C:\\D\\Vellora.exe"})");
  host.installed = 1;
  std::string header;
  EXPECT_EQ(host.reply(page_request("/__vlra?cmd=status"), &header),
            R"({"kind":"win","installed":1,"autostart":1,"installedPath":"C:\\D\\Vellora.exe"})");
  EXPECT_EQ(header.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_NE(header.find("Content-Length: 79\r\n"), std::string::npos);
  EXPECT_EQ(host.reply(page_request("/__vlra?cmd=autostart&on=0")), R"({"ok":1,"autostart":0})");
  EXPECT_EQ(host.reply(page_request("/__vlra?cmd=reboot")), R"({"ok":0,"error":"unknown cmd"})");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"installed", "get", "set 1", "get", "install", "get",
                                                  "installed", "get", "set 0"}));
}

TEST(HostReply, Failures) {
  fake_host host;
  host.set_result = 0;
  host.autostart = 1;
  // Switching off fails: ok 0 and 0 without asking; switching on fails: the unchanged state.
  EXPECT_EQ(host.reply(page_request("/__vlra?cmd=autostart&on=0")), R"({"ok":0,"autostart":0})");
  host.autostart = 0;
  EXPECT_EQ(host.reply(page_request("/__vlra?cmd=autostart&on=1")), R"({"ok":0,"autostart":0})");
  // Installed, but the autostart write inside it failed: the reply says so.
  EXPECT_EQ(host.reply(page_request("/__vlra?cmd=install")),
            R"({"ok":1,"installed":1,"autostart":0,"installedPath":"C:\\D\\Vellora.exe"})");
  host.install_result = 0;
  EXPECT_EQ(host.reply(page_request("/__vlra?cmd=install")), R"({"ok":0,"error":"copy failed"})");
}

TEST(HostReply, ForeignRequestsChangeNothing) {
  const std::string attacks[] = {
      // An image tag on another site.
      "GET /__vlra?cmd=install HTTP/1.1\r\nHost: 127.0.0.1:51234\r\nSec-Fetch-Site: cross-site\r\n"
      "Sec-Fetch-Mode: no-cors\r\nSec-Fetch-Dest: image\r\nX-Vellora-Host: 1\r\n\r\n",
      // A fetch from another origin.
      "GET /__vlra?cmd=autostart&on=1 HTTP/1.1\r\nHost: 127.0.0.1:51234\r\nOrigin: "
      "https://evil.example\r\n\r\n",
      // A rebound host name.
      "GET /__vlra?cmd=autostart&on=1 HTTP/1.1\r\nHost: evil.example:51234\r\nSec-Fetch-Site: "
      "same-origin\r\n\r\n",
  };
  for (const std::string &req : attacks) {
    fake_host host;
    std::string header;
    EXPECT_EQ(host.reply(req, &header), R"({"ok":0,"error":"forbidden"})");
    EXPECT_EQ(
        header,
        "HTTP/1.1 403 Forbidden\r\nContent-Type: application/json; charset=utf-8\r\n"
        "Content-Length: 28\r\nCache-Control: no-store\r\nX-Frame-Options: DENY\r\nX-Content-Type-Options: "
        "nosniff\r\nReferrer-Policy: no-referrer\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(host.calls.empty()) << req.substr(0, req.find('\r'));
  }
}

} // namespace
