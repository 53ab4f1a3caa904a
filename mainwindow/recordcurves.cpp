#include "mainwindow/recordcurves.h"

#include <algorithm>
#include <cfloat>
#include <numeric>
#include <ranges>

#include "platform/parallel.h"

namespace {

// Records a part of the build takes at least, so that a small window stays on one thread.
constexpr int kRecordsPerPart = 16384;

bool IsPoint(const tagDataRecord& r) { return r.Marker == 0 && r.Disorder == 0; }

}  // namespace

int RecordCurves::RecordOf(int i) const {
  const std::size_t k =
      static_cast<std::size_t>(std::upper_bound(runPoint_.begin(), runPoint_.end(), i) - runPoint_.begin()) - 1;
  return runRecord_[k] + (i - runPoint_[k]);
}

std::shared_ptr<RecordCurves> RecordCurves::Build(const tagDataRecord* records, int first, int end,
                                                  int channels, int threads) {
  std::shared_ptr<RecordCurves> built(new RecordCurves);
  RecordCurves& c = *built;
  c.records_ = records;
  c.channels_ = channels;
  const int n = std::max(0, end - first);

  // The window is cut into consecutive parts read on their own threads. A first pass
  // finds each part's points, runs, breaks and time ranges, so that the second knows
  // the point at which each part starts; the second makes the summary's blocks.
  // More parts than threads, so that a thread held back by the system delays little.
  const int workers = std::max(1, threads);
  const int parts = std::clamp(n / kRecordsPerPart, 1, 4 * workers);
  struct Chunk {  // points of a part up to its next break
    int point;
    double lo, hi;
  };
  struct Part {
    int from = 0, to = 0, points = 0, row = 0;
    std::vector<int> breaks;                 // points of the part ahead of each marker
    std::vector<std::pair<int, int>> runs;   // point of the part, record
    std::vector<Chunk> chunks;
    bool back = false;  // x goes back inside a chunk
    double firstX = 0.0, lastX = 0.0;
  };
  std::vector<Part> part(static_cast<std::size_t>(parts));
  for (int p = 0; p < parts; ++p) {
    part[static_cast<std::size_t>(p)].from = first + static_cast<int>(static_cast<std::int64_t>(n) * p / parts);
    part[static_cast<std::size_t>(p)].to = first + static_cast<int>(static_cast<std::int64_t>(n) * (p + 1) / parts);
  }
  RunJobs(parts, workers, [&](int p) {
    Part& w = part[static_cast<std::size_t>(p)];
    bool broken = true;
    int lastRecord = -2;
    for (int i = w.from; i < w.to; ++i) {
      // One cache line a record is read here, too far apart for the hardware to guess.
      __builtin_prefetch(&records[std::min(i + 16, w.to - 1)]);
      const tagDataRecord& r = records[i];
      if (r.Marker != 0) {
        w.breaks.push_back(w.points);
        broken = true;
        continue;
      }
      if (r.Disorder != 0) continue;
      const double x = r.Time;
      if (i != lastRecord + 1) w.runs.emplace_back(w.points, i);
      lastRecord = i;
      if (broken) {
        w.chunks.push_back(Chunk{w.points, x, x});
        broken = false;
      } else {
        if (x < w.lastX) w.back = true;
        w.chunks.back().lo = std::min(w.chunks.back().lo, x);
        w.chunks.back().hi = std::max(w.chunks.back().hi, x);
      }
      if (w.points == 0) w.firstX = x;
      w.lastX = x;
      ++w.points;
    }
  });

  // Segments start at point 0 and at each point with a marker before it.
  int total = 0;
  std::vector<int> starts;
  for (Part& w : part) {
    w.row = total;
    total += w.points;
  }
  for (const Part& w : part)
    for (int b : w.breaks)
      if (w.row + b < total && w.row + b > 0 && (starts.empty() || starts.back() != w.row + b))
        starts.push_back(w.row + b);
  if (total > 0) starts.insert(starts.begin(), 0);
  c.count_ = total;
  ChartSegments& seg = c.segments_;
  std::size_t nextStart = 0;
  const Part* previous = nullptr;  // the last part with points
  for (const Part& w : part) {
    if (w.back) seg.ascending = false;
    for (const Chunk& ch : w.chunks) {
      const int at = w.row + ch.point;
      if (nextStart < starts.size() && starts[nextStart] == at) {
        ++nextStart;
        seg.start.push_back(at);
        seg.minX.push_back(ch.lo);
        seg.maxX.push_back(ch.hi);
      } else {
        if (ch.point == 0 && previous && w.firstX < previous->lastX) seg.ascending = false;
        seg.minX.back() = std::min(seg.minX.back(), ch.lo);
        seg.maxX.back() = std::max(seg.maxX.back(), ch.hi);
      }
    }
    for (const auto& [point, record] : w.runs) {
      const int at = w.row + point;
      if (!c.runPoint_.empty() && c.runRecord_.back() + (at - c.runPoint_.back()) == record) continue;
      c.runPoint_.push_back(at);
      c.runRecord_.push_back(record);
    }
    if (w.points > 0) previous = &w;
  }
  c.sorted_ = seg.ascending;
  for (int g = 1; g < seg.Count(); ++g)
    if (!(seg.minX[static_cast<std::size_t>(g)] >= seg.maxX[static_cast<std::size_t>(g) - 1])) c.sorted_ = false;
  if (total == 0) return built;

  // The summary's lowest level: each block that starts and ends inside one part is made
  // by that part's thread (which touches its memory first), the few across two parts
  // afterwards.
  const std::size_t blocks = (static_cast<std::size_t>(total) + kBlock - 1) / kBlock;
  const std::size_t width = static_cast<std::size_t>(channels);
  Level base;
  base.blocks = blocks;
  base.lo.reset(new float[blocks * width]);
  base.hi.reset(new float[blocks * width]);
  c.blockX_.reset(new double[blocks]);
  RunJobs(parts, workers, [&](int p) {
    const Part& w = part[static_cast<std::size_t>(p)];
    float lo[kMaxChannels], hi[kMaxChannels];
    std::fill(lo, lo + kMaxChannels, FLT_MAX);
    std::fill(hi, hi + kMaxChannels, -FLT_MAX);
    int g = w.row;
    for (int i = w.from; i < w.to; ++i) {
      const tagDataRecord& r = records[i];
      if (!IsPoint(r)) continue;
      if (g % kBlock == 0) {
        std::fill(lo, lo + kMaxChannels, FLT_MAX);
        std::fill(hi, hi + kMaxChannels, -FLT_MAX);
        c.blockX_[static_cast<std::size_t>(g / kBlock)] = r.Time;
      }
      for (int ch = 0; ch < channels; ++ch) {
        const float v = DrawValue(r.Channel[ch].Value);
        lo[ch] = v < lo[ch] ? v : lo[ch];
        hi[ch] = v > hi[ch] ? v : hi[ch];
      }
      ++g;
      const int b = (g - 1) / kBlock;
      if ((g % kBlock == 0 || g == total) && b * kBlock >= w.row) {
        std::copy(lo, lo + channels, base.lo.get() + static_cast<std::size_t>(b) * width);
        std::copy(hi, hi + channels, base.hi.get() + static_cast<std::size_t>(b) * width);
      }
    }
  });
  std::vector<int> all(width);
  std::iota(all.begin(), all.end(), 0);
  for (const Part& w : part) {
    if (w.row % kBlock == 0 || w.row >= total) continue;
    const int b = w.row / kBlock;
    float* lo = base.lo.get() + static_cast<std::size_t>(b) * width;
    float* hi = base.hi.get() + static_cast<std::size_t>(b) * width;
    std::fill(lo, lo + width, FLT_MAX);
    std::fill(hi, hi + width, -FLT_MAX);
    c.ScanPoints(all, b * kBlock, std::min(total, (b + 1) * kBlock), lo, hi);
  }
  c.levels_.push_back(std::move(base));
  c.BuildUpperLevels();
  return built;
}

void RecordCurves::BuildUpperLevels() {
  const std::size_t width = static_cast<std::size_t>(channels_);
  if (width == 0) return;
  while (levels_.back().blocks > 1) {
    const Level& below = levels_.back();
    Level up;
    up.blocks = (below.blocks + kBlock - 1) / kBlock;
    up.lo.reset(new float[up.blocks * width]);
    up.hi.reset(new float[up.blocks * width]);
    std::fill(up.lo.get(), up.lo.get() + up.blocks * width, FLT_MAX);
    std::fill(up.hi.get(), up.hi.get() + up.blocks * width, -FLT_MAX);
    for (std::size_t b = 0; b < below.blocks; ++b) {
      const std::size_t at = b / kBlock * width;
      for (std::size_t ch = 0; ch < width; ++ch) {
        up.lo[at + ch] = std::min(up.lo[at + ch], below.lo[b * width + ch]);
        up.hi[at + ch] = std::max(up.hi[at + ch], below.hi[b * width + ch]);
      }
    }
    levels_.push_back(std::move(up));
  }
}

template <typename Before>
int RecordCurves::Bound(int first, int end, double x, Before before) const {
  if (sorted_ && end - first > 2 * kBlock) {
    // Among the blocks that start inside [first, end): the first whose first point is
    // not before x; the point looked for lies after the block ahead of it began.
    const int b0 = (first + kBlock - 1) / kBlock, b1 = (end + kBlock - 1) / kBlock;
    const int b = *std::ranges::partition_point(
        std::views::iota(b0, b1), [&](int k) { return before(blockX_[static_cast<std::size_t>(k)]); });
    if (b > b0) first = (b - 1) * kBlock;
    if (b < b1) end = b * kBlock;
    if (b > b0 && b < b1) {
      // Times taken at a steady rate put the point where the block's first times say;
      // its neighbour confirms it.
      const double x0 = blockX_[static_cast<std::size_t>(b) - 1], x1 = blockX_[static_cast<std::size_t>(b)];
      const double f = x1 > x0 ? (x - x0) / (x1 - x0) : 0.5;
      const int g = std::clamp(first + static_cast<int>((f >= 0.0 && f <= 1.0 ? f : 0.5) * (end - first)),
                               first, end - 1);
      if (before(X(g))) {
        if (g + 1 == end || !before(X(g + 1))) return g + 1;
        first = g + 2;
      } else {
        if (g == first || before(X(g - 1))) return g;
        end = g - 1;
      }
    }
  }
  return *std::ranges::partition_point(std::views::iota(first, std::max(first, end)),
                                       [&](int i) { return before(X(i)); });
}

int RecordCurves::LowerBound(int first, int end, double x) const {
  return Bound(first, end, x, [x](double v) { return v < x; });
}

int RecordCurves::UpperBound(int first, int end, double x) const {
  return Bound(first, end, x, [x](double v) { return !(x < v); });
}

void RecordCurves::ScanPoints(std::span<const int> curves, int first, int end, float* lo, float* hi) const {
  if (first >= end) return;
  std::size_t k =
      static_cast<std::size_t>(std::upper_bound(runPoint_.begin(), runPoint_.end(), first) - runPoint_.begin()) - 1;
  for (int p = first; p < end; ++k) {
    const int runEnd = k + 1 < runPoint_.size() ? runPoint_[k + 1] : count_;
    const int stop = std::min(end, runEnd);
    const tagDataRecord* r = records_ + runRecord_[k] + (p - runPoint_[k]);
    for (; p < stop; ++p, ++r) {
      for (std::size_t j = 0; j < curves.size(); ++j) {
        const float v = DrawValue(r->Channel[curves[j]].Value);
        lo[j] = v < lo[j] ? v : lo[j];
        hi[j] = v > hi[j] ? v : hi[j];
      }
    }
  }
}

void RecordCurves::MinMax(std::span<const int> curves, int first, int end, float* lo, float* hi) const {
  std::fill(lo, lo + curves.size(), FLT_MAX);
  std::fill(hi, hi + curves.size(), -FLT_MAX);
  int bf = (first + kBlock - 1) / kBlock, be = end / kBlock;
  if (levels_.empty() || bf >= be) {
    ScanPoints(curves, first, end, lo, hi);
    return;
  }
  ScanPoints(curves, first, bf * kBlock, lo, hi);
  ScanPoints(curves, be * kBlock, end, lo, hi);
  const std::size_t width = static_cast<std::size_t>(channels_);
  const auto take = [&](std::size_t level, int from, int to) {
    const float* bl = levels_[level].lo.get();
    const float* bh = levels_[level].hi.get();
    for (int b = from; b < to; ++b)
      for (std::size_t j = 0; j < curves.size(); ++j) {
        const std::size_t at = static_cast<std::size_t>(b) * width + static_cast<std::size_t>(curves[j]);
        lo[j] = std::min(lo[j], bl[at]);
        hi[j] = std::max(hi[j], bh[at]);
      }
  };
  // Blocks at the edges of each level, the whole blocks of the level above in between.
  for (std::size_t level = 0;; ++level) {
    const int nf = (bf + kBlock - 1) / kBlock, ne = be / kBlock;
    if (level + 1 >= levels_.size() || nf >= ne) {
      take(level, bf, be);
      return;
    }
    take(level, bf, nf * kBlock);
    take(level, ne * kBlock, be);
    bf = nf;
    be = ne;
  }
}

std::size_t RecordCurves::Bytes() const {
  std::size_t bytes = sizeof(*this) + (runPoint_.capacity() + runRecord_.capacity()) * sizeof(int) +
                      segments_.start.capacity() * sizeof(int) +
                      (segments_.minX.capacity() + segments_.maxX.capacity()) * sizeof(double);
  for (const Level& level : levels_) bytes += 2 * level.blocks * static_cast<std::size_t>(channels_) * sizeof(float);
  if (!levels_.empty()) bytes += levels_.front().blocks * sizeof(double);  // blockX_
  return bytes;
}
