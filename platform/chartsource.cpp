#include "platform/chartsource.h"

#include <algorithm>
#include <cfloat>
#include <ranges>

int ChartSegments::Containing(double x) const {
  for (int g = 0; g < Count(); ++g)
    if (minX[static_cast<std::size_t>(g)] <= x && x <= maxX[static_cast<std::size_t>(g)]) return g;
  return -1;
}

int ChartSource::LowerBound(int first, int end, double x) const {
  return *std::ranges::partition_point(std::views::iota(first, std::max(first, end)),
                                       [&](int i) { return X(i) < x; });
}

int ChartSource::UpperBound(int first, int end, double x) const {
  return *std::ranges::partition_point(std::views::iota(first, std::max(first, end)),
                                       [&](int i) { return !(x < X(i)); });
}

void ChartPointList::Append(double x, float y) {
  const std::size_t r = x_.size();
  x_.push_back(x);
  y_.push_back(y);
  ChartSegments& s = segments_;
  if (r == 0 || breakPending_) {
    if (s.start.empty() || s.start.back() != static_cast<int>(r)) {
      s.start.push_back(static_cast<int>(r));
      s.minX.push_back(x);
      s.maxX.push_back(x);
    }
    breakPending_ = false;
  } else if (x < x_[r - 1]) {
    s.ascending = false;
  }
  s.minX.back() = std::min(s.minX.back(), x);
  s.maxX.back() = std::max(s.maxX.back(), x);
}

void ChartPointList::MinMax(std::span<const int> curves, int first, int end, float* lo, float* hi) const {
  // Lists added point by point are short: a scan is quick enough.
  float l = FLT_MAX, h = -FLT_MAX;
  for (int i = first; i < end; ++i) {
    l = std::min(l, y_[static_cast<std::size_t>(i)]);
    h = std::max(h, y_[static_cast<std::size_t>(i)]);
  }
  for (std::size_t k = 0; k < curves.size(); ++k) {
    lo[k] = l;
    hi[k] = h;
  }
}

std::size_t ChartPointList::Bytes() const {
  return x_.capacity() * sizeof(double) + y_.capacity() * sizeof(float) +
         segments_.start.capacity() * sizeof(int) +
         (segments_.minX.capacity() + segments_.maxX.capacity()) * sizeof(double);
}
