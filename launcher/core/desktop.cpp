#include "core/desktop.hpp"

#include "core/title.hpp"

int main_window_index(const wchar_t *const *titles, int count) {
  for (int i = 0; titles && i < count; ++i)
    if (titles[i] && is_main_title(titles[i]))
      return i;
  return -1;
}

int pending_count_of(const wchar_t *const *titles, int count) {
  const int i = main_window_index(titles, count);
  return i < 0 ? -1 : pending_count_from_title(titles[i]);
}

static int near(int a, int b) { return a - b <= kDoubleClickSlop && b - a <= kDoubleClickSlop; }

int press_is_double_click(click_memory &m, unsigned long t, int x, int y) {
  const int dbl = m.have && t - m.time <= kDoubleClickMs && near(x, m.x) && near(y, m.y);
  m.have = 0;
  return dbl;
}

void remember_click(click_memory &m, unsigned long t, int x, int y) { m = {1, t, x, y}; }

void forget_click(click_memory &m) { m.have = 0; }

watchdog_verdict watchdog_decide(int window_found, int page_requested) {
  return window_found || page_requested ? watchdog_ok : watchdog_retry;
}

ball_message linux_autostart_toggle_message(int switched_on, int ok) {
  if (!ok)
    return {L"设置没成功（自启动项写入失败）。", 1};
  if (switched_on)
    return {L"已开启开机自动启动：开机后只挂右下角悬浮球，点球打开主程序。", 0};
  return {L"已关闭开机自动启动。", 0};
}

ball_message linux_install_message(int ok) {
  if (!ok)
    return {L"安装没成功，请确认数据文件夹可以写入。", 1};
  return {L"已安装到电脑：\n应用列表里放好了图标，\n并已开启开机自动启动（开机只挂球）。", 0};
}
