#include "core/install_rules.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(InstallRules, RunValueData) {
  wchar_t buf[kRunDataCap];
  ASSERT_EQ(run_value_data(L"C:\\Users\\李雷\\AppData\\Local\\Doremkin\\Vellora.exe", buf, kRunDataCap), 1);
  EXPECT_EQ(std::wstring(buf), L"\"C:\\Users\\李雷\\AppData\\Local\\Doremkin\\Vellora.exe\" --ball-only");
  EXPECT_EQ(reg_sz_bytes(std::wstring(buf).size()), (std::wstring(buf).size() + 1) * 2);
  // 291 characters fit (a 277-character path); 292 do not and must not be stored.
  EXPECT_EQ(run_value_data(std::wstring(277, L'p').c_str(), buf, kRunDataCap), 1);
  EXPECT_EQ(std::wstring(buf).size(), 291u);
  EXPECT_EQ(run_value_data(std::wstring(278, L'p').c_str(), buf, kRunDataCap), 0);
  // A larger buffer does not lift the limit.
  wchar_t big[600];
  EXPECT_EQ(run_value_data(std::wstring(278, L'p').c_str(), big, 600), 0);
}

TEST(InstallRules, Paths) {
  wchar_t buf[260];
  ASSERT_EQ(installed_exe_path(L"C:\\Users\\a\\AppData\\Local\\Doremkin", buf, 260), 1);
  EXPECT_EQ(std::wstring(buf), L"C:\\Users\\a\\AppData\\Local\\Doremkin\\Vellora.exe");
  ASSERT_EQ(shortcut_path(L"C:\\Users\\a\\Desktop", buf, 260), 1);
  EXPECT_EQ(std::wstring(buf), L"C:\\Users\\a\\Desktop\\Vellora.lnk");
  EXPECT_EQ(installed_exe_path(std::wstring(247, L'd').c_str(), buf, 260), 1); // 259 characters
  EXPECT_EQ(installed_exe_path(std::wstring(248, L'd').c_str(), buf, 260), 0);
}

TEST(InstallRules, AutostartFromQuery) {
  const unsigned char on[] = {'"', 0, 'C', 0, 0, 0};
  const unsigned char empty[] = {0, 0};
  const unsigned char high_byte[] = {0, 0x4E, 0, 0}; // U+4E00 as the first unit
  struct row {
    int query_ok;
    unsigned long type;
    const unsigned char *data;
    unsigned long size;
    int want;
    const char *why;
  };
  const row rows[] = {
      {1, 1, on, sizeof on, 1, "REG_SZ with text"},
      {1, 1, high_byte, sizeof high_byte, 1, "first unit non-zero in its high byte"},
      {1, 1, empty, sizeof empty, 0, "empty string"},
      {1, 1, on, 0, 0, "no data at all"},
      {1, 2, on, sizeof on, 0, "REG_EXPAND_SZ"},
      {0, 1, on, sizeof on, 0, "query failed (missing, or larger than 1040 bytes)"},
  };
  for (const row &r : rows)
    EXPECT_EQ(autostart_from_query(r.query_ok, r.type, r.data, r.size), r.want) << r.why;
}

TEST(InstallRules, SamePathIgnoresCase) {
  EXPECT_EQ(same_path(L"C:\\Users\\A\\Doremkin\\Vellora.exe", L"c:\\users\\a\\doremkin\\VELLORA.EXE"), 1);
  EXPECT_EQ(same_path(L"C:\\D\\Vellora.exe", L"C:\\D\\Vellora.exe.bak"), 0);
  EXPECT_EQ(same_path(L"C:\\D\\Vellora.exe", L"C:\\E\\Vellora.exe"), 0);
  EXPECT_EQ(same_path(L"", L""), 1);
}

TEST(LinuxInstall, EntryPaths) {
  EXPECT_EQ(linux_autostart_entry_path("/home/t", nullptr), "/home/t/.config/autostart/vellora.desktop");
  EXPECT_EQ(linux_autostart_entry_path("/home/t", "/x/cfg"), "/x/cfg/autostart/vellora.desktop");
  EXPECT_EQ(linux_autostart_entry_path("/home/t", "relative"), "/home/t/.config/autostart/vellora.desktop");
  EXPECT_EQ(linux_app_entry_path("/home/t", ""), "/home/t/.local/share/applications/vellora.desktop");
  EXPECT_EQ(linux_app_entry_path(nullptr, "/x/data"), "/x/data/applications/vellora.desktop");
  EXPECT_EQ(linux_app_entry_path(nullptr, nullptr), "");
  EXPECT_EQ(linux_autostart_entry_path("", nullptr), "");
}

TEST(LinuxInstall, DesktopEntries) {
  EXPECT_EQ(desktop_entry("/home/t/.local/share/Doremkin/vellora", 1),
            "[Desktop Entry]\nType=Application\nName=Vellora\n"
            "Exec=\"/home/t/.local/share/Doremkin/vellora\" --ball-only\nTerminal=false\n"
            "X-GNOME-Autostart-enabled=true\n");
  EXPECT_EQ(desktop_entry("/home/t/.local/share/Doremkin/vellora", 0),
            "[Desktop Entry]\nType=Application\nName=Vellora\n"
            "Exec=\"/home/t/.local/share/Doremkin/vellora\"\nTerminal=false\nCategories=Office;\n");
  // Quoting: ", `, $ and \ are escaped for the argument, then backslashes once more for the value;
  // % is doubled.
  const std::string text = desktop_entry("/h/a b\"c`d$e\\f%g", 0);
  EXPECT_NE(text.find("Exec=\"/h/a b\\\\\"c\\\\`d\\\\$e\\\\\\\\f%%g\"\n"), std::string::npos) << text;
  EXPECT_EQ(desktop_entry("/h/line\nbreak", 1), "");
}

TEST(LinuxInstall, EntryEnabled) {
  EXPECT_EQ(desktop_entry_enabled(desktop_entry("/h/vellora", 1)), 1);
  EXPECT_EQ(desktop_entry_enabled("[Desktop Entry]\nHidden=true\n"), 0);
  EXPECT_EQ(desktop_entry_enabled("[Desktop Entry]\r\nHidden = true\r\n"), 0);
  EXPECT_EQ(desktop_entry_enabled("[Desktop Entry]\nX-GNOME-Autostart-enabled=false"), 0);
  EXPECT_EQ(desktop_entry_enabled("[Desktop Entry]\nHidden=false\n"), 1);
  EXPECT_EQ(desktop_entry_enabled(""), 1);
}

} // namespace
