#include "instance.hpp"

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static const char kOpenRequest[] = "open\n";

static bool socket_address(const std::string &app_dir, sockaddr_un &addr) {
  std::string path = app_dir + "/instance.sock";
  if (path.size() >= sizeof addr.sun_path)
    return false;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return true;
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
  if (!socket_address(app_dir, addr))
    return -1;
  unlink(addr.sun_path); // left over from a shell that did not end cleanly; we hold the lock
  int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0)
    return -1;
  if (bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(s, 4) != 0) {
    close(s);
    return -1;
  }
  return s;
}

bool notify_running_shell(const std::string &app_dir) {
  sockaddr_un addr;
  if (!socket_address(app_dir, addr))
    return false;
  int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0)
    return false;
  bool ok = connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
            send(s, kOpenRequest, sizeof kOpenRequest - 1, MSG_NOSIGNAL) == sizeof kOpenRequest - 1;
  close(s);
  return ok;
}

bool read_open_request(int connection) {
  char buf[16] = {};
  pollfd p{connection, POLLIN, 0};
  if (poll(&p, 1, 1000) <= 0)
    return false;
  ssize_t n = recv(connection, buf, sizeof buf - 1, 0);
  return n > 0 && std::strncmp(buf, kOpenRequest, 4) == 0;
}
