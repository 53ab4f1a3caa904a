#pragma once
// What the report lists, the paging and the statistics read from the record store,
// gathered into one plain value so that the rules can be run on any records.

#include <QString>
#include <cstdint>
#include <string>

#include "data/pubparam.h"

struct ReportSource {
  const tagDataRecord* records = nullptr;
  std::int32_t count = 0;            // valid entries of records
  int channelCount = 0;              // at most kMaxChannels
  int modelCode = 0;
  const std::string* channelNames = nullptr;  // kMaxChannels entries, or nullptr
  const std::int32_t* shownFlags = nullptr;   // kMaxChannels entries, or nullptr

  // Shown flags are read as 0/1 everywhere, so widths and averages agree.
  bool shown(int channel) const { return shownFlags && shownFlags[channel] != 0; }
  QString channelName(int channel) const {
    return channelNames ? QString::fromStdString(channelNames[channel]) : QString();
  }
  QString timeText(std::int64_t index) const;  // empty outside [0, count)
};

// The store as a source. The channel count is bounded by the record model and the
// record count by the array, so a damaged header can never send a loop past them.
ReportSource StoreSource();
ReportSource MakeSource(const utPubParam& store);

// One column of a report list. channel is the channel it shows, -1 for the others.
struct ColumnSpec {
  QString caption;
  int width = 0;
  int channel = -1;
};

// A half-open index range clamped to [0, limit).
struct IndexRange {
  std::int64_t first = 0;
  std::int64_t end = 0;
  bool empty() const { return first >= end; }
};
IndexRange ClampRange(std::int64_t first, std::int64_t end, std::int64_t limit);
