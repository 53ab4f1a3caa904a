#pragma once
// Line series of the chart. One series draws one curve of a source (see chartsource.h):
// either points added to the series itself, or a curve of a source that several series
// share and that reads its points from where their owner keeps them.

#include <QString>
#include <cstddef>
#include <memory>
#include <utility>

#include "platform/chartsource.h"
#include "platform/colors.h"

class ChartWidget;

class ChartSeries {
 public:
  explicit ChartSeries(ChartWidget* chart);
  ChartSeries(const ChartSeries&) = delete;
  ChartSeries& operator=(const ChartSeries&) = delete;

  // Appends to the series' own points (a series showing a shared source takes a copy
  // of its curve first).
  void AddXY(double x, double y);
  // The next point starts a new segment (a power failure lies between).
  void BreakSegment();
  void Clear();
  // Shows curve `curve` of a source (nullptr: no points).
  void SetSource(std::shared_ptr<const ChartSource> source, int curve);
  const ChartSource* Source() const { return source_.get(); }
  int Curve() const { return curve_; }

  int Count() const { return source_ ? source_->Count() : 0; }
  double XValue(int i) const { return source_->X(i); }
  float YValue(int i) const { return source_->Y(curve_, i); }
  int SegmentCount() const { return source_ ? source_->Segments().Count() : 0; }
  // Index of the segment whose x range holds x, or -1 (a power-failure gap, or outside).
  int SegmentContaining(double x) const { return source_ ? source_->Segments().Containing(x) : -1; }
  // Smallest and largest value of points [first, end); end > first.
  std::pair<float, float> MinMaxPair(int first, int end) const;

  bool Active() const { return active_; }
  void SetActive(bool active);
  TColor Color() const { return color_; }
  void SetColor(TColor colour);
  // Kept for the chart's legend, which this program leaves hidden.
  bool ShowInLegend() const { return showInLegend_; }
  void SetShowInLegend(bool show) { showInLegend_ = show; }

  // Where pixel columns hold eight blocks of points or more, their edges snap to whole
  // blocks of this many points.
  static constexpr int kBlock = 32;

 private:
  ChartPointList& OwnPoints();
  void Changed();

  ChartWidget* chart_;
  std::shared_ptr<const ChartSource> source_;
  ChartPointList* own_ = nullptr;  // source_ when it holds this series' own points
  int curve_ = 0;
  bool active_ = true;
  TColor color_ = 0x0000FF;
  bool showInLegend_ = true;
};
