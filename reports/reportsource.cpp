#include "reports/reportsource.h"

#include <algorithm>
#include <cstring>

QString ReportSource::timeText(std::int64_t index) const {
  if (!records || index < 0 || index >= count) return QString();
  const char* text = records[index].TimeText;
  return QString::fromLatin1(text, static_cast<int>(strnlen(text, sizeof records[index].TimeText)));
}

ReportSource MakeSource(const utPubParam& store) {
  ReportSource s;
  s.records = store.Records;
  s.count = std::clamp<std::int32_t>(store.RecordCount, 0, kRecordCapacity);
  s.channelCount = std::min<int>(store.DataHead.ChannelCount, kMaxChannels);
  s.modelCode = store.DataHead.ModelCode;
  s.channelNames = store.SysPar.ChannelName;
  s.shownFlags = store.SysPar.ChannelShown;
  return s;
}

ReportSource StoreSource() { return MakeSource(*GetPubParam()); }

IndexRange ClampRange(std::int64_t first, std::int64_t end, std::int64_t limit) {
  IndexRange r;
  r.first = std::clamp<std::int64_t>(first, 0, std::max<std::int64_t>(limit, 0));
  r.end = std::clamp<std::int64_t>(end, r.first, std::max<std::int64_t>(limit, 0));
  return r;
}
