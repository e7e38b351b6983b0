// Reading and replacing whole files.
#include "shell.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool is_regular_file(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool read_file(const std::string &path, size_t cap, std::string &bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  bytes.clear();
  char buf[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (bytes.size() + static_cast<size_t>(n) > cap) {
      ok = false;
      break;
    }
    bytes.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return ok;
}

static int write_all(int fd, const std::string &bytes) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return n < 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int replace_file(const std::string &path, const std::string &bytes, mode_t mode) {
  const std::string temp = path + "." + std::to_string(getpid()) + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0)
    return errno;
  int err = write_all(fd, bytes);
  if (!err && fsync(fd) != 0) // the rename must not land before the bytes do
    err = errno;
  if (close(fd) != 0 && !err)
    err = errno;
  if (!err && rename(temp.c_str(), path.c_str()) != 0)
    err = errno;
  if (err)
    unlink(temp.c_str());
  return err;
}
