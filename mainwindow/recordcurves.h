#pragma once
// The curves of a record window, read where the records are kept. A point is a record
// of the window that is neither a power-failure marker (which ends a segment) nor
// flagged out of time order (skipped). The values are not copied: a small min/max
// summary per channel and block of points answers the wide views, and the records
// themselves the rest.

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "data/pubparam.h"
#include "platform/chartsource.h"

class RecordCurves : public ChartSource {
 public:
  // The curves of channels 0 .. channels - 1 of records [first, end) of `records`,
  // which must stay unchanged while the curves are shown. Built on up to `threads`
  // threads.
  static std::shared_ptr<RecordCurves> Build(const tagDataRecord* records, int first, int end,
                                             int channels, int threads);

  int Count() const override { return count_; }
  double X(int i) const override { return records_[RecordOf(i)].Time; }
  float Y(int curve, int i) const override { return DrawValue(records_[RecordOf(i)].Channel[curve].Value); }
  void MinMax(std::span<const int> curves, int first, int end, float* lo, float* hi) const override;
  const ChartSegments& Segments() const override { return segments_; }
  std::size_t Bytes() const override;
  int LowerBound(int first, int end, double x) const override;
  int UpperBound(int first, int end, double x) const override;

  // Index in the records of point i.
  int RecordOf(int i) const;
  // The value drawn for a stored value.
  static float DrawValue(double v) {
    return v != v ? 0.0f : static_cast<float>(v < -3.0e38 ? -3.0e38 : v > 3.0e38 ? 3.0e38 : v);
  }

  // Points a summary block holds at its lowest level; each level above holds this many
  // blocks of the one below.
  static constexpr int kBlock = 32;

 private:
  RecordCurves() = default;
  // Min and max of points [first, end) read from the records.
  void ScanPoints(std::span<const int> curves, int first, int end, float* lo, float* hi) const;
  void BuildUpperLevels();
  template <typename Before>
  int Bound(int first, int end, double x, Before before) const;

  const tagDataRecord* records_ = nullptr;
  int channels_ = 0;
  int count_ = 0;
  // Runs of consecutive records that are all points: run k starts at point runPoint_[k]
  // and record runRecord_[k].
  std::vector<int> runPoint_, runRecord_;
  ChartSegments segments_;
  // Level L: min and max of each block of kBlock^(L+1) points and of each channel, at
  // [block * channels + channel].
  struct Level {
    std::unique_ptr<float[]> lo, hi;
    std::size_t blocks = 0;
  };
  std::vector<Level> levels_;
  // x of the first point of each lowest-level block, and whether x never decreases
  // over all the points (then a search for x starts among these).
  std::unique_ptr<double[]> blockX_;
  bool sorted_ = false;
};
