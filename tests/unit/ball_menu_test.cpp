#include "core/ball_menu.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring text(const wchar_t *t) { return t ? t : L"(separator)"; }

TEST(BallMenu, ItemsInOrderWithTheAutostartLabel) {
  for (int on : {0, 1}) {
    ball_menu_item items[kBallMenuItems];
    ball_menu_items(on, items);
    const ball_menu_item want[kBallMenuItems] = {
        {1, L"打开Vellora"},
        {4, on ? L"开机自动启动 ✓（点一下关掉）" : L"开机自动启动（点一下开启）"},
        {3, L"打开数据文件夹（备份在里面）"},
        {5, L"安装到电脑（桌面+开始菜单图标）"},
        {0, nullptr},
        {2, L"退出（球也会消失）"},
    };
    for (int i = 0; i < kBallMenuItems; ++i) {
      EXPECT_EQ(items[i].id, want[i].id) << "item " << i << " autostart " << on;
      EXPECT_EQ(text(items[i].text), text(want[i].text)) << "item " << i << " autostart " << on;
    }
  }
}

TEST(BallMenu, MessagesOfTheActions) {
  struct row {
    ball_message got;
    const wchar_t *text;
    int warning;
  };
  const row rows[] = {
      {autostart_toggle_message(1, 1), L"已开启开机自动启动：开机后只挂右下角悬浮球，点球打开主程序。", 0},
      {autostart_toggle_message(0, 1), L"已关闭开机自动启动。", 0},
      {autostart_toggle_message(1, 0), L"设置没成功（注册表写入失败）。", 1},
      {autostart_toggle_message(0, 0), L"设置没成功（注册表写入失败）。", 1},
      {install_message(1),
       L"已安装到电脑：\n桌面和开始菜单都放好了图标，\n并已开启开机自动启动（开机只挂球）。", 0},
      {install_message(0), L"安装没成功，请确认程序不在只读目录。", 1},
  };
  for (const row &r : rows) {
    EXPECT_EQ(text(r.got.text), r.text);
    EXPECT_EQ(r.got.warning, r.warning) << r.text;
  }
}

} // namespace
