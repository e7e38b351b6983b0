// The floating ball: the shell's only window. It shows the pending count, opens the page when
// clicked, follows drags, and carries the menu; its window procedure also takes the shell's own
// messages (hand-over, exit, the start-up watchdog).
#include "shell.hpp"

#include "core/ball_drag.hpp"
#include "core/ball_menu.hpp"
#include "core/ball_paint.hpp"
#include "core/texts.hpp"

#include <shellapi.h>

#include <cstdio>
#include <cstring>

HWND g_hwnd = nullptr;
static HBITMAP g_bmp = nullptr;
static HDC g_mdc = nullptr;
static uint8_t *g_bits = nullptr;
static int g_count = -1;
static ball_drag g_drag_state;

// ---- picture ----

static HBITMAP create_top_down_dib(HDC dc, void **bits) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = kBallSize;
  bmi.bmiHeader.biHeight = -kBallSize;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, bits, nullptr, 0);
}

// Draws the badge number with the system's text output into `scratch`, white on black.
static int raster_digits(void *, const wchar_t *text, uint8_t *scratch) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  if (!dc)
    return 0;
  void *bits = nullptr;
  HBITMAP bmp = create_top_down_dib(dc, &bits);
  if (!bmp || !bits) {
    if (bmp)
      DeleteObject(bmp);
    DeleteDC(dc);
    return 0;
  }
  HGDIOBJ old_bmp = SelectObject(dc, bmp);
  RECT all{0, 0, kBallSize, kBallSize};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  HFONT font = CreateFontW(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
  HGDIOBJ old_font = SelectObject(dc, font);
  const int length = lstrlenW(text);
  SIZE extent{};
  GetTextExtentPoint32W(dc, text, length, &extent);
  int x, y;
  badge_text_origin(extent.cx, extent.cy, &x, &y);
  TextOutW(dc, x, y, text, length);
  SelectObject(dc, old_font);
  DeleteObject(font);
  GdiFlush();
  std::memcpy(scratch, bits, kBallBytes);
  SelectObject(dc, old_bmp);
  DeleteObject(bmp);
  DeleteDC(dc);
  return 1;
}

static void draw_ball() {
  paint(g_bits, g_count, raster_digits, nullptr);
  update_layered_pixels(g_bits);
  SIZE size{kBallSize, kBallSize};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(g_hwnd, nullptr, nullptr, &size, g_mdc, &source, 0, &blend, ULW_ALPHA);
}

static void refresh_count() {
  int count = read_pending_count();
  if (count == g_count)
    return; // an unchanged count costs no drawing
  g_count = count;
  draw_ball();
}

// ---- position ----

static void start_position(int *left, int *top) {
  const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
  wchar_t path[kPathChars];
  FILE *f = app_file(path, kBallPosFileName) ? _wfopen(path, L"rb") : nullptr;
  if (!f) {
    ballpos_start(nullptr, 0, screen_w, screen_h, left, top);
    return;
  }
  char data[64];
  size_t n = std::fread(data, 1, sizeof data, f);
  std::fclose(f);
  ballpos_start(data, n, screen_w, screen_h, left, top);
}

static void save_position(HWND hwnd) {
  wchar_t path[kPathChars];
  if (app_file(path, kBallPosFileName)) {
    RECT r;
    GetWindowRect(hwnd, &r);
    char text[24];
    int n = ballpos_format(r.left, r.top, text, sizeof text);
    if (FILE *f = _wfopen(path, L"wb")) {
      std::fwrite(text, 1, static_cast<size_t>(n), f);
      std::fclose(f);
    }
  }
  logf(kLogBallDragged);
}

// ---- input ----

static void on_press(HWND hwnd) {
  RECT r;
  POINT cursor;
  GetWindowRect(hwnd, &r);
  GetCursorPos(&cursor);
  drag_press(g_drag_state, r.left, r.top, cursor.x, cursor.y);
  SetCapture(hwnd);
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
}

static void on_move(HWND hwnd) {
  POINT cursor;
  GetCursorPos(&cursor); // the message's coordinates move with the window being dragged
  int left, top;
  if (drag_move(g_drag_state, cursor.x, cursor.y, &left, &top))
    MoveWindow(hwnd, left, top, kBallSize, kBallSize, TRUE);
}

static void on_release(HWND hwnd) {
  drag_end end = drag_release(g_drag_state);
  if (end == drag_end_none)
    return;
  ReleaseCapture();
  if (end == drag_end_moved) {
    save_position(hwnd);
  } else {
    logf(kLogBallClick);
    open_main();
  }
}

static void message_box(HWND owner, ball_message message) {
  MessageBoxW(owner, message.text, kProductName,
              MB_OK | (message.warning ? MB_ICONWARNING : MB_ICONINFORMATION));
}

static void open_data_folder() {
  wchar_t dir[kPathChars];
  if (ensure_app_dir(dir))
    ShellExecuteW(nullptr, L"open", dir, nullptr, nullptr, SW_SHOWNORMAL);
}

static void run_menu_command(HWND hwnd, int id) {
  switch (id) {
  case menu_open:
    logf(kLogBallMenuOpen);
    open_main();
    break;
  case menu_exit:
    logf(kLogBallMenuExit);
    DestroyWindow(hwnd);
    break;
  case menu_data_folder:
    open_data_folder();
    break;
  case menu_autostart: {
    const int on = !autostart_get();
    const int ok = autostart_set(on);
    if (ok)
      logf(kLogBallMenuAutostart, on);
    message_box(hwnd, autostart_toggle_message(on, ok));
    break;
  }
  case menu_install: {
    wchar_t path[kPathChars];
    const int ok = install_self(path);
    if (ok)
      logf(kLogBallMenuInstalled, path);
    message_box(hwnd, install_message(ok));
    break;
  }
  default:
    break;
  }
}

static void show_menu(HWND hwnd) {
  POINT cursor;
  GetCursorPos(&cursor);
  logf(kLogBallMenu);
  // A window that never activates cannot keep a menu open: drop the style while it shows.
  const LONG ex_style = GetWindowLongW(hwnd, GWL_EXSTYLE);
  SetWindowLongW(hwnd, GWL_EXSTYLE, ex_style & ~WS_EX_NOACTIVATE);
  SetForegroundWindow(hwnd);

  ball_menu_item items[kBallMenuItems];
  ball_menu_items(autostart_get(), items);
  HMENU menu = CreatePopupMenu();
  for (const ball_menu_item &item : items) {
    if (item.text)
      AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.id), item.text);
    else
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  }
  const int id = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                                 cursor.x, cursor.y, 0, hwnd, nullptr));
  DestroyMenu(menu);
  PostMessageW(hwnd, WM_NULL, 0, 0);
  SetWindowLongW(hwnd, GWL_EXSTYLE, ex_style);
  run_menu_command(hwnd, id);
}

static void shut_down() {
  g_http_on = 0;
  close_listener(); // ends the server thread's blocking accept
  PostQuitMessage(0);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
  case WM_DESTROY:
    shut_down();
    return 0;
  case WM_CANCELMODE:
    drag_cancel(g_drag_state);
    return 0;
  case WM_NCHITTEST:
    return HTCLIENT;
  case WM_COMMAND:
    if (LOWORD(wparam) == menu_open)
      open_main();
    else if (LOWORD(wparam) == menu_exit)
      DestroyWindow(hwnd);
    return 0;
  case WM_TIMER:
    if (wparam == 1)
      refresh_count();
    else if (wparam == 2)
      run_watchdog(hwnd);
    return 0;
  case WM_MOUSEMOVE:
    on_move(hwnd);
    return 0;
  case WM_LBUTTONDOWN:
    on_press(hwnd);
    return 0;
  case WM_LBUTTONUP:
    on_release(hwnd);
    return 0;
  case WM_LBUTTONDBLCLK:
    logf(kLogBallDoubleClick);
    open_main();
    return 0;
  case WM_RBUTTONDOWN:
    return 0;
  case WM_RBUTTONUP:
    show_menu(hwnd);
    return 0;
  case WM_OPEN_MAIN:
    open_main();
    return 0;
  default:
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

int create_ball(HINSTANCE instance, bool ball_only) {
  int left, top;
  start_position(&left, &top);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kBallClass;
  RegisterClassExW(&wc);

  g_hwnd = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kBallClass,
                           kBallName, WS_POPUP, left, top, kBallSize, kBallSize, nullptr, nullptr, instance,
                           nullptr);
  if (!g_hwnd)
    return 0;

  HDC screen = GetDC(nullptr);
  void *bits = nullptr;
  g_bmp = create_top_down_dib(screen, &bits);
  ReleaseDC(nullptr, screen);
  if (!g_bmp || !bits)
    return 0;
  g_bits = static_cast<uint8_t *>(bits);
  g_mdc = CreateCompatibleDC(nullptr);
  SelectObject(g_mdc, g_bmp);

  g_count = read_pending_count();
  draw_ball();
  ShowWindow(g_hwnd, SW_SHOW);

  SetTimer(g_hwnd, 1, 3000, nullptr);
  if (!ball_only)
    SetTimer(g_hwnd, 2, 5000, nullptr);
  return 1;
}
