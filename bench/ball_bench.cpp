// Prints the cost of one redraw of the ball's picture: paint() followed by the layer steps
// (update_layered_pixels: alpha fix and premultiplication), in microseconds per call, for a ball
// without a badge (-1) and with a two-digit badge (42). The digits come from a stand-in raster that
// writes fixed bars, so the system's text output and the window update are not part of the figure.
// Usage: build/linux/vellora_bench [runs]
#include "core/ball_paint.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

// Every digit as a 7x11 block of white on the black scratch, centred on the badge like real text.
int bar_digits(void *, const wchar_t *text, uint8_t *scratch) {
  const int n = static_cast<int>(std::wcslen(text));
  int left, top;
  badge_text_origin(8 * n, 12, &left, &top);
  for (int d = 0; d < n; ++d)
    for (int y = top; y < top + 11; ++y)
      for (int x = left + 8 * d; x < left + 8 * d + 7; ++x)
        if (x >= 0 && x < kBallSize && y >= 0 && y < kBallSize)
          for (int c = 0; c < 3; ++c)
            scratch[(y * kBallSize + x) * 4 + c] = 255;
  return 1;
}

struct figures {
  double median, p90, min;
};

figures measure(int count, int runs, uint8_t *bits) {
  using clock = std::chrono::steady_clock;
  std::vector<double> us(static_cast<size_t>(runs));
  for (int i = 0; i < 50; ++i) { // warm caches and the branch predictor
    paint(bits, count, bar_digits, nullptr);
    update_layered_pixels(bits);
  }
  for (int i = 0; i < runs; ++i) {
    const auto start = clock::now();
    paint(bits, count, bar_digits, nullptr);
    update_layered_pixels(bits);
    const auto end = clock::now();
    us[static_cast<size_t>(i)] = std::chrono::duration<double, std::micro>(end - start).count();
  }
  std::sort(us.begin(), us.end());
  return {us[us.size() / 2], us[us.size() * 9 / 10], us.front()};
}

} // namespace

int main(int argc, char **argv) {
  const int runs = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
  static uint8_t bits[kBallBytes];
  for (int count : {-1, 42}) {
    const figures f = measure(count, runs, bits);
    std::printf(
        "ball paint+update_layered count=%-3d  median %7.1f us  p90 %7.1f us  min %7.1f us  (%d runs)\n",
        count, f.median, f.p90, f.min, runs);
  }
  // Keep the picture observable so the work cannot be optimised away.
  unsigned sum = 0;
  for (uint8_t b : bits)
    sum += b;
  std::printf("(checksum %u)\n", sum);
  return 0;
}
