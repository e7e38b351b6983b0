#include "instance.hpp"

#include "core/startup.hpp"

#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static const char kOpenRequest[] = "open\n";

// An abstract socket: its name always fits, whatever the data folder's length, and it vanishes
// with the shell. Abstract names carry no permissions, so both ends check the other's user.
static socklen_t socket_address(const std::string &app_dir, sockaddr_un &addr) {
  const std::string name = instance_socket_name(app_dir.c_str(), static_cast<unsigned>(getuid()));
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path + 1, name.data(), name.size()); // sun_path[0] == 0: abstract
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

static bool peer_is_us(int s) {
  ucred cred{};
  socklen_t len = sizeof cred;
  return getsockopt(s, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == getuid();
}

int take_instance_lock(const std::string &app_dir) {
  std::string path = app_dir + "/instance.lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0)
    return -2; // no lock to be had: run unprotected, like a failed mutex on Windows
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int listen_for_later_starts(const std::string &app_dir) {
  sockaddr_un addr;
  const socklen_t len = socket_address(app_dir, addr);
  int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0)
    return -1;
  if (bind(s, reinterpret_cast<sockaddr *>(&addr), len) != 0 || listen(s, 8) != 0) {
    close(s);
    return -1;
  }
  return s;
}

bool notify_running_shell(const std::string &app_dir) {
  sockaddr_un addr;
  const socklen_t len = socket_address(app_dir, addr);
  int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0)
    return false;
  bool ok = connect(s, reinterpret_cast<sockaddr *>(&addr), len) == 0 && peer_is_us(s) &&
            send(s, kOpenRequest, sizeof kOpenRequest - 1, MSG_NOSIGNAL) == sizeof kOpenRequest - 1;
  close(s);
  return ok;
}

bool read_open_request(int connection) {
  if (!peer_is_us(connection))
    return false;
  char buf[16] = {};
  pollfd p{connection, POLLIN, 0};
  if (poll(&p, 1, 1000) <= 0)
    return false;
  ssize_t n = recv(connection, buf, sizeof buf - 1, 0);
  return n > 0 && std::strncmp(buf, kOpenRequest, 4) == 0;
}
