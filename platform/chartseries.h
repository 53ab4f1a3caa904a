#pragma once
// Line series of the chart. One series holds the curve of one channel; power failures
// break it into segments that are drawn unconnected. Series filled together share one
// time column, and each keeps its values as float with a min/max pyramid so that a
// pixel column's extent is found without scanning its points.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "platform/colors.h"

class ChartWidget;

// Leaves new elements uninitialised, so a fill writes each value once.
template <typename T>
struct UninitAllocator : std::allocator<T> {
  using value_type = T;
  template <typename U>
  struct rebind {
    using other = UninitAllocator<U>;
  };
  UninitAllocator() = default;
  template <typename U>
  UninitAllocator(const UninitAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using ChartValues = std::vector<float, UninitAllocator<float>>;

// The x values (date-times) of one fill and where its segments start.
struct ChartTimeline {
  std::vector<double, UninitAllocator<double>> x;
  std::vector<int> segmentStart;  // first point of each segment; empty segments are dropped
  std::vector<double> segmentMinX, segmentMaxX;
  bool ascending = true;  // x never decreases: the visible range is found by binary search
  bool breakPending = false;

  void Append(double value);
  // Segment bookkeeping of point r once x[r] holds its value (Append does both).
  void Index(std::size_t r);
  // The next point starts a new segment.
  void Break() { breakPending = true; }
  int SegmentCount() const { return static_cast<int>(segmentStart.size()); }
  int SegmentEnd(int g) const;
  std::size_t Bytes() const;
};

class ChartSeries {
 public:
  explicit ChartSeries(ChartWidget* chart);
  ChartSeries(const ChartSeries&) = delete;
  ChartSeries& operator=(const ChartSeries&) = delete;

  void AddXY(double x, double y);
  // The next point starts a new segment (a power failure lies between).
  void BreakSegment();
  void Clear();

  int Count() const { return static_cast<int>(y_.size()); }
  double XValue(int i) const { return line_->x[static_cast<std::size_t>(i)]; }
  float YValue(int i) const { return y_[static_cast<std::size_t>(i)]; }
  int SegmentCount() const { return line_->SegmentCount(); }
  // Index of the segment whose x range holds x, or -1 (a power-failure gap, or outside).
  int SegmentContaining(double x) const;
  const ChartTimeline& Timeline() const { return *line_; }

  bool Active() const { return active_; }
  void SetActive(bool active);
  TColor Color() const { return color_; }
  void SetColor(TColor colour);
  // Kept for the chart's legend, which this program leaves hidden.
  bool ShowInLegend() const { return showInLegend_; }
  void SetShowInLegend(bool show) { showInLegend_ = show; }

  // Points per block of the pyramid's first level.
  static constexpr int kBlock = 32;
  // Smallest and largest value of points [first, end); end > first.
  void MinMax(int first, int end, float& lo, float& hi) const;
  // Makes the pyramid now, so that MinMax may then be called from several threads at once.
  void PreparePyramid() const {
    if (!pyramidValid_) BuildPyramid();
  }
  std::pair<float, float> MinMaxPair(int first, int end) const {
    std::pair<float, float> r;
    MinMax(first, end, r.first, r.second);
    return r;
  }
  std::size_t Bytes() const;  // values and pyramid (the time column is counted apart)

 private:
  friend class ChartFill;
  void Changed();
  void BuildPyramid() const;
  void BuildUpperLevels() const;  // from level 0

  ChartWidget* chart_;
  std::shared_ptr<ChartTimeline> line_;
  ChartValues y_;
  // Level k holds min and max of blocks of kBlock << k points.
  mutable std::vector<ChartValues> levelMin_, levelMax_;
  mutable bool pyramidValid_ = false;
  bool active_ = true;
  TColor color_ = 0x0000FF;
  bool showInLegend_ = true;
};

// Fills several series at once with one shared time column; the chart is not
// repainted until the fill ends.
class ChartFill {
 public:
  ChartFill(ChartWidget& chart, std::vector<ChartSeries*> series, std::size_t expectedRows);
  ~ChartFill();
  ChartFill(const ChartFill&) = delete;
  ChartFill& operator=(const ChartFill&) = delete;

  void Break() { line_->Break(); }
  // One point at x for every series: values[i] is series i's value.
  void AddRow(double x, std::span<const float> values);

  // Rows written straight into the columns by several threads at once, in place of
  // AddRow: SetRows (at most the expected rows) on this thread first, then each
  // thread writes rows of its own through X() and Column(); BreakBefore(r), in
  // increasing order, puts a break before row r (as Break before its AddRow).
  void SetRows(std::size_t rows);
  double* X() { return line_->x.data(); }
  float* Column(std::size_t series) { return columns_[series]; }
  void BreakBefore(std::size_t row) { breaks_.push_back(row); }
  // Rows [firstRow, endRow) are written: the min/max blocks wholly inside are made now,
  // by the thread that wrote them (the rest at End).
  void Decimate(std::size_t firstRow, std::size_t endRow);

  // Ends the fill: segments of rows written directly, the series' pyramids (built
  // on up to `threads` threads).
  void End(int threads = 1);

 private:
  void Grow(std::size_t rows);
  void IndexRows(int threads);

  ChartWidget& chart_;
  std::vector<ChartSeries*> series_;
  std::vector<float*> columns_;  // where each series' next value goes
  std::size_t rows_ = 0, capacity_ = 0;
  std::shared_ptr<ChartTimeline> line_;
  std::vector<std::size_t> breaks_;
  std::vector<ChartValues> baseMin_, baseMax_;  // level 0 of each series' pyramid
  std::vector<std::uint8_t> blockDone_;
  bool direct_ = false;  // rows came through SetRows
  bool ended_ = false;
};
