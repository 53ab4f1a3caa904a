#include "output/pagemargins.h"

#include <cstdint>

PageMargins ComputeMargins(int width, int height, int topPercent, int bottomPercent,
                           int leftPercent) {
  // 64-bit products: a page of several hundred thousand units times 100 stays exact.
  auto margin = [](std::int64_t size, std::int64_t percent) {
    return static_cast<int>(size - ((100 - percent) * size) / 100);
  };
  PageMargins m;
  m.top = margin(height, topPercent);
  m.bottom = margin(height, bottomPercent);
  m.left = margin(width, leftPercent);
  m.usable = height - (m.bottom + m.top);
  return m;
}
