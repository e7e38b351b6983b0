#include "core/desktop.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Desktop, ThePageWindowIsTheTopMostTitledClient) {
  struct row {
    std::initializer_list<const wchar_t *> titles;
    int index;
    int count;
  };
  const row rows[] = {
      {{}, -1, -1},
      {{nullptr, L"", L"Files - Doremkin", L"排期球"}, -1, -1},
      {{L"Terminal", L"📝 Vellora · 待批改 3 - Chromium"}, 1, 3},
      {{nullptr, L"📝 Vellora · 全部完成", L"📝 Vellora · 待批改 9"}, 1, 0},
      {{L"📝 Vellora", L"📝 Vellora · 待批改 9"}, 0, 0},
      {{L"vellora notes", L"📝 Vellora · 待批改 120"}, 1, 120},
  };
  for (const row &r : rows) {
    const wchar_t *const *titles = r.titles.begin();
    const int n = static_cast<int>(r.titles.size());
    EXPECT_EQ(main_window_index(titles, n), r.index) << "rows of " << n;
    EXPECT_EQ(pending_count_of(titles, n), r.count) << "rows of " << n;
  }
  EXPECT_EQ(main_window_index(nullptr, 3), -1);
}

TEST(Desktop, DoubleClicksNeedAQuickNearClick) {
  struct row {
    unsigned long t;
    int x, y;
    int dbl;
  };
  // After a click at t=1000 (100, 100): each row is the second press.
  const row rows[] = {
      {1300, 100, 100, 1}, {1500, 102, 98, 1}, {1501, 100, 100, 0},
      {1200, 103, 100, 0}, {1200, 100, 97, 0}, {999, 100, 100, 0}, // an older time (clock wrapped)
  };
  for (const row &r : rows) {
    click_memory m;
    remember_click(m, 1000, 100, 100);
    EXPECT_EQ(press_is_double_click(m, r.t, r.x, r.y), r.dbl) << r.t << " " << r.x << "," << r.y;
  }
  click_memory m;
  EXPECT_EQ(press_is_double_click(m, 10, 0, 0), 0); // no click before
  remember_click(m, 100, 5, 5);
  EXPECT_EQ(press_is_double_click(m, 200, 5, 5), 1);
  EXPECT_EQ(press_is_double_click(m, 300, 5, 5), 0); // a third press starts over
  remember_click(m, 400, 5, 5);
  forget_click(m); // that press became a drag
  EXPECT_EQ(press_is_double_click(m, 450, 5, 5), 0);
}

TEST(Desktop, WatchdogIsContentWithTheWindowOrAPageRequest) {
  EXPECT_EQ(watchdog_decide(1, 0), watchdog_ok);
  EXPECT_EQ(watchdog_decide(0, 1), watchdog_ok);
  EXPECT_EQ(watchdog_decide(1, 1), watchdog_ok);
  EXPECT_EQ(watchdog_decide(0, 0), watchdog_retry);
}

TEST(Desktop, LinuxMenuResults) {
  EXPECT_EQ(std::wstring(linux_autostart_toggle_message(1, 1).text),
            L"已开启开机自动启动：开机后只挂右下角悬浮球，点球打开主程序。");
  EXPECT_EQ(linux_autostart_toggle_message(0, 1).warning, 0);
  EXPECT_EQ(std::wstring(linux_autostart_toggle_message(0, 1).text), L"已关闭开机自动启动。");
  for (int on : {0, 1}) {
    EXPECT_EQ(linux_autostart_toggle_message(on, 0).warning, 1);
    EXPECT_EQ(std::wstring(linux_autostart_toggle_message(on, 0).text).find(L"注册表"), std::wstring::npos);
  }
  EXPECT_EQ(linux_install_message(1).warning, 0);
  EXPECT_EQ(linux_install_message(0).warning, 1);
  EXPECT_EQ(std::wstring(linux_install_message(1).text).find(L"开始菜单"), std::wstring::npos);
}

} // namespace
