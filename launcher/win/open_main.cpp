// Opening the page's window.
#include "shell.hpp"

#include "core/texts.hpp"

void open_main() { logf(kLogOpenRequested); }
