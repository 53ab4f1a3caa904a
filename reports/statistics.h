#pragma once
// Summary rows over a record range: the average of each channel, the peaks of each
// channel with the time they occurred, and the energy total of a power-meter file.
// One pass over the range each; nothing per record is kept.

#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

#include "reports/reportsource.h"

// A summary list: its columns and its rows (each row: caption, then its cells).
struct StatTable {
  std::vector<ColumnSpec> columns;
  std::vector<QStringList> rows;
};

// One row: start time, end time, then the mean of each shown channel over the
// ordinary records of the range ("%4.2f"); hidden channels and empty ranges give
// empty cells.
StatTable BuildAverageRow(const ReportSource& src, std::int64_t first, std::int64_t end);

// Two rows, "最大值" and "最小值", with "time=>value" per channel. Among equal values
// the earliest record keeps the place. Markers are skipped; a range without an
// ordinary record gives empty cells.
StatTable BuildPeakStatistics(const ReportSource& src, std::int64_t first, std::int64_t end);

// One row: start time, end time, and the sum of channel 0 over the ordinary records
// of the range in the general float format. A marker repeats the previous record's
// value, so it is not counted again.
StatTable BuildEnergyTotal(const ReportSource& src, std::int64_t first, std::int64_t end);

// The plain figures behind the rows, for the lists, the export and the printed report,
// which each format them their own way.

// Sums of the shown channels over the ordinary (non-marker) records of the range;
// hidden channels stay 0.
struct ChannelAverages {
  std::int64_t ordinary = 0;  // the ordinary records counted
  std::array<double, kMaxChannels> sum{};
  // Only meaningful when ordinary is above 0.
  double mean(int channel) const {
    return sum[static_cast<std::size_t>(channel)] / static_cast<double>(ordinary);
  }
};
ChannelAverages AveragesOf(const ReportSource& src, std::int64_t first, std::int64_t end);

// Maximum and minimum of every channel over the ordinary records of the range, with
// the record index where each occurred; the first ordinary record seeds them and the
// earliest record keeps the place among equal values. Not seeded when the range holds
// no ordinary record.
struct ChannelPeaks {
  bool seeded = false;
  std::array<double, kMaxChannels> max{}, min{};
  std::array<std::int64_t, kMaxChannels> maxAt{}, minAt{};
};
ChannelPeaks PeaksOf(const ReportSource& src, std::int64_t first, std::int64_t end);

// Channel 0 over the ordinary records of the range.
double EnergySum(const ReportSource& src, std::int64_t first, std::int64_t end);
