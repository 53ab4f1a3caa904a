#include "mainwindow/recordcurves.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numeric>

#include "platform/parallel.h"

namespace {

// Records a part of the build takes at least, so that a small window stays on one thread.
constexpr int kRecordsPerPart = 32768;

bool IsPoint(const tagDataRecord& r) { return r.Marker == 0 && r.Disorder == 0; }

}  // namespace

float RecordCurves::DrawValue(double v) {
  return std::isnan(v) ? 0.0f : static_cast<float>(std::clamp(v, -3.0e38, 3.0e38));
}

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
  const int parts = std::clamp(n / kRecordsPerPart, 1, std::max(1, threads));
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
  RunParts(parts, [&](int p) {
    Part& w = part[static_cast<std::size_t>(p)];
    bool broken = true;
    int lastRecord = -2;
    for (int i = w.from; i < w.to; ++i) {
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
  if (total == 0) return built;

  // The summary's lowest level: each block that starts and ends inside one part is made
  // by that part's thread, the few across two parts afterwards.
  const std::size_t blocks = (static_cast<std::size_t>(total) + kBlock - 1) / kBlock;
  const std::size_t width = static_cast<std::size_t>(channels);
  std::vector<float> lo0(blocks * width), hi0(blocks * width);
  RunParts(parts, [&](int p) {
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
      }
      for (int ch = 0; ch < channels; ++ch) {
        const float v = DrawValue(r.Channel[ch].Value);
        lo[ch] = v < lo[ch] ? v : lo[ch];
        hi[ch] = v > hi[ch] ? v : hi[ch];
      }
      ++g;
      const int b = (g - 1) / kBlock;
      if ((g % kBlock == 0 || g == total) && b * kBlock >= w.row) {
        std::copy(lo, lo + channels, lo0.begin() + static_cast<std::ptrdiff_t>(b * width));
        std::copy(hi, hi + channels, hi0.begin() + static_cast<std::ptrdiff_t>(b * width));
      }
    }
  });
  std::vector<int> all(width);
  std::iota(all.begin(), all.end(), 0);
  for (const Part& w : part) {
    if (w.row % kBlock == 0 || w.row >= total) continue;
    const int b = w.row / kBlock;
    float* lo = lo0.data() + static_cast<std::size_t>(b) * width;
    float* hi = hi0.data() + static_cast<std::size_t>(b) * width;
    std::fill(lo, lo + width, FLT_MAX);
    std::fill(hi, hi + width, -FLT_MAX);
    c.ScanPoints(all, b * kBlock, std::min(total, (b + 1) * kBlock), lo, hi);
  }
  c.levelLo_.push_back(std::move(lo0));
  c.levelHi_.push_back(std::move(hi0));
  c.BuildUpperLevels();
  return built;
}

void RecordCurves::BuildUpperLevels() {
  const std::size_t width = static_cast<std::size_t>(channels_);
  if (width == 0) return;
  while (levelLo_.back().size() / width > 1) {
    const std::vector<float>& pl = levelLo_.back();
    const std::vector<float>& ph = levelHi_.back();
    const std::size_t below = pl.size() / width, blocks = (below + kBlock - 1) / kBlock;
    std::vector<float> nl(blocks * width, FLT_MAX), nh(blocks * width, -FLT_MAX);
    for (std::size_t b = 0; b < below; ++b) {
      const std::size_t up = b / kBlock * width;
      for (std::size_t ch = 0; ch < width; ++ch) {
        nl[up + ch] = std::min(nl[up + ch], pl[b * width + ch]);
        nh[up + ch] = std::max(nh[up + ch], ph[b * width + ch]);
      }
    }
    levelLo_.push_back(std::move(nl));
    levelHi_.push_back(std::move(nh));
  }
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
  if (levelLo_.empty() || bf >= be) {
    ScanPoints(curves, first, end, lo, hi);
    return;
  }
  ScanPoints(curves, first, bf * kBlock, lo, hi);
  ScanPoints(curves, be * kBlock, end, lo, hi);
  const std::size_t width = static_cast<std::size_t>(channels_);
  const auto take = [&](std::size_t level, int from, int to) {
    const float* bl = levelLo_[level].data();
    const float* bh = levelHi_[level].data();
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
    if (level + 1 >= levelLo_.size() || nf >= ne) {
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
  for (const auto& level : levelLo_) bytes += level.capacity() * sizeof(float);
  for (const auto& level : levelHi_) bytes += level.capacity() * sizeof(float);
  return bytes;
}
