#pragma once
// Where the chart's curves take their points from. A source holds one or more curves
// whose points share their x values (date-times); power failures break the points into
// segments that are drawn unconnected. The chart reads through this interface only, so
// the points may stay where their owner keeps them.

#include <cstddef>
#include <span>
#include <vector>

struct ChartSegments {
  std::vector<int> start;  // first point of each segment; empty segments are dropped
  std::vector<double> minX, maxX;
  bool ascending = true;  // x never decreases inside a segment: views are found by binary search

  int Count() const { return static_cast<int>(start.size()); }
  // One past the last point of segment g, of a source of `points` points.
  int End(int g, int points) const {
    return g + 1 < Count() ? start[static_cast<std::size_t>(g) + 1] : points;
  }
  // Index of the segment whose x range holds x, or -1 (a power-failure gap, or outside).
  int Containing(double x) const;
};

class ChartSource {
 public:
  virtual ~ChartSource() = default;

  virtual int Count() const = 0;  // points
  virtual double X(int i) const = 0;
  virtual float Y(int curve, int i) const = 0;
  // The smallest and largest y of points [first, end) (end > first) of each curve
  // curves[k], into lo[k] and hi[k]. Called from several threads at once.
  virtual void MinMax(std::span<const int> curves, int first, int end, float* lo, float* hi) const = 0;
  virtual const ChartSegments& Segments() const = 0;
  // Memory the source holds for the chart (what it only reads is not counted).
  virtual std::size_t Bytes() const = 0;

  // First point of [first, end) whose x is not below x (last: above x), halving as
  // std::lower_bound (std::upper_bound) does, so that the same points are found
  // where x is not sorted across segments. A source may find them faster where its
  // points are sorted.
  virtual int LowerBound(int first, int end, double x) const;
  virtual int UpperBound(int first, int end, double x) const;
};

// Points held in memory, one curve: what a series added point by point shows.
class ChartPointList : public ChartSource {
 public:
  void Append(double x, float y);
  // The next point starts a new segment.
  void Break() { breakPending_ = true; }

  int Count() const override { return static_cast<int>(y_.size()); }
  double X(int i) const override { return x_[static_cast<std::size_t>(i)]; }
  float Y(int, int i) const override { return y_[static_cast<std::size_t>(i)]; }
  void MinMax(std::span<const int> curves, int first, int end, float* lo, float* hi) const override;
  const ChartSegments& Segments() const override { return segments_; }
  std::size_t Bytes() const override;

 private:
  std::vector<double> x_;
  std::vector<float> y_;
  ChartSegments segments_;
  bool breakPending_ = false;
};
