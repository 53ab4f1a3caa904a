#include "output/reportfigures.h"

#include <algorithm>

namespace {
int Channels(const ReportSource& src) { return std::clamp(src.channelCount, 0, kMaxChannels); }
}  // namespace

PeakFigures PeakFiguresOf(const ReportSource& src, std::int64_t first, std::int64_t end) {
  PeakFigures f;
  if (!src.records) return f;
  const IndexRange r = ClampRange(first, end, src.count);
  const int channels = Channels(src);
  for (std::int64_t i = r.first; i < r.end; ++i) {
    const tagDataRecord& rec = src.records[i];
    if (rec.Marker != 0) continue;
    for (int k = 0; k < channels; ++k) {
      ChannelPeak& p = f.channel[static_cast<std::size_t>(k)];
      const double v = rec.Channel[k].Value;
      if (!f.seeded) {
        p = {v, v, i, i};
        continue;
      }
      // Strict comparisons: among equal values the earliest record keeps the place.
      if (v > p.max) {
        p.max = v;
        p.maxAt = i;
      }
      if (v < p.min) {
        p.min = v;
        p.minAt = i;
      }
    }
    f.seeded = true;
  }
  return f;
}

AverageFigures AverageFiguresOf(const ReportSource& src, std::int64_t first, std::int64_t end) {
  AverageFigures f;
  if (!src.records) return f;
  const IndexRange r = ClampRange(first, end, src.count);
  const int channels = Channels(src);
  for (std::int64_t i = r.first; i < r.end; ++i) {
    const tagDataRecord& rec = src.records[i];
    if (rec.Marker != 0) continue;
    ++f.ordinary;
    for (int k = 0; k < channels; ++k)
      if (src.shown(k)) f.sum[static_cast<std::size_t>(k)] += rec.Channel[k].Value;
  }
  return f;
}
