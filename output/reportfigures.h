#pragma once
// The plain figures behind the statistics, for the printed report: the same rules as
// the on-screen statistics lists (markers skipped, the earliest record keeps a tied
// peak, only ordinary records counted), without the list formats.

#include <array>
#include <cstdint>

#include "mainwindow/reportsource.h"

struct ChannelPeak {
  double max = 0.0;
  double min = 0.0;
  std::int64_t maxAt = -1;  // record index
  std::int64_t minAt = -1;
};

struct PeakFigures {
  bool seeded = false;  // false: the range has no ordinary record
  std::array<ChannelPeak, kMaxChannels> channel{};
};

// Seeds from the first ordinary record of the range.
PeakFigures PeakFiguresOf(const ReportSource& src, std::int64_t first, std::int64_t end);

struct AverageFigures {
  std::int64_t ordinary = 0;  // ordinary records of the range
  std::array<double, kMaxChannels> sum{};  // shown channels only
  double mean(int channel) const { return sum[static_cast<std::size_t>(channel)] / static_cast<double>(ordinary); }
};

AverageFigures AverageFiguresOf(const ReportSource& src, std::int64_t first, std::int64_t end);
