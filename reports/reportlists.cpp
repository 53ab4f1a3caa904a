#include "reports/reportlists.h"

#include <algorithm>
#include <string>

#include "data/lanchg.h"
#include "reports/Utpage.h"
#include "reports/numformat.h"

namespace {

constexpr int kTimeColumnWidth = 120;

QString RecordTimeCaption() {
  return GetLangString("utPubParam", "Error2", QStringLiteral("记录时间"));
}

int Channels(const ReportSource& src) { return std::clamp(src.channelCount, 0, kMaxChannels); }

}  // namespace

QString RecordColumnCaption(const ReportSource& src, int channel) {
  // The power meters' channel names are their language labels from the moment the
  // header is read, and only the name follows a rename: the name is the caption, as in
  // every other list.
  if (src.modelCode <= 11) return src.channelName(channel);
  return QString();
}

std::vector<ColumnSpec> BuildRecordListColumns(const ReportSource& src) {
  std::vector<ColumnSpec> cols{{RecordTimeCaption(), kTimeColumnWidth, -1}};
  for (int k = 0; k < Channels(src); ++k)
    cols.push_back({RecordColumnCaption(src, k), src.shown(k) ? 60 : 0, k});
  return cols;
}

std::vector<ColumnSpec> BuildAlarmListColumns(const ReportSource& src) {
  std::vector<ColumnSpec> cols{{RecordTimeCaption(), kTimeColumnWidth, -1}};
  for (int k = 0; k < Channels(src); ++k)
    cols.push_back({src.channelName(k), src.shown(k) ? 180 : 0, k});
  return cols;
}

std::vector<ColumnSpec> PowerFailListColumns() {
  return {{GetLangString("utPubParam", "Error3", QStringLiteral("停电时间")), kTimeColumnWidth, -1}};
}

std::vector<QString> BuildPowerFailList(const ReportSource& src, std::int64_t first,
                                        std::int64_t end) {
  std::vector<QString> rows;
  if (!src.records) return rows;
  const IndexRange r = ClampRange(first, end, src.count);
  for (std::int64_t i = r.first; i < r.end; ++i)
    if (src.records[i].Marker != 0) rows.push_back(src.timeText(i > 0 ? i - 1 : 0));
  // The first record after the window closes its last failure.
  if (end >= 0 && end < src.count) rows.push_back(src.timeText(end));
  return rows;
}

int ShownColumnWidth(int pageMode, int modelCode) {
  if (pageMode == kModeAlarm || pageMode == kModePeak) return 180;
  return modelCode < 10 ? 60 : 90;
}

bool SetColumnLayout(std::vector<ColumnSpec>& columns, const ReportSource& src, int pageMode,
                     int channel, int operation, const QString& newName) {
  const int shownWidth = ShownColumnWidth(pageMode, src.modelCode);
  auto find = [&](int ch) {
    return std::find_if(columns.begin(), columns.end(),
                        [ch](const ColumnSpec& c) { return c.channel == ch; });
  };
  bool changed = false;
  auto set = [&changed](auto& field, auto value) {
    if (field != value) {
      field = value;
      changed = true;
    }
  };
  switch (operation) {
    case 0:
    case 1: {
      auto it = find(channel);
      if (it != columns.end()) set(it->width, operation == 0 ? 0 : shownWidth);
      break;
    }
    case 3:
      for (ColumnSpec& c : columns)
        if (c.channel >= 0 && c.channel < Channels(src))
          set(c.width, src.shown(c.channel) ? shownWidth : 0);
      break;
    case 4: {
      if (pageMode == kModeCurves) break;
      auto it = find(channel);
      if (it != columns.end()) set(it->caption, newName);
      break;
    }
    default:
      break;
  }
  return changed;
}

QString InvalidNumberText() { return QStringLiteral("无效的数值."); }

bool PageEditValid(const QString& typed) { return LeadingInt(typed) > 0; }

GoToDecision DecideGoTo(const QString& typed, std::int64_t currentPage, std::int64_t first,
                        std::int64_t end, std::int64_t step) {
  GoToDecision d;
  const std::int64_t p = LeadingInt(typed);
  d.page = currentPage;
  d.editText = typed;
  if (p <= 0) {
    d.kind = GoToDecision::Invalid;
    d.message = InvalidNumberText();
    return d;
  }
  if (p > PageCount(first, end, step)) {
    d.kind = GoToDecision::OutOfRange;
    d.editText = QString::number(currentPage);
    d.message = GetLangString("frmQuna", "Error29", QStringLiteral("超出页面范围."));
    return d;
  }
  d.kind = GoToDecision::Go;
  d.page = p;
  d.editText = QString::number(p);
  return d;
}

PageKeyAction PageEditKey(int key) {
  PageKeyAction a;
  a.goTo = key == 13;
  a.keep = (key >= '0' && key <= '9') || key == 8;
  return a;
}
