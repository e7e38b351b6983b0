// Starting other programs (the browser, xdg-open) so that they live on their own.
#include "shell.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

std::string find_on_path(const char *name) {
  const char *path = std::getenv("PATH");
  if (!path)
    return "";
  for (const char *p = path;;) {
    const char *end = std::strchr(p, ':');
    const std::string dir = end ? std::string(p, end) : std::string(p);
    if (!dir.empty() && dir[0] == '/') { // nothing from the working folder
      const std::string full = dir + "/" + name;
      if (is_regular_file(full) && access(full.c_str(), X_OK) == 0)
        return full;
    }
    if (!end)
      return "";
    p = end + 1;
  }
}

// Sends errno through the pipe and ends the forked process. Only async-signal-safe calls here.
[[noreturn]] static void fail_child(int pipe_out) {
  const int err = errno;
  ssize_t ignored = write(pipe_out, &err, sizeof err);
  (void)ignored;
  _exit(127);
}

int spawn_detached(const std::vector<std::string> &args, const std::string &dir) {
  // Everything the forked processes need is prepared here: after fork in a threaded program only
  // async-signal-safe calls are allowed.
  std::vector<char *> argv;
  for (const std::string &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  const char *cwd = dir.c_str();

  // The exec closes the write end (close-on-exec): an empty read means it succeeded.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0)
    return errno;
  pid_t middle = fork();
  if (middle < 0) {
    const int err = errno;
    close(report[0]);
    close(report[1]);
    return err;
  }
  if (middle == 0) {
    // The middle process leads a new session and exits at once, so the program is nobody's child
    // here, never a zombie of the shell, and cannot take the shell's terminal.
    close(report[0]);
    if (setsid() < 0)
      fail_child(report[1]);
    pid_t program = fork();
    if (program < 0)
      fail_child(report[1]);
    if (program > 0)
      _exit(0);
    // The shell blocks SIGINT/SIGTERM and ignores SIGPIPE; a blocked mask and ignored signals
    // survive exec, so give the program a clean start.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, nullptr);
    int null = open("/dev/null", O_RDWR);
    if (null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0)
      fail_child(report[1]);
    if (null > 2)
      close(null);
    if (chdir(cwd) != 0)
      fail_child(report[1]);
    execv(argv[0], argv.data());
    fail_child(report[1]);
  }
  close(report[1]);
  int status;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  while ((n = read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (n == sizeof err)
    return err ? err : EIO;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return ECHILD; // the middle process died before it could start anything
  return 0;
}
