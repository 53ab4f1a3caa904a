#include "platform/chartseries.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "platform/chartwidget.h"
#include "platform/parallel.h"

namespace {

constexpr int kBlockShift = 5;  // pyramid base: blocks of 32 points
constexpr int kBlock = ChartSeries::kBlock;
static_assert(kBlock == 1 << kBlockShift);

float ToDrawValue(double y) {
  // Drawing only: the values shown to the user are read from the store.
  if (std::isnan(y)) return 0.0f;
  return static_cast<float>(std::clamp(y, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
}

// Written so that the compiler turns it into packed min/max instructions.
void ScanMinMax(const float* v, int n, float& lo, float& hi) {
  float l = lo, h = hi;
  for (int i = 0; i < n; ++i) {
    l = v[i] < l ? v[i] : l;
    h = v[i] > h ? v[i] : h;
  }
  lo = l;
  hi = h;
}

}  // namespace

void ChartTimeline::Append(double value) {
  x.push_back(value);
  Index(x.size() - 1);
}

void ChartTimeline::Index(std::size_t r) {
  const double value = x[r];
  if (r == 0 || breakPending) {
    if (segmentStart.empty() || segmentStart.back() != static_cast<int>(r)) {
      segmentStart.push_back(static_cast<int>(r));
      segmentMinX.push_back(value);
      segmentMaxX.push_back(value);
    }
    breakPending = false;
  } else if (value < x[r - 1]) {
    ascending = false;
  }
  segmentMinX.back() = std::min(segmentMinX.back(), value);
  segmentMaxX.back() = std::max(segmentMaxX.back(), value);
}

int ChartTimeline::SegmentEnd(int g) const {
  return g + 1 < SegmentCount() ? segmentStart[static_cast<std::size_t>(g) + 1]
                                : static_cast<int>(x.size());
}

std::size_t ChartTimeline::Bytes() const {
  return x.capacity() * sizeof(double) + segmentStart.capacity() * sizeof(int) +
         (segmentMinX.capacity() + segmentMaxX.capacity()) * sizeof(double);
}

ChartSeries::ChartSeries(ChartWidget* chart)
    : chart_(chart), line_(std::make_shared<ChartTimeline>()) {}

void ChartSeries::Changed() {
  pyramidValid_ = false;
  if (chart_) chart_->SeriesChanged();
}

void ChartSeries::AddXY(double x, double y) {
  // A time column shared with other series is copied before this series adds to it.
  if (line_.use_count() > 1) line_ = std::make_shared<ChartTimeline>(*line_);
  line_->Append(x);
  y_.push_back(ToDrawValue(y));
  Changed();
}

void ChartSeries::BreakSegment() {
  if (line_.use_count() > 1) line_ = std::make_shared<ChartTimeline>(*line_);
  line_->Break();
}

void ChartSeries::Clear() {
  line_ = std::make_shared<ChartTimeline>();
  ChartValues().swap(y_);
  levelMin_.clear();
  levelMax_.clear();
  Changed();
}

int ChartSeries::SegmentContaining(double x) const {
  const ChartTimeline& t = *line_;
  for (int g = 0; g < t.SegmentCount(); ++g) {
    if (t.segmentMinX[static_cast<std::size_t>(g)] <= x && x <= t.segmentMaxX[static_cast<std::size_t>(g)])
      return g;
  }
  return -1;
}

void ChartSeries::SetActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  if (chart_) chart_->SeriesChanged();
}

void ChartSeries::SetColor(TColor colour) {
  if (color_ == colour) return;
  color_ = colour;
  if (chart_) chart_->SeriesChanged();
}

namespace {

// Smallest and largest value of each block of kBlock points of v[0, n), blocks [b0, b1).
void BlockMinMax(const float* v, std::size_t n, std::size_t b0, std::size_t b1, float* mins, float* maxs) {
  for (std::size_t b = b0; b < b1; ++b) {
    const std::size_t first = b * kBlock, end = std::min(n, first + kBlock);
    float lo = FLT_MAX, hi = -FLT_MAX;
    ScanMinMax(v + first, static_cast<int>(end - first), lo, hi);
    mins[b] = lo;
    maxs[b] = hi;
  }
}

}  // namespace

void ChartSeries::BuildPyramid() const {
  levelMin_.clear();
  levelMax_.clear();
  const std::size_t n = y_.size();
  if (n >= static_cast<std::size_t>(2 * kBlock)) {
    const std::size_t blocks = (n + kBlock - 1) / kBlock;
    ChartValues mins(blocks), maxs(blocks);  // every block is written
    BlockMinMax(y_.data(), n, 0, blocks, mins.data(), maxs.data());
    levelMin_.push_back(std::move(mins));
    levelMax_.push_back(std::move(maxs));
  }
  BuildUpperLevels();
}

void ChartSeries::BuildUpperLevels() const {
  while (!levelMin_.empty() && levelMin_.back().size() > 1) {
    const ChartValues& pm = levelMin_.back();
    const ChartValues& px = levelMax_.back();
    const std::size_t m = (pm.size() + 1) / 2;
    ChartValues nm(m), nx(m);
    for (std::size_t i = 0; i < m; ++i) {
      const std::size_t a = 2 * i, b = std::min(2 * i + 1, pm.size() - 1);
      nm[i] = std::min(pm[a], pm[b]);
      nx[i] = std::max(px[a], px[b]);
    }
    levelMin_.push_back(std::move(nm));
    levelMax_.push_back(std::move(nx));
  }
  pyramidValid_ = true;
}

void ChartSeries::MinMax(int first, int end, float& lo, float& hi) const {
  lo = FLT_MAX;
  hi = -FLT_MAX;
  if (!pyramidValid_) BuildPyramid();
  const float* y = y_.data();
  const int blockFirst = (first + kBlock - 1) >> kBlockShift;
  const int blockEnd = end >> kBlockShift;
  if (levelMin_.empty() || blockEnd - blockFirst < 2) {
    ScanMinMax(y + first, end - first, lo, hi);
    return;
  }
  ScanMinMax(y + first, (blockFirst << kBlockShift) - first, lo, hi);
  ScanMinMax(y + (blockEnd << kBlockShift), end - (blockEnd << kBlockShift), lo, hi);
  // Bottom-up walk over the levels: an odd left edge or right edge takes its node.
  int l = blockFirst, r = blockEnd;
  for (std::size_t level = 0; l < r && level < levelMin_.size(); ++level) {
    const float* mins = levelMin_[level].data();
    const float* maxs = levelMax_[level].data();
    if (l & 1) {
      lo = std::min(lo, mins[l]);
      hi = std::max(hi, maxs[l]);
      ++l;
    }
    if (r & 1) {
      --r;
      lo = std::min(lo, mins[r]);
      hi = std::max(hi, maxs[r]);
    }
    l >>= 1;
    r >>= 1;
  }
}

std::size_t ChartSeries::Bytes() const {
  std::size_t bytes = y_.capacity() * sizeof(float);
  for (const auto& level : levelMin_) bytes += level.capacity() * sizeof(float);
  for (const auto& level : levelMax_) bytes += level.capacity() * sizeof(float);
  return bytes;
}

ChartFill::ChartFill(ChartWidget& chart, std::vector<ChartSeries*> series, std::size_t expectedRows)
    : chart_(chart), series_(std::move(series)), line_(std::make_shared<ChartTimeline>()) {
  chart_.BeginUpdate();
  line_->x.reserve(expectedRows);
  for (ChartSeries* s : series_) {
    s->line_ = line_;
    ChartValues().swap(s->y_);
    s->levelMin_.clear();
    s->levelMax_.clear();
    s->pyramidValid_ = false;
  }
  Grow(expectedRows);
}

ChartFill::~ChartFill() { End(); }

void ChartFill::Grow(std::size_t rows) {
  capacity_ = std::max<std::size_t>(rows, 1024);
  columns_.clear();
  for (ChartSeries* s : series_) {
    s->y_.resize(capacity_);
    columns_.push_back(s->y_.data());
  }
}

void ChartFill::AddRow(double x, std::span<const float> values) {
  if (rows_ == capacity_) Grow(capacity_ * 2);
  line_->Append(x);
  const std::size_t n = std::min(values.size(), columns_.size());
  for (std::size_t i = 0; i < n; ++i) columns_[i][rows_] = values[i];
  for (std::size_t i = n; i < columns_.size(); ++i) columns_[i][rows_] = 0.0f;
  ++rows_;
}

void ChartFill::SetRows(std::size_t rows) {
  if (rows > capacity_) Grow(rows);
  direct_ = true;
  rows_ = rows;
  line_->x.resize(rows);  // left unwritten: the filling threads write every row
  // The pyramids' first level, made while the rows are fresh in the filling threads' caches.
  const std::size_t blocks = rows >= static_cast<std::size_t>(2 * kBlock) ? (rows + kBlock - 1) / kBlock : 0;
  baseMin_.assign(series_.size(), ChartValues());
  baseMax_.assign(series_.size(), ChartValues());
  for (std::size_t i = 0; i < series_.size(); ++i) {
    baseMin_[i].resize(blocks);  // left unwritten: every block gets its min and max
    baseMax_[i].resize(blocks);
  }
  blockDone_.assign(blocks, 0);
}

void ChartFill::IndexRows(int threads) {
  // The segments that Append makes row by row with these breaks: one starts at row 0
  // and at each row with a break before it; a break after the last row stays pending.
  ChartTimeline& t = *line_;
  std::vector<std::size_t> starts;
  for (std::size_t b : breaks_)
    if (b < rows_ && b > 0 && (starts.empty() || starts.back() != b)) starts.push_back(b);
  if (rows_ > 0) starts.insert(starts.begin(), 0);
  t.breakPending = !breaks_.empty() && breaks_.back() >= rows_;
  if (starts.empty()) return;

  // Each part of the rows: the x range of every segment it touches, and whether x
  // goes back inside a segment.
  struct Span {
    std::size_t segment;
    double lo, hi;
  };
  const int parts = std::clamp(threads, 1, static_cast<int>(std::max<std::size_t>(1, rows_ / 65536)));
  std::vector<std::vector<Span>> spans(static_cast<std::size_t>(parts));
  std::vector<std::uint8_t> back(static_cast<std::size_t>(parts), 0);
  const double* x = t.x.data();
  RunParts(parts, [&](int p) {
    const std::size_t from = rows_ * static_cast<std::size_t>(p) / static_cast<std::size_t>(parts);
    const std::size_t to = rows_ * static_cast<std::size_t>(p + 1) / static_cast<std::size_t>(parts);
    std::size_t g = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), from) - starts.begin()) - 1;
    for (std::size_t r = from; r < to;) {
      const std::size_t end = std::min(to, g + 1 < starts.size() ? starts[g + 1] : rows_);
      double lo = x[r], hi = x[r];
      if (r > starts[g] && x[r] < x[r - 1]) back[static_cast<std::size_t>(p)] = 1;
      for (std::size_t i = r + 1; i < end; ++i) {
        lo = std::min(lo, x[i]);
        hi = std::max(hi, x[i]);
        if (x[i] < x[i - 1]) back[static_cast<std::size_t>(p)] = 1;
      }
      spans[static_cast<std::size_t>(p)].push_back(Span{g, lo, hi});
      r = end;
      ++g;
    }
  });
  std::size_t g = 0;
  for (const std::vector<Span>& part : spans) {
    for (const Span& sp : part) {
      if (t.segmentStart.empty() || sp.segment != g) {
        g = sp.segment;
        t.segmentStart.push_back(static_cast<int>(starts[g]));
        t.segmentMinX.push_back(sp.lo);
        t.segmentMaxX.push_back(sp.hi);
      } else {
        t.segmentMinX.back() = std::min(t.segmentMinX.back(), sp.lo);
        t.segmentMaxX.back() = std::max(t.segmentMaxX.back(), sp.hi);
      }
    }
  }
  for (std::uint8_t b : back)
    if (b) t.ascending = false;
}

void ChartFill::Decimate(std::size_t firstRow, std::size_t endRow) {
  if (blockDone_.empty() || endRow > rows_ || firstRow >= endRow) return;
  const std::size_t b0 = (firstRow + kBlock - 1) / kBlock;
  const std::size_t b1 = endRow == rows_ ? blockDone_.size() : endRow / kBlock;
  if (b0 >= b1) return;
  for (std::size_t i = 0; i < series_.size(); ++i)
    BlockMinMax(columns_[i], rows_, b0, b1, baseMin_[i].data(), baseMax_[i].data());
  std::fill(blockDone_.begin() + static_cast<std::ptrdiff_t>(b0), blockDone_.begin() + static_cast<std::ptrdiff_t>(b1), 1);
}

void ChartFill::End(int threads) {
  if (ended_) return;
  ended_ = true;
  for (ChartSeries* s : series_) {
    s->y_.resize(rows_);
    // A window with many skipped records gives back what it did not use.
    if (s->y_.capacity() > rows_ + rows_ / 8 + 1024) s->y_.shrink_to_fit();
  }
  // Blocks across the edges of the filling threads' rows are made here.
  for (std::size_t b = 0; b < blockDone_.size(); ++b) {
    if (blockDone_[b]) continue;
    for (std::size_t i = 0; i < series_.size(); ++i)
      BlockMinMax(series_[i]->y_.data(), rows_, b, b + 1, baseMin_[i].data(), baseMax_[i].data());
  }
  if (direct_) IndexRows(threads);
  const int parts = std::clamp(threads, 1, std::max(1, static_cast<int>(series_.size())));
  RunParts(parts, [&](int part) {
    for (std::size_t i = static_cast<std::size_t>(part); i < series_.size(); i += static_cast<std::size_t>(parts)) {
      ChartSeries& s = *series_[i];
      if (!direct_) {
        s.BuildPyramid();
        continue;
      }
      s.levelMin_.clear();
      s.levelMax_.clear();
      if (!blockDone_.empty()) {
        s.levelMin_.push_back(std::move(baseMin_[i]));
        s.levelMax_.push_back(std::move(baseMax_[i]));
      }
      s.BuildUpperLevels();
    }
  });
  chart_.EndUpdate();
}
