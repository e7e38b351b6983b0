// The ball's picture, composed in software on a plain 66x66 buffer of 32-bit pixels (bytes blue,
// green, red, alpha; top-down; row stride 264). Geometry, coverage and blending use 32-bit floats
// and truncate towards zero, so every platform produces the same bytes.
#pragma once
#include <cstdint>

inline constexpr int kBallSize = 66;
inline constexpr int kBallBytes = kBallSize * kBallSize * 4; // 17424

// Fills `scratch` (kBallBytes, same layout as the ball buffer) with black and draws `text` on it in
// white: bold "Segoe UI" 16 px high (font height -16, weight 700), its cell's top-left corner at
// badge_text_origin() of the measured text. Only the red byte of the result is read. Returns 1 when
// the text was drawn, 0 when the platform could not (the number is then left out).
typedef int (*digit_raster_fn)(void *ctx, const wchar_t *text, uint8_t *scratch);

// Blends colour (r, g, b) with layer alpha `a` into pixel (x, y) of `bits`, straight alpha, "over".
// Alpha 0 and positions outside 0..65 change nothing.
void px_blend(uint8_t *bits, int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a);

// Coverage (0, 1/16, ..., 1) of the ellipse centred at (cx, cy) with radii rx, ry, by 4x4 sub-samples
// around (x, y).
float ell_cov(float cx, float cy, float rx, float ry, float x, float y);

// Coverage (0, 1/16, ..., 1) of the rounded rectangle by 4x4 sub-samples around (x, y).
float rr_cov(float x, float y, float left, float top, float right, float bottom, float radius);

// Colour of row y (0..65) of the ball's vertical gradient, before coverage.
void ball_row_colour(int y, uint8_t *r, uint8_t *g, uint8_t *b);

// Where the badge text's cell starts so that text measured cx by cy pixels is centred on (50, 16)
// and one pixel higher.
void badge_text_origin(int cx, int cy, int *x, int *y);

// Recomposes the whole picture in `bits` for the pending count: disc, sheet, lines and, for a count
// above 0, the badge with min(count, 99) in digits drawn through `raster` (may be null: no digits).
void paint(uint8_t *bits, int count, digit_raster_fn raster, void *ctx);

// Pixels of alpha 0 become 0x01FF96AF: blue 175, green 150, red 255, alpha 1.
void layer_alpha_fix(uint8_t *bits);

// Converts every pixel to premultiplied colour (channel * alpha / 255, truncated); alpha stays.
void layer_premultiply(uint8_t *bits);

// The pixel steps before the picture goes to the layered window: pixels of alpha 0 become
// 0x01FF96AF (alpha 1, so the whole square takes mouse input), then every pixel is converted to
// premultiplied colour. Only ever once after each paint(). A null buffer is left alone.
void update_layered_pixels(uint8_t *bits);
