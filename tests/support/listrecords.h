#pragma once
// A small record store built inside a test: records one second apart from
// 2024-01-01 00:00:00, every value 0 and no flag, until a test sets them.

#include <QDateTime>
#include <cstring>
#include <string>
#include <vector>

#include "data/pubparam.h"
#include "reports/reportsource.h"

struct TestRecords {
  std::vector<tagDataRecord> recs;
  std::string names[kMaxChannels];
  std::int32_t shown[kMaxChannels] = {};
  int channels = 0;
  int model = 0;

  TestRecords(int count, int channelCount) : recs(static_cast<std::size_t>(count)), channels(channelCount) {
    std::memset(recs.data(), 0, recs.size() * sizeof(tagDataRecord));
    for (int i = 0; i < count; ++i) std::memcpy((*this)[i].TimeText, time(i).toLatin1().constData(), 19);
    for (int k = 0; k < kMaxChannels; ++k) {
      names[k] = "CH" + std::to_string(k + 1);
      shown[k] = 1;
    }
  }
  tagDataRecord& operator[](int i) { return recs[static_cast<std::size_t>(i)]; }
  void value(int i, int channel, double v) { (*this)[i].Channel[channel].Value = v; }
  // A power-failure marker carries the previous record's time text and values.
  void marker(int i) {
    tagDataRecord& r = (*this)[i];
    if (i > 0) {
      std::memcpy(r.TimeText, (*this)[i - 1].TimeText, sizeof r.TimeText);
      for (int k = 0; k < kMaxChannels; ++k) r.Channel[k] = (*this)[i - 1].Channel[k];
    }
    r.Marker = 1;
  }
  static QString time(int i) {
    return QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0)).addSecs(i).toString("yyyy-MM-dd HH:mm:ss");
  }
  ReportSource src() const {
    ReportSource s;
    s.records = recs.data();
    s.count = static_cast<std::int32_t>(recs.size());
    s.channelCount = channels;
    s.modelCode = model;
    s.channelNames = names;
    s.shownFlags = shown;
    return s;
  }
};
