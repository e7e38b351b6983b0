// The floating ball: the shell's only window, and the owner of its timers and messages.
#include "shell.hpp"

#include "core/texts.hpp"

HWND g_hwnd = nullptr;
static HBITMAP g_bmp = nullptr;
static HDC g_mdc = nullptr;
static unsigned char *g_bits = nullptr;

static constexpr int kBallSize = 66;

// Plain picture until the real rendering lands: a pink disc, opaque inside, premultiplied.
static void paint_plain() {
  const float c = kBallSize / 2.0f;
  for (int y = 0; y < kBallSize; ++y)
    for (int x = 0; x < kBallSize; ++x) {
      unsigned char *px = g_bits + (y * kBallSize + x) * 4;
      float dx = static_cast<float>(x) + 0.5f - c, dy = static_cast<float>(y) + 0.5f - c;
      bool inside = dx * dx + dy * dy <= 31.0f * 31.0f;
      px[0] = inside ? 149 : 1;
      px[1] = inside ? 122 : 1;
      px[2] = inside ? 255 : 1;
      px[3] = inside ? 255 : 1;
    }
}

static void update_layered() {
  SIZE size{kBallSize, kBallSize};
  POINT src{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(g_hwnd, nullptr, nullptr, &size, g_mdc, &src, 0, &blend, ULW_ALPHA);
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
    return 0;
  case WM_NCHITTEST:
    return HTCLIENT;
  case WM_COMMAND:
    if (LOWORD(wparam) == 1)
      open_main();
    else if (LOWORD(wparam) == 2)
      DestroyWindow(hwnd);
    return 0;
  case WM_TIMER:
    if (wparam == 2)
      KillTimer(hwnd, 2);
    return 0;
  case WM_RBUTTONDOWN:
    return 0;
  case WM_OPEN_MAIN:
    open_main();
    return 0;
  default:
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

int create_ball(HINSTANCE instance, bool ball_only) {
  int left = GetSystemMetrics(SM_CXSCREEN) - 100;
  int top = GetSystemMetrics(SM_CYSCREEN) - 126;

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

  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = kBallSize;
  bmi.bmiHeader.biHeight = -kBallSize; // top-down
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  void *bits = nullptr;
  g_bmp = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!g_bmp || !bits)
    return 0;
  g_bits = static_cast<unsigned char *>(bits);
  g_mdc = CreateCompatibleDC(nullptr);
  SelectObject(g_mdc, g_bmp);

  paint_plain();
  update_layered();
  ShowWindow(g_hwnd, SW_SHOW);

  SetTimer(g_hwnd, 1, 3000, nullptr);
  if (!ball_only)
    SetTimer(g_hwnd, 2, 5000, nullptr);
  return 1;
}
