#include "core/ball_paint.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct px {
  int r, g, b, a;
  bool operator==(const px &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
  bool operator!=(const px &o) const { return !(*this == o); }
};

std::ostream &operator<<(std::ostream &os, const px &p) {
  return os << "(" << p.r << "," << p.g << "," << p.b << " a" << p.a << ")";
}

px at(const std::vector<uint8_t> &bits, int x, int y) {
  const uint8_t *p = bits.data() + (y * kBallSize + x) * 4;
  return {p[2], p[1], p[0], p[3]};
}

void set(std::vector<uint8_t> &bits, int x, int y, px v) {
  uint8_t *p = bits.data() + (y * kBallSize + x) * 4;
  p[0] = static_cast<uint8_t>(v.b);
  p[1] = static_cast<uint8_t>(v.g);
  p[2] = static_cast<uint8_t>(v.r);
  p[3] = static_cast<uint8_t>(v.a);
}

// Stands in for the platform's text output: records the text and draws a fixed pattern into the
// scratch bitmap, with red bytes on both sides of the 130 threshold.
struct fake_raster {
  std::vector<std::wstring> texts;
  int result = 1;

  static int draw(void *ctx, const wchar_t *text, uint8_t *scratch) {
    auto *self = static_cast<fake_raster *>(ctx);
    self->texts.push_back(text);
    auto put = [scratch](int x, int y, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
      uint8_t *p = scratch + (y * kBallSize + x) * 4;
      p[0] = b, p[1] = g, p[2] = r, p[3] = a;
    };
    put(48, 14, 255, 255, 255, 0); // full white glyph pixel
    put(49, 14, 0, 0, 131, 0);     // just above the threshold, green and blue dark
    put(50, 14, 255, 255, 130, 0); // at the threshold: not copied even though green and blue are bright
    put(30, 40, 0, 0, 200, 0);     // outside the badge: still copied
    return self->result;
  }
};

std::vector<uint8_t> painted(int count, fake_raster *raster = nullptr) {
  std::vector<uint8_t> bits(kBallBytes, 0xCD); // paint must clear whatever was there
  paint(bits.data(), count, raster ? &fake_raster::draw : nullptr, raster);
  return bits;
}

const px kWhite{255, 255, 255, 255};
const px kPink{255, 105, 138, 255};

TEST(BallPaint, PixelsWithBadge) {
  fake_raster raster;
  const auto bits = painted(5, &raster);
  EXPECT_EQ(at(bits, 4, 33), (px{255, 122, 149, 255})); // row 33's colour at full coverage
  EXPECT_EQ(at(bits, 3, 33).a, 0);                      // outside the disc
  EXPECT_EQ(at(bits, 33, 4), (px{255, 167, 187, 255}));
  EXPECT_EQ(at(bits, 22, 22), kWhite);                   // sheet
  EXPECT_EQ(at(bits, 30, 26), (px{255, 149, 173, 255})); // line 1 over the sheet
  EXPECT_EQ(at(bits, 62, 16), (px{255, 255, 255, 127})); // badge overhang on transparent pixels
  EXPECT_EQ(at(bits, 0, 0), (px{0, 0, 0, 0}));
}

TEST(BallPaint, NoBadgeForZeroOrNoWindow) {
  for (int count : {0, -1}) {
    fake_raster raster;
    const auto bits = painted(count, &raster);
    EXPECT_EQ(at(bits, 62, 16), (px{0, 0, 0, 0})) << count;
    EXPECT_EQ(at(bits, 50, 16), (px{255, 148, 171, 255})) << count; // the disc's gradient
    EXPECT_TRUE(raster.texts.empty()) << count;
  }
}

TEST(BallPaint, RowColours) {
  struct row {
    int y, r, g, b;
  };
  for (row w :
       {row{0, 255, 174, 192}, row{32, 255, 122, 150}, row{33, 255, 122, 149}, row{65, 255, 181, 142}}) {
    uint8_t r, g, b;
    ball_row_colour(w.y, &r, &g, &b);
    EXPECT_EQ((px{r, g, b, 0}), (px{w.r, w.g, w.b, 0})) << "row " << w.y;
  }
}

TEST(BallPaint, LinesKeepTheirShapes) {
  const auto bits = painted(0);
  // Line 3 is shorter: at x 36 lines 1 and 2 are pink, line 3 leaves the sheet white.
  EXPECT_NE(at(bits, 36, 26), kWhite);
  EXPECT_NE(at(bits, 36, 34), kWhite);
  EXPECT_EQ(at(bits, 36, 42), kWhite);
  // Between the lines the sheet shows.
  EXPECT_EQ(at(bits, 30, 31), kWhite);
  // A line's fourth lattice row covers half of pixel row 28: pink at alpha trunc(0.5 * 230) = 115
  // over the white sheet. Red 255 * k + 255 * h is 254.99998 in 32-bit floats, truncated to 254.
  EXPECT_EQ(at(bits, 30, 28), (px{254, 202, 214, 255}));
}

TEST(BallPaint, BadgeTextIsTheCountUpTo99) {
  struct row {
    int count;
    const wchar_t *text;
  };
  for (row w : {row{1, L"1"}, row{9, L"9"}, row{10, L"10"}, row{99, L"99"}, row{100, L"99"}, row{250, L"99"},
                row{2147483647, L"99"}}) {
    fake_raster raster;
    painted(w.count, &raster);
    ASSERT_EQ(raster.texts.size(), 1u) << w.count;
    EXPECT_EQ(raster.texts[0], w.text) << w.count;
  }
}

TEST(BallPaint, DigitsCopyPurePinkWhereRedIsAbove130) {
  fake_raster raster;
  const auto bits = painted(7, &raster);
  EXPECT_EQ(at(bits, 48, 14), kPink);
  EXPECT_EQ(at(bits, 49, 14), kPink);
  EXPECT_EQ(at(bits, 50, 14), kWhite); // red 130: the badge stays
  EXPECT_EQ(at(bits, 30, 40), kPink);
}

TEST(BallPaint, FailedRasterLeavesTheBadgeWithoutDigits) {
  fake_raster raster;
  raster.result = 0;
  const auto bits = painted(7, &raster);
  EXPECT_EQ(at(bits, 48, 14), kWhite);
  EXPECT_EQ(at(bits, 30, 40), kWhite); // the sheet between lines 2 and 3
  EXPECT_EQ(at(bits, 62, 16).a, 127);
}

TEST(BallPaint, BadgeTextOrigin) {
  int x = 0, y = 0;
  badge_text_origin(9, 21, &x, &y);
  EXPECT_EQ(x, 45); // trunc(50 - 4.5)
  EXPECT_EQ(y, 4);  // trunc(16 - 10.5) - 1
  badge_text_origin(18, 22, &x, &y);
  EXPECT_EQ(x, 41);
  EXPECT_EQ(y, 4);
}

TEST(PxBlend, Rules) {
  std::vector<uint8_t> bits(kBallBytes, 0);
  const px before{10, 20, 30, 40};
  set(bits, 5, 5, before);
  px_blend(bits.data(), 5, 5, 200, 100, 50, 0);
  EXPECT_EQ(at(bits, 5, 5), before); // alpha 0: unchanged
  px_blend(bits.data(), 5, 5, 200, 100, 50, 255);
  EXPECT_EQ(at(bits, 5, 5), (px{200, 100, 50, 255})); // alpha 255: replaced exactly

  set(bits, 6, 6, px{0, 0, 0, 255});
  px_blend(bits.data(), 6, 6, 255, 255, 255, 51); // one fifth of white over opaque black
  EXPECT_EQ(at(bits, 6, 6), (px{51, 51, 51, 255}));

  px_blend(bits.data(), 7, 7, 255, 122, 150, 200); // onto transparent: the colour, alpha ~200
  EXPECT_EQ(at(bits, 7, 7), (px{255, 122, 150, 200}));

  // Over a partly transparent pixel: alpha 100 + 100 * 155 / 255 = 160.78 and red 100 / 0.6305 =
  // 158.6, both truncated.
  set(bits, 8, 8, px{0, 0, 0, 100});
  px_blend(bits.data(), 8, 8, 255, 0, 0, 100);
  EXPECT_EQ(at(bits, 8, 8), (px{158, 0, 0, 160}));

  const std::vector<uint8_t> untouched = bits;
  for (auto [x, y] : {std::pair{-1, 5}, {5, -1}, {66, 5}, {5, 66}, {-2147483647 - 1, 0}})
    px_blend(bits.data(), x, y, 1, 2, 3, 255);
  EXPECT_EQ(bits, untouched);
}

TEST(Coverage, Ellipse) {
  EXPECT_EQ(ell_cov(33, 33, 29.5f, 29.5f, 33, 33), 1.0f);
  EXPECT_EQ(ell_cov(33, 33, 29.5f, 29.5f, 0, 0), 0.0f);
  EXPECT_EQ(ell_cov(0, 0, 1, 1, 1, 0), 0.5f); // half the sub-samples on a rim
  // Sub-samples exactly on the rim count: (0, +-0.375) with radius 0.375.
  EXPECT_EQ(ell_cov(0, 0, 0.375f, 0.375f, 0.125f, 0), 0.5f);
  // Radii apply per axis.
  EXPECT_EQ(ell_cov(0, 0, 4, 0.25f, 2, 0), 0.5f);
}

TEST(Coverage, RoundedRectangle) {
  EXPECT_EQ(rr_cov(2, 2, 0, 0, 4, 4, 1), 1.0f);
  EXPECT_EQ(rr_cov(0, 0, 0, 0, 4, 4, 0), 0.25f); // square corner: a quarter of the samples
  EXPECT_EQ(rr_cov(0, 0, 0, 0, 4, 4, 2), 0.0f);  // rounded corner: none
  // Edges are inclusive: sub-samples at x = 1.0 lie on the right edge.
  EXPECT_EQ(rr_cov(1.375f, 0.5f, 0, 0, 1, 1, 0), 0.25f);
  EXPECT_EQ(rr_cov(0.5f, 1.375f, 0, 0, 1, 1, 0), 0.25f);
  EXPECT_EQ(rr_cov(9, 9, 0, 0, 4, 4, 1), 0.0f);
}

TEST(UpdateLayered, AlphaFixThenPremultiply) {
  fake_raster raster;
  auto bits = painted(5, &raster);
  const auto composed = bits;

  layer_alpha_fix(bits.data());
  EXPECT_EQ(bits[0], 0xAF);
  EXPECT_EQ(bits[1], 0x96);
  EXPECT_EQ(bits[2], 0xFF);
  EXPECT_EQ(bits[3], 0x01);
  for (int i = 3; i < kBallBytes; i += 4)
    ASSERT_NE(bits[i], 0) << "pixel " << i / 4;

  layer_premultiply(bits.data());
  EXPECT_EQ(at(bits, 0, 0), (px{1, 0, 0, 1}));
  EXPECT_EQ(at(bits, 62, 16), (px{127, 127, 127, 127})); // half-covered white
  for (int y = 0; y < kBallSize; ++y)
    for (int x = 0; x < kBallSize; ++x) {
      const px c = at(composed, x, y);
      const px p = at(bits, x, y);
      if (c.a == 255) {
        ASSERT_EQ(p, c) << x << "," << y;
      } else if (c.a == 0) {
        ASSERT_TRUE(p.a == 1 && p.r <= 1 && p.g <= 1 && p.b <= 1) << x << "," << y;
      }
    }
}

TEST(UpdateLayered, BothStepsAndNullBuffer) {
  auto bits = painted(0);
  auto steps = bits;
  layer_alpha_fix(steps.data());
  layer_premultiply(steps.data());
  update_layered_pixels(bits.data());
  EXPECT_EQ(bits, steps);
  update_layered_pixels(nullptr); // nothing to do, no crash
}

} // namespace
