// One shell per user (per data folder): a lock decides which start is the first, and a local
// socket carries a later start's request to it.
#pragma once
#include <string>

// Takes the instance lock; returns its descriptor, or -1 when another shell holds it.
int take_instance_lock(const std::string &app_dir);

// Opens the socket on which the first shell hears later starts; -1 on failure.
int listen_for_later_starts(const std::string &app_dir);

// Asks the running shell to open the page; false when it cannot be reached.
bool notify_running_shell(const std::string &app_dir);

// Reads one request from an accepted connection of the instance socket; true for "open".
bool read_open_request(int connection);
