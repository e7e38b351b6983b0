#include "core/ball_paint.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

// Sub-sample offsets on each axis: (k + 0.5) * 0.25 - 0.5 for k = 0..3.
constexpr float kSub[4] = {-0.375f, -0.125f, 0.125f, 0.375f};
constexpr float kOutside = std::numeric_limits<float>::infinity();

// b / 255 for every byte, folded by the compiler: the same correctly rounded quotients as dividing at
// run time, without the divisions.
constexpr std::array<float, 256> kByteFraction = [] {
  std::array<float, 256> t{};
  for (int i = 0; i < 256; ++i)
    t[i] = static_cast<float>(i) / 255.0f;
  return t;
}();

struct rgb {
  uint8_t r, g, b;
};

constexpr rgb kTop = {255, 175, 193};
constexpr rgb kMiddle = {255, 122, 150};
constexpr rgb kBottom = {255, 182, 142};
constexpr rgb kWhite = {255, 255, 255};
constexpr rgb kLine = {255, 138, 165};
constexpr rgb kDigit = {255, 105, 138};

// Both shapes are tested per sub-sample as (x term) + (y term) <= limit, and each term depends on
// one axis only. The terms of the four sub-samples of an axis are computed here once, so a lattice
// walk computes each column's and each row's terms once instead of at every point.
void ell_axis(float v, float centre, float radius, float out[4]) {
  for (int k = 0; k < 4; ++k) {
    const float d = (v + kSub[k] - centre) / radius;
    out[k] = d * d;
  }
}

// Squared distance of each sub-sample to the rectangle shrunk by the radius (the lower bound wins
// when that is empty); a sub-sample outside [lo, hi] can never be inside.
void rr_axis(float v, float lo, float hi, float radius, float out[4]) {
  for (int k = 0; k < 4; ++k) {
    const float s = v + kSub[k];
    if (s < lo || s > hi) {
      out[k] = kOutside;
      continue;
    }
    const float q = lo + radius > s ? lo + radius : std::min(hi - radius, s);
    out[k] = (s - q) * (s - q);
  }
}

float coverage(const float tx[4], const float ty[4], float limit) {
  int inside = 0;
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i)
      inside += tx[i] + ty[j] <= limit;
  return static_cast<float>(inside) * 0.0625f;
}

// Number of lattice points start, start + 1, ... that stay at or below `limit`.
int lattice_count(float start, float limit) {
  int n = 0;
  while (start + static_cast<float>(n) <= limit)
    ++n;
  return n;
}

// One shape's lattice: nx columns from x0 and ny rows from y0, in unit steps, with the terms of
// each column and row. Every point with coverage blends the colour (per row when `rows` is given)
// into the pixel it truncates to, with alpha trunc(coverage * peak).
// Float addition rounds monotonically, so when the largest x term plus the largest y term is within
// the limit all 16 sub-samples are, and when the smallest sum is not, none is: most points of a
// shape need only these two comparisons.
struct lattice {
  static constexpr int kMax = kBallSize;
  float x0 = 0, y0 = 0;
  int nx = 0, ny = 0;
  float tx[kMax][4], ty[kMax][4];
  float x_min[kMax], x_max[kMax], y_min[kMax], y_max[kMax];

  void bounds() {
    for (int i = 0; i < nx; ++i) {
      x_min[i] = *std::min_element(tx[i], tx[i] + 4);
      x_max[i] = *std::max_element(tx[i], tx[i] + 4);
    }
    for (int j = 0; j < ny; ++j) {
      y_min[j] = *std::min_element(ty[j], ty[j] + 4);
      y_max[j] = *std::max_element(ty[j], ty[j] + 4);
    }
  }

  float cov(int i, int j, float limit) const {
    if (x_max[i] + y_max[j] <= limit)
      return 1.0f;
    if (x_min[i] + y_min[j] > limit)
      return 0.0f;
    return coverage(tx[i], ty[j], limit);
  }
};

void draw(uint8_t *bits, lattice &l, float limit, rgb colour, const rgb *rows, float peak) {
  l.bounds();
  for (int j = 0; j < l.ny; ++j) {
    const float y = l.y0 + static_cast<float>(j);
    const rgb c = rows ? rows[j] : colour;
    for (int i = 0; i < l.nx; ++i) {
      const float cov = l.cov(i, j, limit);
      if (cov > 0.0f)
        px_blend(bits, static_cast<int>(l.x0 + static_cast<float>(i)), static_cast<int>(y), c.r, c.g, c.b,
                 static_cast<uint8_t>(cov * peak));
    }
  }
}

void draw_ellipse(uint8_t *bits, float cx, float cy, float r, float x0, float y0, int n, rgb colour,
                  const rgb *rows) {
  lattice l;
  l.x0 = x0, l.y0 = y0, l.nx = n, l.ny = n;
  for (int i = 0; i < n; ++i) {
    ell_axis(x0 + static_cast<float>(i), cx, r, l.tx[i]);
    ell_axis(y0 + static_cast<float>(i), cy, r, l.ty[i]);
  }
  draw(bits, l, 1.0f, colour, rows, 255.0f);
}

void draw_rounded_rect(uint8_t *bits, float x0, float y0, float x_limit, float y_limit, float left, float top,
                       float right, float bottom, float radius, rgb colour, float peak) {
  lattice l;
  l.x0 = x0, l.y0 = y0;
  l.nx = lattice_count(x0, x_limit);
  l.ny = lattice_count(y0, y_limit);
  for (int i = 0; i < l.nx; ++i)
    rr_axis(x0 + static_cast<float>(i), left, right, radius, l.tx[i]);
  for (int j = 0; j < l.ny; ++j)
    rr_axis(y0 + static_cast<float>(j), top, bottom, radius, l.ty[j]);
  draw(bits, l, radius * radius, colour, nullptr, peak);
}

uint8_t lerp_channel(uint8_t from, uint8_t to, float u) {
  return static_cast<uint8_t>((static_cast<float>(to) - static_cast<float>(from)) * u +
                              static_cast<float>(from));
}

} // namespace

void px_blend(uint8_t *bits, int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  if (a == 0 || x < 0 || y < 0 || x >= kBallSize || y >= kBallSize)
    return;
  uint8_t *p = bits + (y * kBallSize + x) * 4;
  if (a == 255) { // h = 1, k = 0, m = 1: exactly the new colour, opaque
    p[0] = b, p[1] = g, p[2] = r, p[3] = 255;
    return;
  }
  const float h = kByteFraction[a];
  const float k = 1.0f - h;
  const float o = kByteFraction[p[3]];
  const float m = k * o + h;
  const uint8_t colour[3] = {b, g, r};
  for (int i = 0; i < 3; ++i)
    p[i] = static_cast<uint8_t>((static_cast<float>(p[i]) * o * k + static_cast<float>(colour[i]) * h) / m);
  p[3] = static_cast<uint8_t>(m * 255.0f);
}

float ell_cov(float cx, float cy, float rx, float ry, float x, float y) {
  float tx[4], ty[4];
  ell_axis(x, cx, rx, tx);
  ell_axis(y, cy, ry, ty);
  return coverage(tx, ty, 1.0f);
}

float rr_cov(float x, float y, float left, float top, float right, float bottom, float radius) {
  float tx[4], ty[4];
  rr_axis(x, left, right, radius, tx);
  rr_axis(y, top, bottom, radius, ty);
  return coverage(tx, ty, radius * radius);
}

void ball_row_colour(int y, uint8_t *r, uint8_t *g, uint8_t *b) {
  const float t = (static_cast<float>(y) + 0.5f) / 66.0f;
  rgb from = kTop, to = kMiddle;
  float u = 2.0f * t;
  if (!(t < 0.5f)) {
    from = kMiddle;
    to = kBottom;
    u = 2.0f * (t - 0.5f);
  }
  *r = lerp_channel(from.r, to.r, u);
  *g = lerp_channel(from.g, to.g, u);
  *b = lerp_channel(from.b, to.b, u);
}

void badge_text_origin(int cx, int cy, int *x, int *y) {
  *x = static_cast<int>(50.0f - static_cast<float>(cx) * 0.5f);
  *y = static_cast<int>(16.0f - static_cast<float>(cy) * 0.5f) - 1;
}

void paint(uint8_t *bits, int count, digit_raster_fn raster, void *ctx) {
  std::memset(bits, 0, kBallBytes);

  // Disc with the three-colour gradient, on the integer lattice.
  rgb rows[kBallSize];
  for (int y = 0; y < kBallSize; ++y)
    ball_row_colour(y, &rows[y].r, &rows[y].g, &rows[y].b);
  draw_ellipse(bits, 33.0f, 33.0f, 29.5f, 0.0f, 0.0f, kBallSize, kWhite, rows);

  // Sheet: its lattice runs from one unit before the corner to one unit past the far edges.
  draw_rounded_rect(bits, 19.46f, 17.48f, 45.54f + 1.0f, 48.84f + 1.0f, 20.46f, 18.48f, 45.54f, 48.84f, 4.0f,
                    kWhite, 255.0f);

  // Lines: lattices start at their own edges; the third line is 60 % as long.
  struct line {
    float top, right;
  };
  const line lines[3] = {{25.48f, 40.54f}, {33.48f, 40.54f}, {41.48f, 25.46f + 0.6f * 15.08f}};
  for (const line &l : lines)
    draw_rounded_rect(bits, 25.46f, l.top, l.right, l.top + 3.0f, 25.46f, l.top, l.right, l.top + 3.0f, 1.5f,
                      kLine, 230.0f);

  if (count <= 0)
    return;

  // Badge disc, centre minus radius to centre plus radius; it overhangs the main disc.
  draw_ellipse(bits, 50.0f, 16.0f, 12.5f, 37.5f, 3.5f, 26, kWhite, nullptr);

  // Number: hard-edged pink wherever the rasterised text is bright.
  if (!raster)
    return;
  const int shown = std::min(count, 99);
  wchar_t text[3] = {};
  if (shown >= 10) {
    text[0] = static_cast<wchar_t>(L'0' + shown / 10);
    text[1] = static_cast<wchar_t>(L'0' + shown % 10);
  } else {
    text[0] = static_cast<wchar_t>(L'0' + shown);
  }
  uint8_t scratch[kBallBytes] = {};
  if (!raster(ctx, text, scratch))
    return;
  for (int y = 0; y < kBallSize; ++y)
    for (int x = 0; x < kBallSize; ++x)
      if (scratch[(y * kBallSize + x) * 4 + 2] > 130)
        px_blend(bits, x, y, kDigit.r, kDigit.g, kDigit.b, 255);
}

void layer_alpha_fix(uint8_t *bits) {
  for (int i = 0; i < kBallBytes; i += 4) {
    uint8_t *p = bits + i;
    if (p[3] == 0) {
      p[0] = 0xAF; // blue 175
      p[1] = 0x96; // green 150
      p[2] = 0xFF; // red 255
      p[3] = 0x01;
    }
  }
}

void layer_premultiply(uint8_t *bits) {
  for (int i = 0; i < kBallBytes; i += 4) {
    uint8_t *p = bits + i;
    for (int c = 0; c < 3; ++c)
      p[c] = static_cast<uint8_t>(p[c] * p[3] / 255);
  }
}

void update_layered_pixels(uint8_t *bits) {
  if (!bits)
    return;
  layer_alpha_fix(bits);
  layer_premultiply(bits);
}
