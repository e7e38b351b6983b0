// The floating ball on X11: a 66x66 window that stays above others, is left out of the task bar
// and pager and never takes the focus. It shows the core's picture (per-pixel alpha through a
// 32-bit visual where a compositor runs, a shaped window where none does), follows drags, opens
// or fronts the page on a click and carries the menu, drawn as a small pop-up of our own.
#include "shell.hpp"
#include "x11.hpp"
#include "x11_digits.hpp"

#include "core/ball_drag.hpp"
#include "core/ball_menu.hpp"
#include "core/ball_paint.hpp"
#include "core/desktop.hpp"
#include "core/texts.hpp"
#include "core/utf8.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <vector>

Display *g_dpy = nullptr;
static Window g_ball = 0;
static Visual *g_visual = nullptr;
static int g_depth = 0;
static int g_argb = 0; // 1: 32-bit visual under a compositor; 0: shaped window
static GC g_gc = nullptr;
static x11_digits g_digits;
static uint8_t g_bits[kBallBytes];
static int g_count = -1;
static ball_drag g_drag_state;
static click_memory g_clicks;
static int g_tick = -1;
static int g_exit = 0;

static const wchar_t kLogNoDisplay[] = L"[ball] 没有图形桌面（DISPLAY 未设置），只提供本地服务，不显示悬浮球";
static const wchar_t kLogDisplayFailed[] = L"[ball] 打不开图形桌面 %ls，只提供本地服务，不显示悬浮球";
static const wchar_t kLogBallFailed[] = L"[ball] 悬浮球窗口没建起来，只提供本地服务";

static Atom atom(const char *name) { return XInternAtom(g_dpy, name, False); }

// A vanished client or a refused request must not end the shell.
static int ignore_x_error(Display *, XErrorEvent *) { return 0; }

int desktop_open() {
  const char *name = std::getenv("DISPLAY");
  if (!name || !name[0]) {
    logf(kLogNoDisplay);
    return 0;
  }
  g_dpy = XOpenDisplay(nullptr);
  if (!g_dpy) {
    logf(kLogDisplayFailed, widen(name).c_str());
    return 0;
  }
  XSetErrorHandler(ignore_x_error);
  return 1;
}

int desktop_fd() { return g_dpy ? ConnectionNumber(g_dpy) : -1; }
int desktop_tick_fd() { return g_tick; }

// ---- picture ----

static void draw_ball() {
  paint(g_bits, g_count, x11_raster_digits, &g_digits);
  const int screen = DefaultScreen(g_dpy);
  if (g_argb) {
    update_layered_pixels(g_bits);
    XImage *image = XCreateImage(g_dpy, g_visual, 32, ZPixmap, 0, reinterpret_cast<char *>(g_bits), kBallSize,
                                 kBallSize, 32, kBallSize * 4);
    if (!image)
      return;
    image->byte_order = LSBFirst; // blue, green, red, alpha in memory; Xlib converts if the server differs
    XPutImage(g_dpy, g_ball, g_gc, image, 0, 0, 0, 0, kBallSize, kBallSize);
    image->data = nullptr;
    XDestroyImage(image);
    XFlush(g_dpy);
    return;
  }
  // Without a compositor the window is cut to the ball's opaque half: pixels of alpha 128 and
  // more show their colour, the rest of the square shows what lies below but still takes clicks.
  XImage *image = XCreateImage(g_dpy, g_visual, static_cast<unsigned>(g_depth), ZPixmap, 0, nullptr,
                               kBallSize, kBallSize, 32, 0);
  if (!image)
    return;
  image->data = static_cast<char *>(std::calloc(static_cast<size_t>(image->bytes_per_line), kBallSize));
  const int stride = (kBallSize + 7) / 8;
  unsigned char mask[kBallSize * stride] = {};
  for (int y = 0; y < kBallSize; ++y)
    for (int x = 0; x < kBallSize; ++x) {
      const uint8_t *p = g_bits + (y * kBallSize + x) * 4;
      if (!ball_shape_visible(p[3]))
        continue;
      mask[y * stride + x / 8] = static_cast<unsigned char>(mask[y * stride + x / 8] | (1u << (x % 8)));
      XPutPixel(image, x, y, pixel_of(p[2], p[1], p[0], g_visual));
    }
  Pixmap bitmap = XCreateBitmapFromData(g_dpy, g_ball, reinterpret_cast<char *>(mask), kBallSize, kBallSize);
  XShapeCombineMask(g_dpy, g_ball, ShapeBounding, 0, 0, bitmap, ShapeSet);
  XFreePixmap(g_dpy, bitmap);
  XRectangle all{0, 0, kBallSize, kBallSize};
  XShapeCombineRectangles(g_dpy, g_ball, ShapeInput, 0, 0, &all, 1, ShapeSet, Unsorted);
  XPutImage(g_dpy, g_ball, g_gc, image, 0, 0, 0, 0, kBallSize, kBallSize);
  XDestroyImage(image);
  (void)screen;
  XFlush(g_dpy);
}

static void refresh_count() {
  const int count = x11_pending_count();
  if (count == g_count)
    return; // an unchanged count costs no drawing
  g_count = count;
  draw_ball();
}

// ---- position ----

static void screen_size(int *w, int *h) {
  *w = DisplayWidth(g_dpy, DefaultScreen(g_dpy));
  *h = DisplayHeight(g_dpy, DefaultScreen(g_dpy));
}

static void start_position(int *left, int *top) {
  int w, h;
  screen_size(&w, &h);
  std::string path, data;
  if (app_file(path, kBallPosFileName) && read_file(path, 64, data))
    ballpos_start(data.data(), data.size(), w, h, left, top);
  else
    ballpos_start(nullptr, 0, w, h, left, top);
}

static void ball_origin(int *left, int *top) {
  Window child;
  XTranslateCoordinates(g_dpy, g_ball, DefaultRootWindow(g_dpy), 0, 0, left, top, &child);
}

static void save_position() {
  std::string path;
  if (app_file(path, kBallPosFileName)) {
    int left, top;
    ball_origin(&left, &top);
    char text[24];
    const int n = ballpos_format(left, top, text, sizeof text);
    replace_file(path, std::string(text, static_cast<size_t>(n)), 0644);
  }
  logf(kLogBallDragged);
}

// ---- window ----

static void set_atoms(const char *property, std::initializer_list<const char *> values) {
  std::vector<Atom> list;
  for (const char *v : values)
    list.push_back(atom(v));
  XChangeProperty(g_dpy, g_ball, atom(property), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(list.data()), static_cast<int>(list.size()));
}

static int compositor_running(int screen) {
  char name[32];
  std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", screen);
  return XGetSelectionOwner(g_dpy, atom(name)) != None;
}

int desktop_create_ball() {
  if (!g_dpy)
    return 0;
  const int screen = DefaultScreen(g_dpy);
  const Window root = RootWindow(g_dpy, screen);
  int left, top;
  start_position(&left, &top);

  XSetWindowAttributes attrs{};
  unsigned long mask = CWEventMask | CWBorderPixel | CWBackPixmap;
  attrs.event_mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | ExposureMask | LeaveWindowMask;
  attrs.background_pixmap = None;
  attrs.border_pixel = 0;
  XVisualInfo argb{};
  g_argb = compositor_running(screen) && XMatchVisualInfo(g_dpy, screen, 32, TrueColor, &argb);
  if (g_argb) {
    g_visual = argb.visual;
    g_depth = 32;
    attrs.colormap = XCreateColormap(g_dpy, root, g_visual, AllocNone);
    mask |= CWColormap;
  } else {
    g_visual = DefaultVisual(g_dpy, screen);
    g_depth = DefaultDepth(g_dpy, screen);
  }
  g_ball = XCreateWindow(g_dpy, root, left, top, kBallSize, kBallSize, 0, g_depth, InputOutput, g_visual,
                         mask, &attrs);
  if (!g_ball) {
    logf(kLogBallFailed);
    return 0;
  }
  g_gc = XCreateGC(g_dpy, g_ball, 0, nullptr);

  const std::string name = narrow(kBallName), cls = narrow(kBallClass);
  Xutf8SetWMProperties(g_dpy, g_ball, name.c_str(), name.c_str(), nullptr, 0, nullptr, nullptr, nullptr);
  XChangeProperty(g_dpy, g_ball, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(name.c_str()), static_cast<int>(name.size()));
  XClassHint class_hint{const_cast<char *>("vellora"), const_cast<char *>(cls.c_str())};
  XSetClassHint(g_dpy, g_ball, &class_hint);
  XWMHints wm{};
  wm.flags = InputHint | StateHint;
  wm.input = False; // clicking the ball leaves the focus where it is
  wm.initial_state = NormalState;
  XSetWMHints(g_dpy, g_ball, &wm);
  XSizeHints size{};
  size.flags = USPosition | PPosition | PMinSize | PMaxSize;
  size.x = left;
  size.y = top;
  size.min_width = size.max_width = kBallSize;
  size.min_height = size.max_height = kBallSize;
  XSetWMNormalHints(g_dpy, g_ball, &size);
  set_atoms("_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_UTILITY"});
  set_atoms("_NET_WM_STATE", {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                              "_NET_WM_STATE_STICKY"});
  const long motif[5] = {2, 0, 0, 0, 0}; // decorations: none
  XChangeProperty(g_dpy, g_ball, atom("_MOTIF_WM_HINTS"), atom("_MOTIF_WM_HINTS"), 32, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(motif), 5);
  const long user_time = 0; // not to be focused when it appears
  XChangeProperty(g_dpy, g_ball, atom("_NET_WM_USER_TIME"), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(&user_time), 1);
  const long pid = getpid();
  XChangeProperty(g_dpy, g_ball, atom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(&pid), 1);

  x11_digits_open(g_digits, g_dpy); // without the font the badge has no number
  g_count = x11_pending_count();
  draw_ball();
  XMapWindow(g_dpy, g_ball);
  XMoveWindow(g_dpy, g_ball, left, top); // some window managers place a new window their own way
  draw_ball();

  g_tick = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  itimerspec every{{3, 0}, {3, 0}};
  if (g_tick >= 0)
    timerfd_settime(g_tick, 0, &every, nullptr);
  XFlush(g_dpy);
  return 1;
}

// ---- pop-ups: the menu and the messages of its actions ----
//
// An override-redirect window in the page's pastel look that holds the pointer and keyboard
// until a choice is made: arrows, Home/End, Enter or Space choose, Escape or a click outside
// dismisses. Messages are the same pop-up with text rows and one "确定" row.

namespace {

struct popup_row {
  std::wstring text;
  int id; // > 0 an item, 0 a separator, -1 a line of text
};

constexpr int kRowHeight = 30, kSeparatorHeight = 9, kPadX = 16, kPadY = 6;

struct popup_fonts {
  XftFont *text = nullptr;                              // the desktop's sans-serif, Chinese preferred
  std::vector<std::pair<FcChar32, XftFont *>> fallback; // fonts found for characters it lacks
};

popup_fonts g_fonts;

void open_fonts() {
  if (!g_fonts.text)
    g_fonts.text = XftFontOpenName(g_dpy, DefaultScreen(g_dpy), "sans-serif:lang=zh-cn:pixelsize=14");
}

// The font that draws `c`: the menu's own, else one that fontconfig finds for that character.
XftFont *font_for(wchar_t c) {
  const FcChar32 ch = static_cast<FcChar32>(c);
  if (!g_fonts.text || XftCharExists(g_dpy, g_fonts.text, ch))
    return g_fonts.text;
  for (const auto &f : g_fonts.fallback)
    if (f.first == ch || XftCharExists(g_dpy, f.second, ch))
      return f.second;
  FcCharSet *set = FcCharSetCreate();
  FcCharSetAddChar(set, ch);
  FcPattern *want = FcPatternCreate();
  FcPatternAddCharSet(want, FC_CHARSET, set);
  FcPatternAddDouble(want, FC_PIXEL_SIZE, 14);
  FcPatternAddString(want, FC_FAMILY, reinterpret_cast<const FcChar8 *>("sans-serif"));
  FcCharSetDestroy(set);
  FcResult result;
  FcPattern *match = XftFontMatch(g_dpy, DefaultScreen(g_dpy), want, &result);
  FcPatternDestroy(want);
  XftFont *font = match ? XftFontOpenPattern(g_dpy, match) : nullptr; // takes the pattern
  if (!font) {
    if (match)
      FcPatternDestroy(match);
    font = g_fonts.text;
  }
  g_fonts.fallback.push_back({ch, font});
  return font;
}

// Draws (when `draw` is set) or measures `text` from x at baseline y, glyph by glyph in the font
// that has it; returns the advance.
int text_run(XftDraw *draw, XftColor *colour, int x, int y, const std::wstring &text) {
  int advance = 0;
  for (wchar_t c : text) {
    XftFont *f = font_for(c);
    if (!f)
      break;
    const FcChar32 ch = static_cast<FcChar32>(c);
    XGlyphInfo g{};
    XftTextExtents32(g_dpy, f, &ch, 1, &g);
    if (draw)
      XftDrawString32(draw, colour, f, x + advance, y, &ch, 1);
    advance += g.xOff;
  }
  return advance;
}

int row_height(const popup_row &r) { return r.id == 0 ? kSeparatorHeight : kRowHeight; }

struct popup {
  std::vector<popup_row> rows;
  Window win = 0;
  int w = 0, h = 0;
  int selected = -1;
  XftDraw *draw = nullptr;
};

XftColor colour(unsigned rgb) {
  XftColor c{};
  XRenderColor r{static_cast<unsigned short>(((rgb >> 16) & 255) * 257),
                 static_cast<unsigned short>(((rgb >> 8) & 255) * 257),
                 static_cast<unsigned short>((rgb & 255) * 257), 0xffff};
  const int screen = DefaultScreen(g_dpy);
  XftColorAllocValue(g_dpy, DefaultVisual(g_dpy, screen), DefaultColormap(g_dpy, screen), &r, &c);
  return c;
}

void paint_popup(popup &p) {
  const int screen = DefaultScreen(g_dpy);
  Visual *visual = DefaultVisual(g_dpy, screen);
  XftColor bg = colour(0xfff8f4), line = colour(0xffe6da), hover = colour(0xffe9ef), text = colour(0x6b5347),
           brand = colour(0xff8fa3), border = colour(0xff8fa3);
  XftDrawRect(p.draw, &border, 0, 0, static_cast<unsigned>(p.w), static_cast<unsigned>(p.h));
  XftDrawRect(p.draw, &bg, 1, 1, static_cast<unsigned>(p.w - 2), static_cast<unsigned>(p.h - 2));
  int y = kPadY;
  const int ascent = g_fonts.text ? g_fonts.text->ascent : 12;
  for (size_t i = 0; i < p.rows.size(); ++i) {
    const popup_row &r = p.rows[i];
    const int rh = row_height(r);
    if (r.id == 0) {
      XftDrawRect(p.draw, &line, kPadX / 2, y + rh / 2, static_cast<unsigned>(p.w - kPadX), 1);
    } else {
      if (static_cast<int>(i) == p.selected)
        XftDrawRect(p.draw, &hover, 2, y, static_cast<unsigned>(p.w - 4), static_cast<unsigned>(rh));
      XftColor *c = r.id > 0 && static_cast<int>(i) == p.selected ? &brand : &text;
      text_run(p.draw, c, kPadX, y + (rh - ascent) / 2 + ascent - 2, r.text);
    }
    y += rh;
  }
  for (XftColor *c : {&bg, &line, &hover, &text, &brand, &border})
    XftColorFree(g_dpy, visual, DefaultColormap(g_dpy, screen), c);
  XFlush(g_dpy);
}

int row_at(const popup &p, int y) {
  int top = kPadY;
  for (size_t i = 0; i < p.rows.size(); ++i) {
    const int rh = row_height(p.rows[i]);
    if (y >= top && y < top + rh)
      return p.rows[i].id > 0 ? static_cast<int>(i) : -1;
    top += rh;
  }
  return -1;
}

void step(popup &p, int dir) {
  const int n = static_cast<int>(p.rows.size());
  int i = p.selected;
  for (int k = 0; k < n; ++k) {
    i = i < 0 ? (dir > 0 ? 0 : n - 1) : (i + dir + n) % n;
    if (p.rows[static_cast<size_t>(i)].id > 0) {
      p.selected = i;
      return;
    }
  }
}

int grab(Window w) {
  for (int i = 0; i < 20; ++i) { // another client may still hold the pointer for a moment
    if (XGrabPointer(g_dpy, w, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                     GrabModeAsync, None, None, CurrentTime) == GrabSuccess) {
      XGrabKeyboard(g_dpy, w, False, GrabModeAsync, GrabModeAsync, CurrentTime);
      return 1;
    }
    usleep(10 * 1000);
  }
  return 0;
}

// Shows the rows at (x, y), kept on the screen, and returns the chosen item's id or 0.
int run_popup(std::vector<popup_row> rows, int x, int y, int preselect_last, const char *wm_class) {
  open_fonts();
  popup p;
  p.rows = std::move(rows);
  p.w = 160;
  p.h = 2 * kPadY;
  for (const popup_row &r : p.rows) {
    p.w = std::max(p.w, text_run(nullptr, nullptr, 0, 0, r.text) + 2 * kPadX);
    p.h += row_height(r);
  }
  int sw, sh;
  screen_size(&sw, &sh);
  x = std::max(0, std::min(x, sw - p.w));
  y = std::max(0, std::min(y, sh - p.h));
  const int screen = DefaultScreen(g_dpy);
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.save_under = True;
  a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask;
  p.win = XCreateWindow(g_dpy, RootWindow(g_dpy, screen), x, y, static_cast<unsigned>(p.w),
                        static_cast<unsigned>(p.h), 0, CopyFromParent, InputOutput, CopyFromParent,
                        CWOverrideRedirect | CWSaveUnder | CWEventMask, &a);
  XClassHint class_hint{const_cast<char *>("vellora"), const_cast<char *>(wm_class)};
  XSetClassHint(g_dpy, p.win, &class_hint);
  p.draw = XftDrawCreate(g_dpy, p.win, DefaultVisual(g_dpy, screen), DefaultColormap(g_dpy, screen));
  if (preselect_last)
    step(p, -1);
  XMapRaised(g_dpy, p.win);
  XSync(g_dpy, False);
  grab(p.win);
  paint_popup(p);

  int chosen = -1; // -1 while open
  while (chosen < 0) {
    XEvent e;
    XNextEvent(g_dpy, &e);
    if (e.xany.window != p.win && e.type != KeyPress)
      continue; // the ball's own events wait until the pop-up closes
    switch (e.type) {
    case Expose:
      if (e.xexpose.count == 0)
        paint_popup(p);
      break;
    case MotionNotify: {
      const int inside = e.xmotion.x >= 0 && e.xmotion.x < p.w;
      const int i = inside ? row_at(p, e.xmotion.y) : -1;
      if (i != p.selected && (i >= 0 || !preselect_last)) {
        p.selected = i;
        paint_popup(p);
      }
      break;
    }
    case ButtonPress:
      if (e.xbutton.x < 0 || e.xbutton.y < 0 || e.xbutton.x >= p.w || e.xbutton.y >= p.h)
        chosen = 0; // a click outside dismisses
      break;
    case ButtonRelease: {
      if (e.xbutton.x < 0 || e.xbutton.y < 0 || e.xbutton.x >= p.w || e.xbutton.y >= p.h)
        break;
      const int i = row_at(p, e.xbutton.y);
      if (i >= 0)
        chosen = p.rows[static_cast<size_t>(i)].id;
      break;
    }
    case KeyPress: {
      const KeySym k = XLookupKeysym(&e.xkey, 0);
      if (k == XK_Escape)
        chosen = 0;
      else if (k == XK_Down || k == XK_Tab)
        step(p, 1);
      else if (k == XK_Up || k == XK_ISO_Left_Tab)
        step(p, -1);
      else if (k == XK_Home) {
        p.selected = -1;
        step(p, 1);
      } else if (k == XK_End) {
        p.selected = -1;
        step(p, -1);
      } else if ((k == XK_Return || k == XK_KP_Enter || k == XK_space) && p.selected >= 0)
        chosen = p.rows[static_cast<size_t>(p.selected)].id;
      paint_popup(p);
      break;
    }
    default:
      break;
    }
  }
  XUngrabKeyboard(g_dpy, CurrentTime);
  XUngrabPointer(g_dpy, CurrentTime);
  XftDrawDestroy(p.draw);
  XDestroyWindow(g_dpy, p.win);
  XFlush(g_dpy);
  return chosen;
}

// The result of a menu action, beside the ball: "Vellora", the text's lines, and "确定".
void tell(ball_message m) {
  std::vector<popup_row> rows;
  rows.push_back({m.warning ? L"⚠ Vellora" : L"Vellora", -1});
  std::wstring text = m.text;
  for (size_t start = 0;;) {
    const size_t end = text.find(L'\n', start);
    rows.push_back({text.substr(start, end - start), -1});
    if (end == std::wstring::npos)
      break;
    start = end + 1;
  }
  rows.push_back({L"", 0});
  rows.push_back({L"确定", 1});
  int left, top;
  ball_origin(&left, &top);
  run_popup(rows, left - 200, top - 160, 1, "DoremkinMessage");
}

} // namespace

// ---- input ----

static void open_data_folder() {
  std::string dir;
  if (!ensure_app_dir(dir))
    return;
  const std::string opener = find_on_path("xdg-open");
  if (!opener.empty())
    spawn_detached({opener, dir}, dir); // nothing is shown when it fails
}

static void run_menu_command(int id) {
  switch (id) {
  case menu_open:
    logf(kLogBallMenuOpen);
    open_main();
    break;
  case menu_exit:
    logf(kLogBallMenuExit);
    g_exit = 1;
    break;
  case menu_data_folder:
    open_data_folder();
    break;
  case menu_autostart: {
    const int on = !autostart_get();
    const int ok = autostart_set(on);
    if (ok)
      logf(kLogBallMenuAutostart, on);
    tell(linux_autostart_toggle_message(on, ok));
    break;
  }
  case menu_install: {
    std::string path;
    const int ok = install_self(path);
    if (ok)
      logf(kLogBallMenuInstalled, widen(path).c_str());
    tell(linux_install_message(ok));
    break;
  }
  default:
    break;
  }
}

static void show_menu(int x, int y) {
  logf(kLogBallMenu);
  ball_menu_item items[kBallMenuItems];
  ball_menu_items(autostart_get(), items);
  std::vector<popup_row> rows;
  for (const ball_menu_item &item : items)
    rows.push_back({item.text ? item.text : L"", item.text ? item.id : 0});
  run_menu_command(run_popup(rows, x, y, 0, "DoremkinMenu"));
}

static void on_event(XEvent &e) {
  switch (e.type) {
  case Expose:
    if (e.xexpose.count == 0)
      draw_ball();
    break;
  case ButtonPress:
    if (e.xbutton.button == Button1) {
      if (press_is_double_click(g_clicks, e.xbutton.time, e.xbutton.x_root, e.xbutton.y_root)) {
        logf(kLogBallDoubleClick); // in place of a press: its release finds no press and does nothing
        open_main();
        break;
      }
      int left, top;
      ball_origin(&left, &top);
      drag_press(g_drag_state, left, top, e.xbutton.x_root, e.xbutton.y_root);
      XRaiseWindow(g_dpy, g_ball);
    } else if (e.xbutton.button == Button3) {
      forget_click(g_clicks);
    }
    break;
  case MotionNotify: {
    while (XCheckTypedWindowEvent(g_dpy, g_ball, MotionNotify, &e)) {
    } // only the latest position matters
    int left, top;
    if (drag_move(g_drag_state, e.xmotion.x_root, e.xmotion.y_root, &left, &top))
      XMoveWindow(g_dpy, g_ball, left, top);
    break;
  }
  case ButtonRelease:
    if (e.xbutton.button == Button1) {
      const int down_x = g_drag_state.down_x, down_y = g_drag_state.down_y;
      const drag_end end = drag_release(g_drag_state);
      if (end == drag_end_moved) {
        forget_click(g_clicks);
        XSync(g_dpy, False); // the window manager has placed the ball where it was dragged
        save_position();
      } else if (end == drag_end_click) {
        remember_click(g_clicks, e.xbutton.time, down_x, down_y);
        logf(kLogBallClick);
        open_main();
      }
    } else if (e.xbutton.button == Button3) {
      show_menu(e.xbutton.x_root, e.xbutton.y_root);
    }
    break;
  case LeaveNotify:
    if (e.xcrossing.mode == NotifyGrab) // another client took the pointer: the gesture is over
      drag_cancel(g_drag_state);
    break;
  default:
    break;
  }
}

int desktop_dispatch() {
  if (!g_dpy)
    return 0;
  if (g_tick >= 0) {
    uint64_t ticks = 0;
    if (read(g_tick, &ticks, sizeof ticks) == static_cast<ssize_t>(sizeof ticks) && g_ball)
      refresh_count();
  }
  while (XPending(g_dpy) && !g_exit) {
    XEvent e;
    XNextEvent(g_dpy, &e);
    if (g_ball && e.xany.window == g_ball)
      on_event(e);
  }
  return g_exit;
}
