// The network layer: HTTP/1.1 on Boost.Beast over Asio. Idle keep-alive connections cost no
// thread; calls that hash passwords run on a small worker pool so that polls never wait.
#pragma once

#include "http/service.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace vs {

struct ServerConfig {
  std::string host = "127.0.0.1";
  unsigned short port = 8787;
  size_t body_limit = 32u * 1024u * 1024u;
  std::chrono::milliseconds header_timeout{10000}; // from the first byte to the end of the header
  std::chrono::milliseconds body_timeout{60000};
  std::chrono::milliseconds idle_timeout{120000}; // a keep-alive connection between requests
  unsigned io_threads = 2;
  unsigned hash_threads = 2;
};

// Serves until SIGINT or SIGTERM. `ready` gets the bound address and port once listening.
// Returns 0 after a clean stop, 1 when the address cannot be bound.
int serve(Service &svc, const ServerConfig &cfg,
          const std::function<void(const std::string &, unsigned short)> &ready);

} // namespace vs
