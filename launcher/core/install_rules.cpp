#include "core/install_rules.hpp"

#include "core/texts.hpp"
#include "core/wide_copy.hpp"

namespace {

std::string xdg_dir(const char *home, const char *xdg, const char *fallback) {
  if (xdg && xdg[0] == '/')
    return xdg;
  if (home && home[0] == '/')
    return std::string(home) + "/" + fallback;
  return "";
}

std::string trimmed(const std::string &s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos)
    return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

} // namespace

int run_value_data(const wchar_t *exe, wchar_t *out, size_t cap) {
  const size_t limit = cap < kRunDataCap ? cap : kRunDataCap;
  return copy_wide(L"\"" + std::wstring(exe) + L"\" " + kBallOnlySwitch, out, limit);
}

unsigned long reg_sz_bytes(size_t len) { return static_cast<unsigned long>((len + 1) * 2); }

int installed_exe_path(const wchar_t *data_dir, wchar_t *out, size_t cap) {
  return copy_wide(std::wstring(data_dir) + L"\\" + kProductName + L".exe", out, cap);
}

int shortcut_path(const wchar_t *folder, wchar_t *out, size_t cap) {
  return copy_wide(std::wstring(folder) + L"\\" + kProductName + L".lnk", out, cap);
}

int autostart_from_query(int query_ok, unsigned long type, const unsigned char *data, unsigned long size) {
  if (!query_ok || type != kRegSzType || !data || size < 2)
    return 0;
  return (data[0] | data[1]) != 0 ? 1 : 0;
}

int same_path(const wchar_t *a, const wchar_t *b) {
  auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
  for (; *a && *b; ++a, ++b)
    if (fold(*a) != fold(*b))
      return 0;
  return *a == *b ? 1 : 0;
}

std::string linux_autostart_entry_path(const char *home, const char *xdg_config_home) {
  const std::string dir = xdg_dir(home, xdg_config_home, ".config");
  return dir.empty() ? dir : dir + "/autostart/" + kDesktopFileName;
}

std::string linux_app_entry_path(const char *home, const char *xdg_data_home) {
  const std::string dir = xdg_dir(home, xdg_data_home, ".local/share");
  return dir.empty() ? dir : dir + "/applications/" + kDesktopFileName;
}

std::string desktop_entry(const std::string &exe, int autostart) {
  // Exec quoting: inside double quotes, " ` $ and \ take a backslash; the value's own escaping
  // then doubles every backslash; % starts a field code and is written %%.
  std::string quoted = "\"";
  for (char c : exe) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return "";
    if (c == '"' || c == '`' || c == '$')
      quoted += "\\\\";
    else if (c == '\\')
      quoted += "\\\\\\";
    else if (c == '%')
      quoted += '%';
    quoted += c;
  }
  quoted += '"';
  std::string text = "[Desktop Entry]\nType=Application\nName=Vellora\nExec=" + quoted;
  if (autostart)
    text += " --ball-only\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  else
    text += "\nTerminal=false\nCategories=Office;\n";
  return text;
}

int desktop_entry_enabled(const std::string &text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
      continue;
    const std::string key = trimmed(line.substr(0, eq));
    const std::string value = trimmed(line.substr(eq + 1));
    if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
      return 0;
  }
  return 1;
}
