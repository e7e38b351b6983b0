// vellora-server: the account service and update site of the planner.
//
//   vellora-server --data DIR [--listen 127.0.0.1:8787] [--site DIR]   serve until SIGINT/SIGTERM
//   vellora-server --data DIR --add-admin NAME      password from standard input
//   vellora-server --data DIR --publish FILE        copy a built page into the site folder
#include "core/validate.hpp"
#include "http/auth.hpp"
#include "http/server.hpp"
#include "http/service.hpp"
#include "store/store.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

namespace {

int usage() {
  std::cerr << "usage: vellora-server --data DIR [--listen HOST:PORT] [--site DIR]\n"
               "       vellora-server --data DIR --add-admin NAME   (password on standard input)\n"
               "       vellora-server --data DIR [--site DIR] --publish FILE\n";
  return 2;
}

int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

} // namespace

int main(int argc, char **argv) {
  std::string data, listen = "127.0.0.1:8787", site, add_admin, publish;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    auto value = [&](std::string &out) {
      if (i + 1 >= argc)
        return false;
      out = argv[++i];
      return true;
    };
    bool ok = (a == "--data" && value(data)) || (a == "--listen" && value(listen)) ||
              (a == "--site" && value(site)) || (a == "--add-admin" && value(add_admin)) ||
              (a == "--publish" && value(publish));
    if (!ok)
      return usage();
  }
  if (data.empty() || (!add_admin.empty() && !publish.empty()))
    return usage();
  if (site.empty())
    site = (std::filesystem::path(data) / "site").string();

  if (!publish.empty()) {
    std::string ver;
    std::string err = vs::publish_page(publish, site, ver);
    if (!err.empty()) {
      std::cerr << "vellora-server: " << err << "\n";
      return 1;
    }
    std::cout << "vellora-server: published " << ver << " to " << site << "\n";
    return 0;
  }

  if (!vs::auth_init()) {
    std::cerr << "vellora-server: libsodium cannot start\n";
    return 1;
  }
  std::unique_ptr<vs::Store> store;
  try {
    store = vs::open_sqlite_store(data);
  } catch (const std::exception &e) {
    std::cerr << "vellora-server: " << e.what() << "\n";
    return 1;
  }

  if (!add_admin.empty()) {
    std::string err = vs::check_username(add_admin);
    std::string pw;
    std::getline(std::cin, pw);
    if (!pw.empty() && pw.back() == '\r')
      pw.pop_back();
    if (err.empty())
      err = vs::check_password(pw);
    if (!err.empty()) {
      std::cerr << "vellora-server: " << err << "\n";
      return 1;
    }
    vs::NewUser u{add_admin, vs::username_key(add_admin), add_admin, "admin",
                  "active",  vs::hash_password(pw),       now_ms()};
    int64_t id = store->upsert_admin(u);
    std::cout << "vellora-server: administrator " << add_admin << " (id " << id << ") is active\n";
    return 0;
  }

  vs::ServerConfig cfg;
  size_t colon = listen.rfind(':');
  if (colon == std::string::npos)
    return usage();
  cfg.host = listen.substr(0, colon);
  if (cfg.host.size() > 2 && cfg.host.front() == '[' && cfg.host.back() == ']')
    cfg.host = cfg.host.substr(1, cfg.host.size() - 2);
  char *end = nullptr;
  long port = std::strtol(listen.c_str() + colon + 1, &end, 10);
  if (*end || port < 0 || port > 65535 || colon + 1 == listen.size())
    return usage();
  cfg.port = static_cast<unsigned short>(port);
  unsigned hw = std::thread::hardware_concurrency();
  cfg.io_threads = hw > 2 ? hw : 2;
  // Tests shorten the header timeout to see a silent client cut off quickly.
  if (const char *t = std::getenv("VELLORA_HEADER_TIMEOUT_MS"))
    cfg.header_timeout = std::chrono::milliseconds(std::atol(t) > 0 ? std::atol(t) : 10000);

  vs::Service svc(*store, site);
  return vs::serve(svc, cfg, [&](const std::string &host, unsigned short p) {
    std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    std::cout << "vellora-server: http://" << h << ":" << p << "/vellora/" << std::endl;
  });
}
