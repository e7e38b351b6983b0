// Opening the page's window.
#include "shell.hpp"

#include "core/texts.hpp"

#include <cstdio>

void open_main() {
  logf(kLogOpenRequested);
  std::printf("Vellora: http://127.0.0.1:%u/\n", static_cast<unsigned>(g_port));
  std::fflush(stdout);
}
