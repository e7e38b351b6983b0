// The service's answers, independent of the network layer: the account API under
// /vellora/api and the update site under /vellora/. One request in, one reply out.
#pragma once

#include "store/store.hpp"

#include <cstdint>
#include <string>

namespace vs {

struct Request {
  std::string method; // "GET", "POST", ...
  std::string target; // path and query
  std::string authorization;
  std::string body;
  std::string remote; // client address, for sign-in limits
};

struct Reply {
  unsigned status = 200;
  std::string body;
  std::string content_type = "application/json; charset=utf-8";
  std::string cache_control = "no-store";
  std::string location;
};

class Service {
public:
  Service(Store &store, std::string site_dir);
  // Calls that hash passwords: the network layer runs them on the worker pool.
  bool is_slow(const Request &r) const;
  Reply handle(const Request &r);

private:
  Reply api(const Request &r, const std::string &path, const std::string &query);
  Reply site(const Request &r, const std::string &path);
  Store &store_;
  std::string site_dir_;
};

// Built-in files of the update site (manifest, icons, service worker): their bytes, or
// nullptr for other names.
const std::string *builtin_site_file(const std::string &name);
const char *site_content_type(const std::string &name);

// Copies a built page into the site folder and writes version.json from its own version.
// Returns "" on success, else what went wrong; `ver` receives the version.
std::string publish_page(const std::string &page_file, const std::string &site_dir, std::string &ver);

} // namespace vs
