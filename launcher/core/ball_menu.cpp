#include "core/ball_menu.hpp"

void ball_menu_items(int autostart_on, ball_menu_item out[kBallMenuItems]) {
  out[0] = {menu_open, L"打开Vellora"};
  out[1] = {menu_autostart, autostart_on ? L"开机自动启动 ✓（点一下关掉）" : L"开机自动启动（点一下开启）"};
  out[2] = {menu_data_folder, L"打开数据文件夹（备份在里面）"};
  out[3] = {menu_install, L"安装到电脑（桌面+开始菜单图标）"};
  out[4] = {0, nullptr};
  out[5] = {menu_exit, L"退出（球也会消失）"};
}

ball_message autostart_toggle_message(int switched_on, int ok) {
  if (!ok)
    return {L"设置没成功（注册表写入失败）。", 1};
  if (switched_on)
    return {L"已开启开机自动启动：开机后只挂右下角悬浮球，点球打开主程序。", 0};
  return {L"已关闭开机自动启动。", 0};
}

ball_message install_message(int ok) {
  if (!ok)
    return {L"安装没成功，请确认程序不在只读目录。", 1};
  return {L"已安装到电脑：\n桌面和开始菜单都放好了图标，\n并已开启开机自动启动（开机只挂球）。", 0};
}
