// Start-up, single instance and the main loop of the Linux shell.
#include "instance.hpp"
#include "shell.hpp"

#include "core/startup.hpp"
#include "core/texts.hpp"

#include <csignal>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
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
  return signalfd(-1, &set, SFD_CLOEXEC);
}

static void run_main_loop(int exit_signals, int later_starts) {
  for (;;) {
    pollfd fds[2] = {{exit_signals, POLLIN, 0}, {later_starts, POLLIN, 0}};
    if (poll(fds, later_starts >= 0 ? 2 : 1, -1) < 0)
      continue;
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
  }
}

int main(int argc, char **argv) {
  const bool ball_only = has_ball_only(argc, argv);
  std::string app_dir;
  const bool have_dir = ensure_app_dir(app_dir) != 0;

  int lock = have_dir ? take_instance_lock(app_dir) : -2;
  if (lock == -1) {
    if (!ball_only && !notify_running_shell(app_dir))
      open_main();
    return 0;
  }

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

  if (ball_only)
    logf(kLogBootBallOnly);
  else
    open_main();

  int later_starts = have_dir ? listen_for_later_starts(app_dir) : -1;
  run_main_loop(exit_signals, later_starts);

  g_http_on = 0;
  close_listener();
  if (later_starts >= 0)
    close(later_starts);
  if (lock >= 0)
    close(lock);
  return 0;
}
