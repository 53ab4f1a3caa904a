// The record found under the chart cursor, the value panel texts and the panel drag.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "mainwindow/cursorrules.h"
#include "platform/chartseries.h"

namespace {

double At(int h, int m, int s) { return ToDateTimeValue(QDate(2024, 5, 6), QTime(h, m, s)); }

// A store holding records at the given times (seconds after midnight); value = 1.25 * i + c.
utPubParam& StoreWith(const std::vector<int>& seconds, int channels = 2) {
  utPubParam& s = *GetPubParam();
  s.DataHead = tagDataHead{};
  s.DataHead.ChannelCount = static_cast<std::uint8_t>(channels);
  s.RecordCount = 0;
  for (int c = 0; c < kMaxChannels; ++c) s.SysPar.ChannelShown[c] = 1;
  for (int t : seconds) {
    tagDataRecord& r = s.Records[s.RecordCount];
    std::memset(&r, 0, sizeof r);
    r.Time = At(t / 3600, t / 60 % 60, t % 60);
    char text[64] = {};
    std::snprintf(text, sizeof text, "2024-05-06 %02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
    std::memcpy(r.TimeText, text, sizeof r.TimeText - 1);
    for (int c = 0; c < kMaxChannels; ++c) r.Channel[c].Value = 1.25 * s.RecordCount + c;
    ++s.RecordCount;
  }
  return s;
}

int Sec(int h, int m, int s) { return h * 3600 + m * 60 + s; }

}  // namespace

TEST(CursorSearch, Table) {
  const struct {
    const char* name;
    std::vector<int> records;
    double click;
    int interval;
    int expect;
  } cases[] = {
      {"within tolerance", {Sec(7, 59, 40), Sec(7, 59, 58), Sec(8, 0, 30)}, At(8, 0, 4), 10, 1},
      {"retry from -30 s finds the earlier record",
       {Sec(7, 50, 0), Sec(7, 59, 27), Sec(8, 0, 12), Sec(8, 10, 0)}, At(8, 0, 0), 5, 1},
      {"one record", {Sec(8, 0, 0)}, At(8, 0, 1), 1, 0},
      {"two records, second", {Sec(8, 0, 0), Sec(9, 0, 0)}, At(9, 0, 0), 1, 1},
      {"two records, first", {Sec(8, 0, 0), Sec(9, 0, 0)}, At(8, 0, 0), 1, 0},
      {"nothing within 30 s", {Sec(7, 0, 0), Sec(9, 0, 0)}, At(8, 0, 0), 5, -1},
  };
  for (const auto& c : cases) {
    utPubParam& s = StoreWith(c.records);
    const CursorHit hit = FindCursorRecord(s, true, c.click, c.interval, DefaultLangText);
    EXPECT_EQ(hit.record, c.expect) << c.name;
    EXPECT_EQ(hit.message.isEmpty(), c.expect >= 0) << c.name;
    if (c.expect < 0) {
      EXPECT_EQ(hit.message, QString::fromUtf8("无数据")) << c.name;
    }
  }
}

TEST(CursorSearch, EmptyStoreAndBadText) {
  utPubParam& s = StoreWith({});
  // A stale record at index -1 would be read by a naive search: make sure it is not.
  int status = 0;
  EXPECT_EQ(FindRecordByTime(s, "2024-05-06 08:00:00", 10, status), -1);
  EXPECT_EQ(status, 2);
  StoreWith({Sec(8, 0, 0)});
  EXPECT_EQ(FindRecordByTime(s, "2024-05-06 8:0:3", 5, status), 0);
  EXPECT_EQ(FindRecordByTime(s, "2024-02-30 08:00:00", 5, status), -1);
}

TEST(CursorSearch, GapShowsPowerFailureInEveryRow) {
  utPubParam& s = StoreWith({Sec(8, 0, 0), Sec(8, 0, 10), Sec(9, 0, 0), Sec(9, 0, 10)});
  ChartSeries series(nullptr);
  for (int i = 0; i < 4; ++i) {
    if (i == 2) series.BreakSegment();
    series.AddXY(s.Records[i].Time, 0);
  }
  const std::vector<ChartSeries*> curves = {&series};
  EXPECT_FALSE(CursorInSegment(curves, At(8, 30, 0)));
  EXPECT_TRUE(CursorInSegment(curves, At(9, 0, 5)));

  const std::vector<LegendRow> rows = {{0, "a"}, {1, "b"}};
  CursorHit gap = FindCursorRecord(s, false, At(8, 30, 0), 5, DefaultLangText);
  EXPECT_EQ(gap.record, -1);
  for (const auto& t : ValuePanelTexts(s, rows, gap)) EXPECT_EQ(t.value_or(""), QString::fromUtf8("停电"));

  const CursorHit hit = FindCursorRecord(s, true, At(9, 0, 9), 2, DefaultLangText);
  ASSERT_EQ(hit.record, 3);
  s.SysPar.ChannelShown[1] = 0;  // the legend is stale: that row keeps its text
  const auto texts = ValuePanelTexts(s, rows, hit);
  EXPECT_EQ(texts[0].value_or(""), "3.8");  // "%0.1f" of 3.75
  EXPECT_FALSE(texts[1].has_value());
}

TEST(ValuePanel, DragStaysInTheChartArea) {
  PanelDrag d;
  d.panelPos = QPoint(800, 100);
  d.panelSize = QSize(167, 202);
  d.parentSize = QSize(1200, 800);
  d.pnl3Height = 40;
  d.pnLineWidth = 900;
  d.pnl9Width = 250;
  d.pnl9Height = 700;
  d.pressAt = QPoint(10, 5);
  d.mouseAt = QPoint(2000, 5);  // far right: snaps to the right edge
  EXPECT_EQ(DragValuePanel(d).x(), 900 + 250 - 167 + 10);
  d.mouseAt = QPoint(30, 5000);  // far below: the left position is kept
  EXPECT_EQ(DragValuePanel(d), QPoint(820, 700 - 202 + 2));
  d.mouseAt = QPoint(10, -500);  // above the top strip
  EXPECT_EQ(DragValuePanel(d).y(), 41);
}
