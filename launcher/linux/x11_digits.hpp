// The badge's digits drawn with a real font through Xft: white on black into a 66x66 pixmap,
// read back as the scratch picture the core's paint() expects (only the red byte matters).
#pragma once
#include "core/ball_paint.hpp"

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

// Bold sans 16 pixels high, the nearest the desktop has to the Windows ball's "Segoe UI".
inline constexpr const char *kBadgeFont = "Segoe UI,DejaVu Sans,Liberation Sans,sans-serif:bold:pixelsize=16";

struct x11_digits {
  Display *dpy = nullptr;
  Pixmap pixmap = 0;
  GC gc = nullptr;
  XftDraw *draw = nullptr;
  XftFont *font = nullptr;
  XftColor white{};
  int ready = 0;
};

// Opens the font and the scratch pixmap on `dpy`'s default screen; 0 when any of it fails.
int x11_digits_open(x11_digits &d, Display *dpy);
void x11_digits_close(x11_digits &d);

// digit_raster_fn over an opened x11_digits (`ctx`).
int x11_raster_digits(void *ctx, const wchar_t *text, uint8_t *scratch);

// The value of the channel selected by `mask` scaled to 0..255, and the reverse.
unsigned channel_of(unsigned long pixel, unsigned long mask);
unsigned long pixel_of(unsigned r, unsigned g, unsigned b, const Visual *visual);
