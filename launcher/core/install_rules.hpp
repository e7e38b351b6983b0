// Installation and start at log-on, as rules on plain values. Windows: the installed copy
// "Vellora.exe" in the data folder, "Vellora.lnk" shortcuts, and the current user's Run value.
// Linux: the copy "vellora" in the data folder, an application entry and an XDG autostart entry.
#pragma once
#include <cstddef>
#include <string>

// ---- Windows ----

inline constexpr const wchar_t *kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr size_t kRunDataCap = 292;     // at most 291 characters and the terminator
inline constexpr size_t kRunQueryBytes = 1040; // autostart_get reads at most this much
inline constexpr unsigned long kRegSzType = 1; // REG_SZ

// The Run value's data "\"<exe>\" --ball-only". Always terminated; 1 when it fitted, else 0 (do not
// store it then).
int run_value_data(const wchar_t *exe, wchar_t *out, size_t cap);

// The byte count to store a string value of `len` characters with its terminator: (len + 1) * 2.
unsigned long reg_sz_bytes(size_t len);

// "<data folder>\Vellora.exe" and "<shell folder>\Vellora.lnk". Always terminated; 1 when the path
// fitted, else 0.
int installed_exe_path(const wchar_t *data_dir, wchar_t *out, size_t cap);
int shortcut_path(const wchar_t *folder, wchar_t *out, size_t cap);

// Start at log-on is on when the Run value was read (`query_ok`), is of type REG_SZ and its first
// UTF-16 unit is not the terminator. `data` holds `size` bytes as read.
int autostart_from_query(int query_ok, unsigned long type, const unsigned char *data, unsigned long size);

// Whether two paths name the same file for the copy step: equal ignoring the case of A-Z.
int same_path(const wchar_t *a, const wchar_t *b);

// ---- Linux ----

inline constexpr const char *kLinuxExeName = "vellora";
inline constexpr const char *kDesktopFileName = "vellora.desktop";

// "<config>/autostart/vellora.desktop" and "<data>/applications/vellora.desktop", where config and
// data are $XDG_CONFIG_HOME and $XDG_DATA_HOME when set to absolute paths, else ~/.config and
// ~/.local/share. Empty when there is no usable home either.
std::string linux_autostart_entry_path(const char *home, const char *xdg_config_home);
std::string linux_app_entry_path(const char *home, const char *xdg_data_home);

// The text of a .desktop file that starts `exe`: with "--ball-only" for the autostart entry, without
// it for the application entry. Empty when the path holds a control character, which an Exec line
// cannot carry.
std::string desktop_entry(const std::string &exe, int autostart);

// Whether an autostart entry's text leaves it enabled: not "Hidden=true" and not
// "X-GNOME-Autostart-enabled=false" (as desktop settings tools write to switch an entry off).
int desktop_entry_enabled(const std::string &text);
