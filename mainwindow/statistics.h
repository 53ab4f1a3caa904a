#pragma once
// Summary rows over a record range: the average of each channel, the peaks of each
// channel with the time they occurred, and the energy total of a power-meter file.
// One pass over the range each; nothing per record is kept.

#include <QStringList>
#include <cstdint>
#include <vector>

#include "mainwindow/reportsource.h"

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

// The plain figures behind the rows, for the export and the printed report.
double EnergySum(const ReportSource& src, std::int64_t first, std::int64_t end);
