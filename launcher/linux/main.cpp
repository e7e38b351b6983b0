// Start-up, single instance and the main loop of the Linux shell.
#include "instance.hpp"
#include "shell.hpp"
#include "x11.hpp"

#include "core/startup.hpp"
#include "core/texts.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <thread>
#include <unistd.h>

// SIGINT and SIGTERM arrive through a descriptor that the main loop polls; every thread started
// afterwards inherits the blocked mask, so none of them is interrupted by these signals.
static int take_exit_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  int fd = signalfd(-1, &set, SFD_CLOEXEC);
  if (fd < 0) // nobody would hear them: leave them to end the process as usual
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  return fd;
}

// The port of the shell that holds the instance lock, from its port file, once it answers there
// (it may still be starting); 0 when none answers within 3 s.
static unsigned running_shell_port() {
  for (int i = 0; i < 60; ++i, usleep(50 * 1000)) {
    std::string path, text;
    const unsigned port =
        app_file(path, kPortFileName) && read_file(path, 16, text) ? parse_port(text.c_str()) : 0;
    if (!port)
      continue;
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool up = s >= 0 && connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    if (s >= 0)
      close(s);
    if (up)
      return port;
  }
  return 0;
}

// A descriptor that becomes readable once, `ms` after now; -1 on failure.
static int one_shot_timer(int ms) {
  int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
  itimerspec when{};
  when.it_value.tv_sec = ms / 1000;
  when.it_value.tv_nsec = (ms % 1000) * 1000000L;
  if (fd >= 0 && timerfd_settime(fd, 0, &when, nullptr) != 0) {
    close(fd);
    fd = -1;
  }
  return fd;
}

// Waits for an exit signal, later starts, the watchdog (fired once, then closed) and the ball's
// events and ticks; ends on a signal or the ball's exit item.
static void run_main_loop(int exit_signals, int later_starts, int watchdog, unsigned connections_before) {
  for (;;) {
    pollfd fds[5] = {{exit_signals, POLLIN, 0},
                     {later_starts, POLLIN, 0},
                     {watchdog, POLLIN, 0},
                     {desktop_fd(), POLLIN, 0},
                     {desktop_tick_fd(), POLLIN, 0}};
    if (desktop_dispatch()) // also what Xlib has already read off the connection
      return;
    if (poll(fds, 5, -1) < 0) { // negative descriptors are skipped
      if (errno == EINTR)
        continue;
      return; // anything else would only repeat
    }
    if (fds[0].revents)
      return;
    if (later_starts >= 0 && (fds[1].revents & POLLIN)) {
      int c = accept4(later_starts, nullptr, nullptr, SOCK_CLOEXEC);
      if (c >= 0) {
        if (read_open_request(c))
          open_main();
        close(c);
      }
    }
    if (watchdog >= 0 && fds[2].revents) {
      close(watchdog);
      watchdog = -1;
      run_watchdog(connections_before);
    }
  }
}

int main(int argc, char **argv) {
  const bool ball_only = has_ball_only(argc, argv);
  std::string app_dir;
  const bool have_dir = ensure_app_dir(app_dir) != 0;

  int lock = have_dir ? take_instance_lock(app_dir) : -2;
  if (lock == -1) {
    // A second start hands over to the first; when it cannot, it opens the first shell's address
    // itself rather than the page file, which is another origin with an empty planner.
    if (!ball_only && !notify_running_shell(app_dir)) {
      g_port = static_cast<unsigned short>(running_shell_port());
      open_main();
    }
    return 0;
  }

  // The hand-over channel opens before anything else, so that a start right after this one finds it.
  int later_starts = have_dir ? listen_for_later_starts(app_dir) : -1;
  int exit_signals = take_exit_signals();
  std::thread(http_thread).detach();
  for (int i = 0; i < 100 && g_port == 0; ++i)
    usleep(30 * 1000);
  if (g_port) {
    logf(kLogHttpStarted, static_cast<unsigned>(g_port));
    std::printf("Vellora: http://127.0.0.1:%u/\n", static_cast<unsigned>(g_port));
    std::fflush(stdout);
  } else {
    logf(kLogHttpFailed);
  }

  // The watchdog looks 5 s after a browser was started whether it has asked the server for the
  // page; without a browser (the page file was opened instead) there is nothing to retry.
  int watchdog = -1;
  const unsigned connections_before = g_connections;
  const int desktop = desktop_open(); // before opening the page, which may front its window
  if (ball_only)
    logf(kLogBootBallOnly);
  else if (open_main())
    watchdog = one_shot_timer(5000);

  if (desktop)
    desktop_create_ball();
  run_main_loop(exit_signals, later_starts, watchdog, connections_before);

  g_http_on = 0;
  close_listener();
  if (later_starts >= 0)
    close(later_starts);
  if (lock >= 0)
    close(lock);
  return 0;
}
