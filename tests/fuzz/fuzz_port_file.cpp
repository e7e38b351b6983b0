// Fuzzes what the shells read back from their data folder: the remembered port (port.txt) and the
// hand-over socket's name made from the folder's path. A port read is 0 or a real port that reads
// back the same once written; the socket name always fits an abstract socket address.
#include "core/startup.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  const unsigned port = parse_port(text.c_str());
  if (port > 65535)
    std::abort();
  if (port) {
    char out[16];
    const int n = format_port(out, sizeof out, port);
    if (n <= 0 || n >= static_cast<int>(sizeof out) || parse_port(out) != port)
      std::abort();
  }
  const std::string name = instance_socket_name(text.c_str(), size ? data[0] * 1000u : 0u);
  if (name.empty() || name.size() > 107 || name.rfind("vellora-", 0) != 0)
    std::abort();
  return 0;
}
