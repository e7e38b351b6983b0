#include "x11_digits.hpp"

#include "core/utf8.hpp"

#include <cstring>
#include <string>

static int mask_shift(unsigned long mask) {
  int s = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++s;
  }
  return s;
}

unsigned channel_of(unsigned long pixel, unsigned long mask) {
  if (!mask)
    return 0;
  const unsigned long v = (pixel & mask) >> mask_shift(mask), max = mask >> mask_shift(mask);
  return static_cast<unsigned>(v * 255 / max);
}

static unsigned long scaled(unsigned v, unsigned long mask) {
  if (!mask)
    return 0;
  const unsigned long max = mask >> mask_shift(mask);
  return ((v * max + 127) / 255) << mask_shift(mask);
}

unsigned long pixel_of(unsigned r, unsigned g, unsigned b, const Visual *visual) {
  return scaled(r, visual->red_mask) | scaled(g, visual->green_mask) | scaled(b, visual->blue_mask);
}

int x11_digits_open(x11_digits &d, Display *dpy) {
  d = x11_digits{};
  d.dpy = dpy;
  const int screen = DefaultScreen(dpy);
  Visual *visual = DefaultVisual(dpy, screen);
  d.font = XftFontOpenName(dpy, screen, kBadgeFont);
  if (!d.font)
    return 0;
  d.pixmap = XCreatePixmap(dpy, RootWindow(dpy, screen), kBallSize, kBallSize,
                           static_cast<unsigned>(DefaultDepth(dpy, screen)));
  d.gc = XCreateGC(dpy, d.pixmap, 0, nullptr);
  d.draw = XftDrawCreate(dpy, d.pixmap, visual, DefaultColormap(dpy, screen));
  XRenderColor white{0xffff, 0xffff, 0xffff, 0xffff};
  if (!d.draw || !XftColorAllocValue(dpy, visual, DefaultColormap(dpy, screen), &white, &d.white)) {
    x11_digits_close(d);
    return 0;
  }
  d.ready = 1;
  return 1;
}

void x11_digits_close(x11_digits &d) {
  if (!d.dpy)
    return;
  const int screen = DefaultScreen(d.dpy);
  if (d.ready)
    XftColorFree(d.dpy, DefaultVisual(d.dpy, screen), DefaultColormap(d.dpy, screen), &d.white);
  if (d.draw)
    XftDrawDestroy(d.draw);
  if (d.gc)
    XFreeGC(d.dpy, d.gc);
  if (d.pixmap)
    XFreePixmap(d.dpy, d.pixmap);
  if (d.font)
    XftFontClose(d.dpy, d.font);
  d = x11_digits{};
}

int x11_raster_digits(void *ctx, const wchar_t *text, uint8_t *scratch) {
  auto *d = static_cast<x11_digits *>(ctx);
  if (!d || !d->ready)
    return 0;
  std::string utf8;
  utf8_append_lenient(text, utf8);
  const auto *bytes = reinterpret_cast<const FcChar8 *>(utf8.c_str());
  const int length = static_cast<int>(utf8.size());

  XSetForeground(d->dpy, d->gc, BlackPixel(d->dpy, DefaultScreen(d->dpy)));
  XFillRectangle(d->dpy, d->pixmap, d->gc, 0, 0, kBallSize, kBallSize);
  XGlyphInfo extent{};
  XftTextExtentsUtf8(d->dpy, d->font, bytes, length, &extent);
  // The text's cell is its advance wide and the font's line high, as GDI measures it.
  int x, y;
  badge_text_origin(extent.xOff, d->font->ascent + d->font->descent, &x, &y);
  XftDrawStringUtf8(d->draw, &d->white, d->font, x, y + d->font->ascent, bytes, length);

  XImage *image = XGetImage(d->dpy, d->pixmap, 0, 0, kBallSize, kBallSize, AllPlanes, ZPixmap);
  if (!image)
    return 0;
  // An image read from a pixmap carries no colour masks: they are the visual's.
  const Visual *visual = DefaultVisual(d->dpy, DefaultScreen(d->dpy));
  std::memset(scratch, 0, kBallBytes);
  const bool direct = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && image->bits_per_pixel == 32 &&
                      image->byte_order == LSBFirst;
  for (int row = 0; row < kBallSize; ++row)
    for (int col = 0; col < kBallSize; ++col) {
      uint32_t word = 0;
      if (direct)
        std::memcpy(&word, image->data + row * image->bytes_per_line + col * 4, 4);
      const unsigned long p = direct ? word : XGetPixel(image, col, row);
      uint8_t *out = scratch + (row * kBallSize + col) * 4;
      out[0] = static_cast<uint8_t>(channel_of(p, visual->blue_mask));
      out[1] = static_cast<uint8_t>(channel_of(p, visual->green_mask));
      out[2] = static_cast<uint8_t>(channel_of(p, visual->red_mask));
    }
  XDestroyImage(image);
  return 1;
}
