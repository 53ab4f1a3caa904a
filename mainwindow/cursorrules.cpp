#include "mainwindow/cursorrules.h"

#include <QSize>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "mainwindow/layoutrules.h"
#include "platform/chartaxis.h"
#include "platform/chartseries.h"
#include "platform/datetime.h"

int FindRecordByTime(const utPubParam& store, const std::string& text, int avgInterval, int& status) {
  status = 0;
  double t;
  const int count = std::min(store.RecordCount, kRecordCapacity);
  if (count <= 0 || !StrToDateTime(QString::fromStdString(text), t)) {
    status = 2;
    return -1;
  }
  const double delta = avgInterval / 86400.0;
  const std::string low = FormatRecordTime(t - delta), high = FormatRecordTime(t + delta);
  const auto textOf = [&](int i) { return store.Records[i].TimeText; };
  int lo = 0, hi = count - 1, previousMid = -1;
  for (;;) {
    if (std::strcmp(textOf(lo), textOf(hi)) > 0) break;
    const int mid = (lo + hi) / 2;
    if (mid == previousMid) break;
    previousMid = mid;
    const char* m = textOf(mid);
    if (std::strcmp(low.c_str(), m) <= 0 && std::strcmp(m, high.c_str()) <= 0) return mid;
    if (std::strcmp(m, high.c_str()) > 0)
      hi = mid - 1;
    else
      lo = mid + 1;
    if (lo > count - 1 || hi < 0) break;
  }
  status = 2;
  return -1;
}

CursorHit FindCursorRecord(const utPubParam& store, bool inSegment, double x, int avgInterval,
                           const LangLookup& lang) {
  CursorHit hit;
  hit.inSegment = inSegment;
  hit.timeText = FormatChartDateTime(x);
  if (!inSegment) {
    hit.message = lang("frmQuna", "Error31", QString::fromUtf8("停电"));
    return hit;
  }
  const long long t = DateTimeToSeconds(x);
  int status = 0;
  int idx = FindRecordByTime(store, FormatRecordTime(SecondsToDateTime(t)), avgInterval, status);
  for (int k = -30; status == 2 && k < 30; ++k)
    idx = FindRecordByTime(store, FormatRecordTime(SecondsToDateTime(t + k)), avgInterval, status);
  if (status == 2) {
    hit.message = lang("frmQuna", "Error32", QString::fromUtf8("无数据"));
    return hit;
  }
  hit.record = idx;
  return hit;
}

bool CursorInSegment(const std::vector<ChartSeries*>& curveSeries, double x) {
  return !curveSeries.empty() && curveSeries.front()->SegmentContaining(x) >= 0;
}

std::vector<std::optional<QString>> ValuePanelTexts(const utPubParam& store,
                                                    const std::vector<LegendRow>& rows,
                                                    const CursorHit& hit) {
  std::vector<std::optional<QString>> texts;
  const int count = ChannelCountOf(store);
  for (const LegendRow& row : rows) {
    if (row.channel < 0 || row.channel >= count || store.SysPar.ChannelShown[row.channel] == 0) {
      texts.emplace_back(std::nullopt);
    } else if (hit.record >= 0 && hit.record < std::min(store.RecordCount, kRecordCapacity)) {
      texts.emplace_back(QString::asprintf("%0.1f", store.Records[hit.record].Channel[row.channel].Value));
    } else {
      texts.emplace_back(hit.message);
    }
  }
  return texts;
}

QString MarkerValueText(const std::vector<std::optional<QString>>& texts, const CursorHit& hit) {
  if (hit.record < 0) return hit.message;
  for (auto it = texts.rbegin(); it != texts.rend(); ++it)
    if (*it) return **it;
  return {};
}

bool CursorTimeShown(double x, double axisMinimum, double axisMaximum) {
  const double t = SecondsToDateTime(DateTimeToSeconds(x));
  return t >= axisMinimum && t <= axisMaximum;
}

int ValuePanelHeight(int channelCount) { return channelCount > 13 ? channelCount * 14 + 30 : 202; }

QPoint DragValuePanel(const PanelDrag& d) {
  const int mw = d.panelSize.width(), mh = d.panelSize.height();
  const int pw = d.parentSize.width(), ph = d.parentSize.height();
  int top = d.panelPos.y() - (d.pressAt.y() - d.mouseAt.y());
  int left = d.panelPos.x() - (d.pressAt.x() - d.mouseAt.x());
  if (top < d.pnl3Height) top = d.pnl3Height + 1;
  if (top > ph - mh) top = ph - mh;
  if (left < 1) left = 1;
  if (left > pw - mw - 2) left = pw - mw - 2;
  const int newLeft = mw + left > pw - 20 ? d.pnLineWidth + d.pnl9Width - mw + 10 : left;
  const int newTop = mh + top > d.pnl9Height + 2 ? d.pnl9Height - mh + 2 : top;
  // The snap to the right edge would put the panel's right border outside the form;
  // the panel stays whole inside it.
  return KeepPanelInside(QPoint(newLeft, newTop), d.panelSize, {d.parentSize, d.pnl3Height});
}
