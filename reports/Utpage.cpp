#include "reports/Utpage.h"

#include <algorithm>
#include <cstring>

#include "data/lanchg.h"
#include "reports/numformat.h"

AlarmTexts LoadAlarmTexts() {
  return {GetLangString("utpage", "Error4", QStringLiteral("上限报警,")),
          GetLangString("utpage", "Error5", QStringLiteral("下限报警,")),
          GetLangString("utpage", "Error6", QStringLiteral("正偏报警,")),
          GetLangString("utpage", "Error7", QStringLiteral("负偏报警,")),
          GetLangString("utpage", "Error8", QStringLiteral("超程报警,")),
          GetLangString("utpage", "Error9", QStringLiteral("异常报警,"))};
}

QString PowerFailText() { return GetLangString("utpage", "Error3", QStringLiteral("停电状态")); }

utpage* GetUtpage() {
  static utpage* instance = new utpage();  // never destroyed, like the other singletons
  return instance;
}

std::int64_t EffectiveStep(std::int64_t step) { return step < 1 ? 1 : step; }

namespace {

std::vector<std::int32_t> Stride(std::int64_t start, std::int64_t step, std::int64_t end,
                                 std::int64_t limit) {
  const IndexRange r = ClampRange(start, end, limit);
  const std::int64_t s = EffectiveStep(step);
  std::vector<std::int32_t> out;
  if (r.empty()) return out;
  out.reserve(static_cast<std::size_t>((r.end - r.first + s - 1) / s));
  for (std::int64_t i = r.first; i < r.end; i += s) out.push_back(static_cast<std::int32_t>(i));
  return out;
}

}  // namespace

std::vector<std::int32_t> utpage::FillDataPage(const ReportSource& src, std::int64_t start,
                                               std::int64_t step, std::int64_t end) const {
  return Stride(start, step, end, src.records ? src.count : 0);
}

std::vector<std::int32_t> utpage::FillAlarmPage(const std::vector<std::int32_t>& alarmIndex,
                                                std::int64_t start, std::int64_t step,
                                                std::int64_t end) const {
  std::vector<std::int32_t> rows = Stride(start, step, end, static_cast<std::int64_t>(alarmIndex.size()));
  for (auto& r : rows) r = alarmIndex[static_cast<std::size_t>(r)];
  return rows;
}

std::int64_t PageCount(std::int64_t first, std::int64_t end, std::int64_t step) {
  if (end <= first) return 0;
  const std::int64_t perPage = EffectiveStep(step) * kPageRows;
  return (end - first + perPage - 1) / perPage;
}

PageRange PageRangeOf(std::int64_t page, std::int64_t first, std::int64_t step,
                      std::int64_t end, std::int64_t limit) {
  const IndexRange list = ClampRange(first, end, limit);
  PageRange r;
  r.step = EffectiveStep(step);
  const std::int64_t perPage = r.step * kPageRows;
  const std::int64_t count = PageCount(list.first, list.end, r.step);
  // A stale page number beyond the last page gives an empty page, never a wrap.
  const std::int64_t p = std::clamp<std::int64_t>(page, 1, count + 1);
  r.start = std::min(list.first + (p - 1) * perPage, list.end);
  r.end = std::min(r.start + perPage, list.end);
  return r;
}

std::vector<std::int32_t> ShowDataPage(const ReportSource& src, std::int64_t page,
                                       std::int64_t first, std::int64_t step,
                                       std::int64_t end) {
  const PageRange r = PageRangeOf(page, first, step, end, src.records ? src.count : 0);
  return GetUtpage()->FillDataPage(src, r.start, r.step, r.end);
}

std::vector<std::int32_t> ShowAlarmPage(const std::vector<std::int32_t>& alarmIndex,
                                        std::int64_t page, std::int64_t first,
                                        std::int64_t step, std::int64_t end) {
  const PageRange r =
      PageRangeOf(page, first, step, end, static_cast<std::int64_t>(alarmIndex.size()));
  return GetUtpage()->FillAlarmPage(alarmIndex, r.start, r.step, r.end);
}

namespace {

bool HasAlarm(const tagDataRecord& rec, int channelCount) {
  for (int k = 0; k < channelCount; ++k) {
    const std::uint8_t* a = rec.Channel[k].Alarm;
    if (a[0] | a[1] | a[2] | a[3] | a[4] | a[5]) return true;
  }
  return false;
}

}  // namespace

std::vector<std::int32_t> CollectAlarmIndex(const ReportSource& src, std::int64_t from,
                                            std::int64_t to) {
  std::vector<std::int32_t> out;
  if (!src.records) return out;
  const IndexRange r = ClampRange(from, to, src.count);
  const int channels = std::clamp(src.channelCount, 0, kMaxChannels);
  for (std::int64_t i = r.first; i < r.end; ++i) {
    const tagDataRecord& rec = src.records[i];
    if (rec.Marker == 0 && HasAlarm(rec, channels)) out.push_back(static_cast<std::int32_t>(i));
  }
  return out;
}

std::int32_t BuildAlarmIndex(std::int64_t from, std::int64_t to) {
  utPubParam* store = GetPubParam();
  store->AlarmIndex = CollectAlarmIndex(MakeSource(*store), from, to);
  return static_cast<std::int32_t>(store->AlarmIndex.size());
}

PageButtons SetPageButtons(std::int64_t page, std::int64_t first, std::int64_t end,
                           std::int64_t step) {
  PageButtons b;
  b.previous = page > 1;
  b.next = page < PageCount(first, end, step);
  return b;
}

PageMove PrevPage(std::int64_t page, std::int64_t first, std::int64_t end, std::int64_t step) {
  PageMove m;
  m.page = page;
  if (page <= 1) {
    m.buttons = SetPageButtons(page, first, end, step);
    m.warning = GetLangString("utpage", "Error1", QStringLiteral("已经到达第一页."));
    return m;
  }
  const std::int64_t count = PageCount(first, end, step);
  m.moved = true;
  m.page = std::max<std::int64_t>(1, std::min(page - 1, count));
  m.buttons = SetPageButtons(m.page, first, end, step);
  return m;
}

PageMove NextPage(std::int64_t page, std::int64_t first, std::int64_t end, std::int64_t step) {
  PageMove m;
  m.page = page;
  if (page >= PageCount(first, end, step)) {
    m.buttons = SetPageButtons(page, first, end, step);
    m.warning = GetLangString("utpage", "Error2", QStringLiteral("已经到达最后页."));
    return m;
  }
  m.moved = true;
  m.page = std::max<std::int64_t>(page, 0) + 1;
  m.buttons = SetPageButtons(m.page, first, end, step);
  return m;
}

QStringList DataRowTexts(const tagDataRecord& rec, int channelCount, const QString& powerFail) {
  QStringList row;
  if (rec.Marker != 0) {
    row << powerFail;
    return row;
  }
  const int channels = std::clamp(channelCount, 0, kMaxChannels);
  row.reserve(channels + 1);
  row << QString::fromLatin1(rec.TimeText, static_cast<int>(strnlen(rec.TimeText, sizeof rec.TimeText)));
  for (int k = 0; k < channels; ++k) row << FormatFixed2(rec.Channel[k].Value);
  return row;
}

QString AlarmCellText(const tagChannelValue& ch, const AlarmTexts& texts) {
  QString cell;
  for (int f = 0; f < 6; ++f)
    if (ch.Alarm[f] != 0) cell += texts[static_cast<std::size_t>(f)];
  return cell;
}

QStringList AlarmCellTexts(const tagChannelValue& ch, const AlarmTexts& texts) {
  QStringList cell;
  for (int f = 0; f < 6; ++f)
    if (ch.Alarm[f] != 0) cell << texts[static_cast<std::size_t>(f)];
  return cell;
}

QStringList AlarmRowTexts(const tagDataRecord& rec, int channelCount, const AlarmTexts& texts) {
  const int channels = std::clamp(channelCount, 0, kMaxChannels);
  QStringList row;
  row.reserve(channels + 1);
  row << QString::fromLatin1(rec.TimeText, static_cast<int>(strnlen(rec.TimeText, sizeof rec.TimeText)));
  for (int k = 0; k < channels; ++k) row << AlarmCellText(rec.Channel[k], texts);
  return row;
}
