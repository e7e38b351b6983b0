// Start-up decisions on plain values: the command line and the remembered page-server port.
#pragma once
#include <string>

// True when the command-line arguments contain "--ball-only" anywhere (case-sensitive).
bool has_ball_only(const wchar_t *arguments);

// The port remembered in the data folder: a decimal number from 1 to 65535, surrounding white
// space allowed. Anything else gives 0 (no port remembered).
unsigned parse_port(const char *text);

// Formats a port for the port file; returns the length written.
int format_port(char *out, int cap, unsigned port);

// The same test on the arguments of a POSIX command line.
bool has_ball_only(int argc, const char *const *argv);

// The name of the Linux shell's hand-over socket (abstract, without its leading zero byte):
// "vellora-<uid>-<hash of the data folder>", so that shells of different users and data folders
// never meet, however long the folder's path is.
std::string instance_socket_name(const char *app_dir, unsigned uid);
