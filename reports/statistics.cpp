#include "reports/statistics.h"

#include <algorithm>
#include <array>

#include "data/lanchg.h"
#include "reports/numformat.h"

namespace {

QString Text(const char* key, const char* chinese) {
  return GetLangString("utPubParam", key, QString::fromUtf8(chinese));
}

int Channels(const ReportSource& src) { return std::clamp(src.channelCount, 0, kMaxChannels); }

// The time text closing a range: that of its last record; for a range ending before
// the first record, the last stored record's.
QString EndTimeText(const ReportSource& src, std::int64_t end) {
  if (end - 1 >= 0 && end - 1 < src.count) return src.timeText(end - 1);
  return src.count > 0 ? src.timeText(src.count - 1) : QString();
}

}  // namespace

ChannelAverages AveragesOf(const ReportSource& src, std::int64_t first, std::int64_t end) {
  ChannelAverages a;
  const int channels = Channels(src);
  const IndexRange r = ClampRange(first, end, src.records ? src.count : 0);
  for (std::int64_t i = r.first; i < r.end; ++i) {
    const tagDataRecord& rec = src.records[i];
    if (rec.Marker != 0) continue;
    ++a.ordinary;
    for (int k = 0; k < channels; ++k)
      if (src.shown(k)) a.sum[static_cast<std::size_t>(k)] += rec.Channel[k].Value;
  }
  return a;
}

ChannelPeaks PeaksOf(const ReportSource& src, std::int64_t first, std::int64_t end) {
  ChannelPeaks p;
  const int channels = Channels(src);
  const IndexRange r = ClampRange(first, end, src.records ? src.count : 0);
  for (std::int64_t i = r.first; i < r.end; ++i) {
    const tagDataRecord& rec = src.records[i];
    if (rec.Marker != 0) continue;
    for (int k = 0; k < channels; ++k) {
      const auto c = static_cast<std::size_t>(k);
      const double v = rec.Channel[k].Value;
      if (!p.seeded) {
        p.max[c] = p.min[c] = v;
        p.maxAt[c] = p.minAt[c] = i;
        continue;
      }
      // Strict comparisons: the earliest record keeps the place among equal values.
      if (v > p.max[c]) {
        p.max[c] = v;
        p.maxAt[c] = i;
      }
      if (v < p.min[c]) {
        p.min[c] = v;
        p.minAt[c] = i;
      }
    }
    p.seeded = true;
  }
  return p;
}

StatTable BuildAverageRow(const ReportSource& src, std::int64_t first, std::int64_t end) {
  StatTable t;
  t.columns.push_back({Text("Error7", "开始时间"), 130, -1});
  t.columns.push_back({Text("Error8", "结束时间"), 130, -1});
  const int channels = Channels(src);
  for (int k = 0; k < channels; ++k)
    t.columns.push_back({src.channelName(k), src.shown(k) ? 60 : 0, k});

  const IndexRange r = ClampRange(first, end, src.records ? src.count : 0);
  QStringList row;
  row << src.timeText(r.first) << EndTimeText(src, r.end);
  const ChannelAverages a = AveragesOf(src, first, end);
  for (int k = 0; k < channels; ++k)
    row << (src.shown(k) && a.ordinary != 0 ? FormatFixed2(a.mean(k)) : QString());
  t.rows.push_back(row);
  return t;
}

StatTable BuildPeakStatistics(const ReportSource& src, std::int64_t first, std::int64_t end) {
  StatTable t;
  t.columns.push_back({Text("Error4", "峰值类别"), 100, -1});
  const int channels = Channels(src);
  for (int k = 0; k < channels; ++k)
    t.columns.push_back({src.channelName(k), src.shown(k) ? 180 : 0, k});

  const ChannelPeaks p = PeaksOf(src, first, end);
  QStringList maxRow{Text("Error5", "最大值")};
  QStringList minRow{Text("Error6", "最小值")};
  for (int k = 0; k < channels; ++k) {
    const auto c = static_cast<std::size_t>(k);
    maxRow << (p.seeded ? FormatTimeValue(src.timeText(p.maxAt[c]), p.max[c]) : QString());
    minRow << (p.seeded ? FormatTimeValue(src.timeText(p.minAt[c]), p.min[c]) : QString());
  }
  t.rows.push_back(maxRow);
  t.rows.push_back(minRow);
  return t;
}

double EnergySum(const ReportSource& src, std::int64_t first, std::int64_t end) {
  if (!src.records) return 0.0;
  const IndexRange r = ClampRange(first, end, src.count);
  double sum = 0.0;
  for (std::int64_t i = r.first; i < r.end; ++i)
    if (src.records[i].Marker == 0) sum += src.records[i].Channel[0].Value;
  return sum;
}

StatTable BuildEnergyTotal(const ReportSource& src, std::int64_t first, std::int64_t end) {
  StatTable t;
  t.columns.push_back({Text("Error7", "开始时间"), 150, -1});
  t.columns.push_back({Text("Error8", "结束时间"), 150, -1});
  t.columns.push_back({Text("Error34", "电量累计"), 100, -1});

  const IndexRange r = ClampRange(first, end, src.records ? src.count : 0);
  // The end time is that of the first record after the range; at the end of the
  // data, the last stored record's (the closing entry carries the same text).
  const QString endText = r.end < src.count ? src.timeText(r.end)
                                            : (src.count > 0 ? src.timeText(src.count - 1) : QString());
  t.rows.push_back(QStringList{src.timeText(r.first), endText, FormatGeneral(EnergySum(src, first, end))});
  return t;
}
