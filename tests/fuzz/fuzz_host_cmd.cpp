// Fuzzes host-command parsing and authorisation on a request as it sits in the server's buffer,
// and the JSON escaping of paths: parsing always yields a known command and a terminated name,
// authorisation needs this address and the page's own origin, and an escaped path is whole, valid
// JSON string content or empty.
#include "core/host_cmd.hpp"
#include "core/http.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A JSON string's inside: no raw control character or lone quote, escapes complete.
bool json_string_inside(const char *s) {
  for (; *s; ++s) {
    const unsigned char c = static_cast<unsigned char>(*s);
    if (c < 0x20 || c == '"')
      return false;
    if (c == '\\') {
      ++s;
      if (*s == 'u') {
        for (int i = 0; i < 4; ++i)
          if (!std::strchr("0123456789abcdefABCDEF", *++s) || !*s)
            return false;
      } else if (!*s || !std::strchr("\"\\/bfnrt", *s)) {
        return false;
      }
    }
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size >= static_cast<size_t>(kRequestBufferSize))
    return 0;
  std::string req(reinterpret_cast<const char *>(data), size); // zero-terminated, as the server has it
  const unsigned port = 1 + (size ? data[0] : 0) * 251u;
  host_request r = host_parse(req.c_str());
  if (r.command != host_unknown && r.command != host_status && r.command != host_autostart &&
      r.command != host_install)
    std::abort();
  if (std::strlen(r.name) >= sizeof r.name)
    std::abort();
  // an authorised request names this very address and comes from the page itself
  const std::string host = "127.0.0.1:" + std::to_string(port);
  if (host_authorised(req.c_str(), port) &&
      (req.find(host) == std::string::npos || req.find("same-origin") == std::string::npos))
    std::abort();

  char path[kJsonPathCap];
  json_str(req.c_str(), path, sizeof path);
  if (std::strlen(path) >= sizeof path || !json_string_inside(path))
    std::abort();
  return 0;
}
