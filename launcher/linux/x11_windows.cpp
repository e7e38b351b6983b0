// The page's window on an EWMH desktop: the clients on _NET_CLIENT_LIST_STACKING (top-most
// first) or _NET_CLIENT_LIST, their UTF-8 titles (_NET_WM_NAME, else WM_NAME), and activation
// through _NET_ACTIVE_WINDOW.
#include "x11.hpp"

#include "core/desktop.hpp"
#include "core/title.hpp"
#include "core/utf8.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <vector>

static Atom atom(const char *name) { return XInternAtom(g_dpy, name, False); }

static std::vector<Window> clients_top_down() {
  std::vector<Window> out;
  const Window root = DefaultRootWindow(g_dpy);
  for (const char *name : {"_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST"}) {
    Atom type;
    int format;
    unsigned long n = 0, after;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(g_dpy, root, atom(name), 0, 4096, False, XA_WINDOW, &type, &format, &n, &after,
                           &data) == Success &&
        data && format == 32) {
      const auto *ids = reinterpret_cast<const unsigned long *>(data);
      for (unsigned long i = 0; i < n; ++i)
        out.push_back(ids[i]);
    }
    if (data)
      XFree(data);
    if (!out.empty()) {
      if (name[16] == 'S') // the stacking list runs bottom to top
        out.assign(out.rbegin(), out.rend());
      break;
    }
  }
  return out;
}

static bool title_of(Window w, std::wstring &title) {
  Atom type;
  int format;
  unsigned long n = 0, after;
  unsigned char *data = nullptr;
  std::string utf8;
  if (XGetWindowProperty(g_dpy, w, atom("_NET_WM_NAME"), 0, 1024, False, atom("UTF8_STRING"), &type, &format,
                         &n, &after, &data) == Success &&
      data && format == 8)
    utf8.assign(reinterpret_cast<const char *>(data), n);
  if (data)
    XFree(data);
  if (utf8.empty()) {
    XTextProperty prop{};
    if (XGetWMName(g_dpy, w, &prop) && prop.value) {
      char **list = nullptr;
      int count = 0;
      if (Xutf8TextPropertyToTextList(g_dpy, &prop, &list, &count) >= Success && list && count > 0)
        utf8 = list[0];
      if (list)
        XFreeStringList(list);
      XFree(prop.value);
    }
  }
  if (utf8.empty())
    return false;
  title = utf8_widen_lenient(utf8);
  return true;
}

// Client windows and their titles, top-most first (an empty title where none could be read).
static void scan(std::vector<Window> &windows, std::vector<std::wstring> &titles) {
  windows = clients_top_down();
  titles.assign(windows.size(), std::wstring());
  for (size_t i = 0; i < windows.size(); ++i)
    title_of(windows[i], titles[i]);
}

static int pick(const std::vector<std::wstring> &titles, int *count) {
  std::vector<const wchar_t *> list;
  for (const std::wstring &t : titles)
    list.push_back(t.empty() ? nullptr : t.c_str());
  const int n = static_cast<int>(list.size());
  if (count)
    *count = pending_count_of(list.data(), n);
  return main_window_index(list.data(), n);
}

Window x11_main_window() {
  if (!g_dpy)
    return 0;
  std::vector<Window> windows;
  std::vector<std::wstring> titles;
  scan(windows, titles);
  const int i = pick(titles, nullptr);
  return i < 0 ? 0 : windows[static_cast<size_t>(i)];
}

int x11_pending_count() {
  if (!g_dpy)
    return -1;
  std::vector<Window> windows;
  std::vector<std::wstring> titles;
  scan(windows, titles);
  int count = -1;
  pick(titles, &count);
  return count;
}

void x11_activate(Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
  e.xclient.format = 32;
  e.xclient.data.l[0] = 2; // as a pager would: the user asked for it, so no focus-stealing rules apply
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(g_dpy, DefaultRootWindow(g_dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XFlush(g_dpy);
}
