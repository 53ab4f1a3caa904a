#include <gtest/gtest.h>

#include <ostream>
#include <algorithm>
#include <map>
#include <tuple>

#include "output/reportpages.h"
#include "data/lanchg.h"
#include "platform/gbk.h"
#include "support/files.h"
#include "support/listrecords.h"
#include "support/recordingcanvas.h"

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// Margins 0 %, paper at 600 dpi: W 4960, LH 80, CW 66; N = H / 160 for H = 8 h, so
// Metrics(600) has 30 rules; the text of band b lies at 160 b + 40; X0 = 12 x 66 + 33.
PageMetrics Metrics(int h, int width = 4960) { return {width, 8 * h, 80, 66, 600, 600}; }
int BandY(int band) { return 160 * band + 40; }
constexpr int kX0 = 825;

ReportLayout Layout(const ReportContent& c, const PageMetrics& m) { return LayoutReport(c, m, 0, 0, 0); }

RecordingCanvas Draw(const ReportContent& c, const ReportLayout& l, std::int64_t page) {
  RecordingCanvas cv(l.m.unitsPerInchY);
  DrawReportPage(cv, c, l, page, "2024-05-06 07:08:09");
  return cv;
}

}  // namespace

// A4 at 600 dpi, 5 % margins, LH 70.
TEST(ReportGeometry, A4AtSixHundredDpi) {
  const PageMargins m = ComputeMargins(4960, 7016, 5, 5, 5);
  EXPECT_EQ(std::tuple(m.top, m.bottom, m.left), std::tuple(351, 351, 248));
  const int n = RuleCount(m.usable, 70);
  EXPECT_EQ(n, 46);
  EXPECT_EQ(LinesOnPage(1, n), 41);
  EXPECT_EQ(LinesOnPage(2, n), 44);
}

// Nothing to list, too few rules (N = 5), no line height, no usable height: one page with
// a footer and no table, never a division by 0.
TEST(ReportGeometry, PageCountsAndDegenerateLayouts) {
  EXPECT_EQ(PageCountFor(0, RecordCapacity(30, 1)), 1);
  EXPECT_EQ(ClampPage(5, 0), 1);
  TestRecords s(50, 3);
  for (int kind : {1, 3, 4, 5, 6}) {
    ReportContent c = BuildReportContent(s.src(), kind, 0, 50, 1);
    for (PageMetrics m : {Metrics(100), PageMetrics{4960, 4800, 0, 0, 600, 600}, Metrics(0)}) {
      const ReportLayout l = Layout(c, m);
      EXPECT_EQ(l.pageCount, 1);
      RecordingCanvas cv = Draw(c, l, 1);
      EXPECT_NE(cv.find(QStringLiteral("第 1 页/共 1 页")), nullptr) << kind;
      EXPECT_EQ(cv.find(TestRecords::time(0)), nullptr) << kind;
    }
  }
}

TEST(ReportPages, DataReportLinesFollowThePageAndTheStep) {
  TestRecords s(1000, 3);
  s.shown[1] = 0;
  for (int i = 0; i < 1000; ++i) s.value(i, 2, i + 0.25);
  s.marker(110);  // a marker row reads as the data list shows it
  ReportContent c = BuildReportContent(s.src(), kReportData, 100, 900, 10);
  c.rangeText = "A=>B";
  const ReportLayout l = Layout(c, Metrics(600));  // N = 30
  ASSERT_EQ(l.rules, 30);
  EXPECT_EQ(l.x0, kX0);
  EXPECT_EQ(l.pageCount, 3);  // 80 lines: 25, 28, 27

  RecordingCanvas p1 = Draw(c, l, 1);
  EXPECT_EQ(p1.row(BandY(0)), (QStringList{"设备名称：", "打印时间：2024-05-06 07:08:09"}));
  EXPECT_EQ(p1.row(BandY(1)), (QStringList{"时间范围：A=>B"}));
  EXPECT_EQ(p1.row(BandY(3)), (QStringList{"记录时间", "CH1", "CH3"}));
  EXPECT_EQ(p1.row(BandY(4)), (QStringList{TestRecords::time(100), "0.0", "100.2"}));
  EXPECT_EQ(p1.row(BandY(5)), QStringList{"停电状态"});
  EXPECT_EQ(p1.row(BandY(6)), (QStringList{TestRecords::time(120), "0.0", "120.2"}));
  EXPECT_EQ(p1.row(BandY(28)), (QStringList{TestRecords::time(340), "0.0", "340.2"}));
  EXPECT_TRUE(p1.row(BandY(29)).filter("2024").isEmpty());

  RecordingCanvas p2 = Draw(c, l, 2);
  EXPECT_EQ(p2.row(BandY(0)), (QStringList{"记录时间", "CH1", "CH3"}));
  EXPECT_EQ(p2.row(BandY(1)).first(), TestRecords::time(350));
  RecordingCanvas p3 = Draw(c, l, 3);
  EXPECT_EQ(p3.row(BandY(27)).first(), TestRecords::time(890));
  EXPECT_TRUE(p3.row(BandY(28)).filter("2024").isEmpty());

  // Beyond the last page: column headers and footer, no lines.
  RecordingCanvas p9 = Draw(c, l, 9);
  EXPECT_EQ(p9.row(BandY(0)), (QStringList{"记录时间", "CH1", "CH3"}));
  EXPECT_TRUE(p9.row(BandY(1)).isEmpty());
}

TEST(ReportPages, AlarmCellsHoldTheirOwnChannelsAlarms) {
  TestRecords s(20, 3);
  s[4].Channel[0].Alarm[0] = 1;
  s[4].Channel[0].Alarm[5] = 1;
  s[4].Channel[2].Alarm[1] = 1;
  s[9].Channel[1].Alarm[4] = 1;
  s.marker(12);
  s[12].Channel[0].Alarm[0] = 1;  // a marker is never an alarm record
  ReportContent c = BuildReportContent(s.src(), kReportAlarm, 2, 20, 1);
  ASSERT_EQ(c.alarmIndex, (std::vector<std::int32_t>{4, 9}));
  const ReportLayout l = Layout(c, Metrics(600));
  EXPECT_EQ(l.pageCount, 1);
  RecordingCanvas cv = Draw(c, l, 1);
  EXPECT_EQ(cv.row(BandY(4)), (QStringList{TestRecords::time(4), "上限报警,异常报警,", "下限报警,"}));
  const Drawn* lower = cv.find("下限报警,");
  ASSERT_NE(lower, nullptr);
  EXPECT_EQ(lower->x, kX0 + 2 * l.columnWidth + 33);  // the third column, the second keeps its place
  EXPECT_EQ(cv.row(BandY(5)), (QStringList{TestRecords::time(9), "超程报警,"}));
  EXPECT_TRUE(cv.row(BandY(6)).isEmpty());
}

TEST(ReportPages, PowerFailureEntriesFillColumnsThenPages) {
  // N = 20: 15 slots per column on page 1.
  TestRecords s(200, 2);
  for (int i = 1; i <= 20; ++i) s.marker(i * 5);
  ReportContent c = BuildReportContent(s.src(), kReportPowerFail, 0, 150, 1);
  ASSERT_EQ(c.powerEntries.size(), 21u);  // 20 markers and the record after the range
  ReportLayout l = Layout(c, Metrics(400));
  ASSERT_EQ(l.rules, 20);
  EXPECT_EQ(l.pageCount, 1);
  RecordingCanvas cv = Draw(c, l, 1);
  const int v = l.x0;  // the time column's width (L = 0)
  EXPECT_EQ(cv.row(BandY(3)), (QStringList{"记录时间", "记录时间"}));
  EXPECT_EQ(cv.row(BandY(4)), (QStringList{TestRecords::time(4), TestRecords::time(79)}));
  EXPECT_EQ(cv.row(BandY(9)), (QStringList{TestRecords::time(29), TestRecords::time(150)}));
  EXPECT_EQ(cv.find(TestRecords::time(150))->x, v + 33);

  // Two columns across the page: the rest continues on page 2 with its own headers.
  l = Layout(c, Metrics(300, 2 * v + 100));  // N = 15: 10 slots, then 13
  ASSERT_EQ(l.powerColumns, 2);
  EXPECT_EQ(l.pageCount, 2);
  RecordingCanvas p2 = Draw(c, l, 2);
  EXPECT_EQ(p2.row(BandY(0)), (QStringList{"记录时间"}));
  EXPECT_EQ(p2.row(BandY(1)), (QStringList{TestRecords::time(150)}));

  // Without markers only the record after the range; at the end of the data, nothing.
  ReportContent none = BuildReportContent(s.src(), kReportPowerFail, 120, 150, 1);
  EXPECT_EQ(none.powerEntries, (std::vector<QString>{TestRecords::time(150)}));
  EXPECT_TRUE(BuildReportContent(s.src(), kReportPowerFail, 120, 200, 1).powerEntries.empty());
}

TEST(ReportPages, PeakAndAverageGroupsOfSevenChannels) {
  TestRecords s(10, 8);
  s.shown[3] = 0;  // 7 shown: 0 1 2 4 5 6 7
  for (int i = 0; i < 10; ++i) s.value(i, 0, i == 3 || i == 6 ? 12.5 : 1.0);
  s.value(8, 0, -3.25);
  for (int i = 0; i < 10; ++i) s.value(i, 7, 2 * i);
  ReportContent peaks = BuildReportContent(s.src(), kReportPeak, 0, 10, 1);
  ReportLayout l = Layout(peaks, Metrics(600));
  EXPECT_EQ(peaks.items(), 3);
  EXPECT_EQ(l.pageCount, 1);
  RecordingCanvas cv = Draw(peaks, l, 1);
  // Groups of 3, 3 and 1 in bands 3..11; ties keep the earliest time.
  EXPECT_EQ(cv.row(BandY(3)), (QStringList{"峰值类别", "CH1", "CH2", "CH3"}));
  EXPECT_EQ(cv.row(BandY(4)).mid(0, 2), (QStringList{"最大值", TestRecords::time(3) + "=>12.5"}));
  EXPECT_EQ(cv.row(BandY(5)).mid(0, 2), (QStringList{"最小值", TestRecords::time(8) + "=>-3.2"}));
  EXPECT_EQ(cv.row(BandY(6)), (QStringList{"峰值类别", "CH5", "CH6", "CH7"}));
  EXPECT_EQ(cv.row(BandY(9)), (QStringList{"峰值类别", "CH8"}));
  EXPECT_EQ(cv.row(BandY(10)), (QStringList{"最大值", TestRecords::time(9) + "=>18.0"}));
  EXPECT_TRUE(cv.row(BandY(12)).isEmpty());
  EXPECT_TRUE(cv.find("CH2")->bold);
  // Cells from 7 CW (the GBK bytes of "峰值类别" less 2, plus 1), a third of the rest
  // each; the values CW/4 left of the names.
  EXPECT_EQ(cv.find("CH1")->x, 462);
  EXPECT_EQ(cv.find("CH2")->x, 462 + 1499);
  EXPECT_EQ(cv.find(TestRecords::time(3) + "=>12.5")->x, 462 - 16);

  ReportContent avg = BuildReportContent(s.src(), kReportAverage, 0, 10, 1);
  l = Layout(avg, Metrics(600));
  cv = Draw(avg, l, 1);
  EXPECT_EQ(cv.row(BandY(3)), (QStringList{"开始时间", "结束时间", "CH1", "CH2", "CH3", "CH5", "CH6"}));
  EXPECT_EQ(cv.row(BandY(4)), (QStringList{TestRecords::time(0), TestRecords::time(9), "2.88", "0.00",
                                           "0.00", "0.00", "0.00"}));
  EXPECT_EQ(cv.row(BandY(6)), (QStringList{"CH7", "CH8"}));
  EXPECT_EQ(cv.row(BandY(7)), (QStringList{TestRecords::time(0), TestRecords::time(9), "0.00", "9.00"}));
  // Cells from 2 X0, a fifth of the rest each.
  EXPECT_EQ(cv.find("CH1")->x, 2 * kX0 + 33);
  EXPECT_EQ(cv.find("CH2")->x, 2 * kX0 + 662 + 33);

  // Too few bands for every group: the rest continue on a second page.
  l = Layout(peaks, Metrics(200));  // N = 10: bands 3..8 hold two groups
  EXPECT_EQ(l.pageCount, 2);
  cv = Draw(peaks, l, 2);
  EXPECT_EQ(cv.row(BandY(0)), (QStringList{"峰值类别", "CH8"}));
  EXPECT_EQ(cv.row(BandY(1)), (QStringList{"最大值", TestRecords::time(9) + "=>18.0"}));
}

TEST(ReportPages, EmptyAndMarkerOnlyRangesGiveEmptyCells) {
  TestRecords s(10, 2);
  s.marker(4);
  s.marker(5);
  // Markers carry the time of the record before them: the peak cells are drawn, empty.
  ReportContent peaks = BuildReportContent(s.src(), kReportPeak, 4, 6, 1);
  RecordingCanvas pk = Draw(peaks, Layout(peaks, Metrics(600)), 1);
  EXPECT_EQ(pk.row(BandY(3)), (QStringList{"峰值类别", "CH1", "CH2"}));
  EXPECT_EQ(pk.row(BandY(4)), QStringList{"最大值"});
  EXPECT_EQ(pk.row(BandY(5)), QStringList{"最小值"});
  ReportContent avg = BuildReportContent(s.src(), kReportAverage, 4, 6, 1);
  RecordingCanvas av = Draw(avg, Layout(avg, Metrics(600)), 1);
  EXPECT_EQ(av.row(BandY(3)), (QStringList{"开始时间", "结束时间", "CH1", "CH2"}));
  // The averages say there is no mean, as the export writes it.
  EXPECT_EQ(av.row(BandY(4)), (QStringList{TestRecords::time(3), TestRecords::time(3), "0.0", "0.0"}));
  // The energy total of a model-11 file: one line, two decimals, its own title.
  s.model = 11;
  s.value(1, 0, 1.5);
  s.value(2, 0, 2.25);
  ReportContent e = BuildReportContent(s.src(), kReportPeak, 0, 7, 1);
  ReportLayout l = Layout(e, Metrics(600));
  EXPECT_EQ(l.x0, 8 * 66 + 33);  // from "开始时间", 8 GBK bytes
  RecordingCanvas cv = Draw(e, l, 1);
  EXPECT_EQ(cv.row(BandY(4)), (QStringList{TestRecords::time(0), TestRecords::time(6), "3.75"}));
  EXPECT_NE(cv.find("报表类型：电量累计"), nullptr);
}

TEST(ReportPages, FooterNoShownChannelAndLongNames) {
  TestRecords s(30, 4);
  for (int k = 0; k < 4; ++k) s.shown[k] = 0;
  for (int kind : {1, 3, 4, 5, 6}) {
    ReportContent c = BuildReportContent(s.src(), kind, 0, 20, 1);
    const ReportLayout l = Layout(c, Metrics(600));
    RecordingCanvas cv = Draw(c, l, 1);
    const Drawn* pageText = cv.find(QStringLiteral("第 1 页/共 1 页"));
    ASSERT_NE(pageText, nullptr) << kind;
    // 0.3 LH below the last rule; 10.5 CW left of the inner right edge.
    EXPECT_EQ(pageText->y, static_cast<int>(6.3 * 80 + 2 * 80 * 26));
    EXPECT_EQ(pageText->x, 4960 - 693);
  }
  ReportContent data = BuildReportContent(s.src(), kReportData, 0, 30, 1);
  EXPECT_EQ(Draw(data, Layout(data, Metrics(600)), 1).row(BandY(4)), (QStringList{TestRecords::time(0)}));
  // A name of 70 + 80 GBK bytes is cut on a character: 127 bytes would split one.
  s.shown[0] = 1;
  s.names[0] = std::string(70, 'x');
  for (int i = 0; i < 40; ++i) s.names[0] += "通";
  data = BuildReportContent(s.src(), kReportData, 0, 30, 1);
  const QString cut = Draw(data, Layout(data, Metrics(600)), 1).row(BandY(3)).at(1);
  EXPECT_EQ(gbk::Encode(cut).size(), 126u);
  EXPECT_TRUE(cut.endsWith("通"));
}

TEST(ReportPages, PrintingStartsAtThePaperPageOfTheShownItems) {
  TestRecords s(3000, 2);
  ReportContent c = BuildReportContent(s.src(), kReportData, 0, 3000, 2);
  const ReportLayout preview = Layout(c, Metrics(400));  // N 20: 15 lines, then 18
  const ReportLayout paper = Layout(c, Metrics(1000));   // N 50: 45 lines, then 48
  EXPECT_EQ(PrintStartPage(c, preview, 1, paper), 1);
  // Preview page 4 starts at item (15 + 18 x 2) x 2 = 102: paper page 2 (items 90..185).
  EXPECT_EQ(PrintStartPage(c, preview, 4, paper), 2);
  EXPECT_EQ(Draw(c, preview, 4).row(BandY(1)).first(), TestRecords::time(102));
  EXPECT_EQ(Draw(c, paper, 2).row(BandY(7)).first(), TestRecords::time(102));
  // The last preview page is on the last paper page; beyond it there is nothing to print.
  EXPECT_EQ(PrintStartPage(c, preview, preview.pageCount, paper), paper.pageCount);
  EXPECT_GT(PrintStartPage(c, preview, preview.pageCount + 1, paper), paper.pageCount);
}

// Every report kind with many shown channels, long names and values and every alarm:
// no text meets another or crosses a rule, on any page, at the default paper and at a
// 300-dpi printer's own units. Where even the smallest font does not hold a text, it is
// cut on a character.
TEST(ReportPages, NoTextOverTextAtAnyChannelCount) {
  TestRecords s(400, 32);
  for (int i = 0; i < 400; ++i)
    for (int k = 0; k < 32; ++k) {
      s.value(i, k, (k % 2 ? -1 : 1) * (i * 97.31 + k * 100000.25));
      if ((i + k) % 7 == 0)
        for (auto& a : s[i].Channel[k].Alarm) a = 1;
    }
  for (int i = 20; i < 400; i += 37) s.marker(i);
  for (int k = 0; k < 32; ++k) s.names[k] = "通道温度" + std::to_string(k + 1);
  const PageMetrics papers[] = {DefaultPaperMetrics(true), ComputePageMetrics(300, 300, 2400, 3400, 33, 39, false)};
  for (int model : {0, 11})
    for (int kind : {1, 3, 4, 5, 6})
      for (int shown : {4, 16, 32})
        for (const PageMetrics& m : papers) {
          if (model == 11 && kind != kReportPeak) continue;
          s.model = model;
          for (int k = 0; k < 32; ++k) s.shown[k] = k < shown;
          ReportContent c = BuildReportContent(s.src(), kind, 0, 390, 1);
          if (shown == 16) {  // the longer English texts
            c.texts.alarms = {"Upper limit alarm,", "Lower limit alarm,", "Positive deviation alarm,",
                              "Negative deviation alarm,", "Over-range alarm,", "Abnormal alarm,"};
            c.texts.recordTime = "Record time";
            c.texts.peakKind = "Peak kind";
            c.texts.powerFail = "Power failure";
            c.texts.pageBefore = "Page";
            c.texts.title = "Report: power failures";
          }
          c.deviceName = QString(40, QChar(0x70C9));
          c.rangeText = TestRecords::time(0) + "=>" + TestRecords::time(389);
          const ReportLayout l = LayoutReport(c, m, 5, 5, 5);
          EXPECT_GE(l.bodyPoints, kMinPoints);
          for (std::int64_t page = 1; page <= std::min<std::int64_t>(l.pageCount, 2); ++page) {
            RecordingCanvas cv = Draw(c, l, page);
            EXPECT_EQ(cv.clash(), QString()) << "kind " << kind << " model " << model << " channels " << shown
                                             << " dpi " << m.unitsPerInchY << " page " << page;
          }
        }
  // The channel values of 32 columns at 600 dpi: the smallest font; a figure that does not
  // fit loses its decimals, then shows '#', never a cut head that reads as another value.
  for (int k = 0; k < 32; ++k) s.shown[k] = 1;
  s.model = 0;
  ReportContent c = BuildReportContent(s.src(), kReportData, 0, 10, 1);
  const ReportLayout l = LayoutReport(c, papers[0], 5, 5, 5);
  EXPECT_EQ(l.bodyPoints, kMinPoints);
  EXPECT_LT(l.x0 - l.g.left, 12 * papers[0].charWidth);  // the time column narrowed with it
  RecordingCanvas cv = Draw(c, l, 1);
  const QString full = "-500001.2";  // channel 6 of record 0
  EXPECT_TRUE(std::any_of(cv.texts.begin(), cv.texts.end(), [](const Drawn& d) { return d.text.startsWith('#'); }));
  for (const Drawn& d : cv.texts)
    EXPECT_FALSE(d.text.size() >= 2 && d.text != "-500001" && d.text != full && full.startsWith(d.text)) << d.text.toStdString();
}

TEST(ReportPages, FiguresLoseDecimalsThenShowMarksNeverAHead) {
  const PageFont& f = GetPageFont(8, false, 600);
  const int five = static_cast<int>(f.Width("-2401")) + 1;
  EXPECT_EQ(NumberThatFits(f, "", -2400.6, 1, five + 100), "-2400.6");
  EXPECT_EQ(NumberThatFits(f, "", -2400.6, 1, five), "-2401");
  EXPECT_EQ(NumberThatFits(f, "", 0.04, 2, static_cast<int>(f.Width("0.0")) + 1), "0.0");
  const QString marks = NumberThatFits(f, "", -500001.2, 1, five);
  EXPECT_TRUE(marks.size() >= 3 && marks == QString(marks.size(), '#') && f.Width(marks) <= five) << marks.toStdString();
  EXPECT_EQ(NumberThatFits(f, "t=>", 12.25, 1, static_cast<int>(f.Width("t=>12")) + 1), "t=>12");
  EXPECT_EQ(NumberThatFits(f, "", 7, 1, 1), "");
}

// The demo's alarms and one cell with all six, on A4 at 16 and 32 channels in both shipped
// languages: a cell that one line does not hold gets a line per alarm, each a head of its
// text (whole at 16 channels); with more texts than lines the last ends in "…".
TEST(ReportPages, AlarmCellsStackEveryAlarmOnPaper) {
  TestRecords s(40, 32);
  for (int i = 0; i < 40; ++i)
    for (int k = 0; k < 32; ++k) {
      std::uint8_t* a = s[i].Channel[k].Alarm;
      const int kind = (i + k) % 4;
      a[0] = kind == 1 || kind == 2, a[4] = kind == 2, a[1] = kind == 3;
    }
  for (auto& a : s[6].Channel[1].Alarm) a = 1;
  for (const std::string lang : {"", "lang/langeng.ini"})
    for (int shown : {16, 32}) {
      GetLanchg()->SetLangFile(lang.empty() ? lang : SourceFile(lang));
      for (int k = 0; k < 32; ++k) s.shown[k] = k < shown;
      const ReportContent c = BuildReportContent(s.src(), kReportAlarm, 0, 40, 1);
      const ReportLayout l = LayoutReport(c, DefaultPaperMetrics(true), 5, 5, 5);
      const RecordingCanvas cv = Draw(c, l, 1);
      const std::string where = lang + " " + std::to_string(shown);
      ASSERT_EQ(cv.clash(), QString()) << where;
      // The lines of each cell, top to bottom: record r's in band 4 + r.
      const int top = RuleY(l.g, l.m.lineHeight, 4), band = 2 * l.m.lineHeight;
      std::map<std::pair<int, int>, QStringList> cells;
      for (const Drawn& d : cv.texts)
        if (d.x > l.x0 && d.y > top && d.y < RuleY(l.g, l.m.lineHeight, l.rules - 1))
          cells[{(d.y - top) / band, (d.x - l.x0) / l.columnWidth}] << d.text;
      int stacked = 0;
      for (int r = 0; r < std::min(40, LinesOnPage(1, l.rules)); ++r)
        for (int j = 0; j < shown; ++j) {
          const QStringList want = AlarmCellTexts(s[r].Channel[j], c.texts.alarms), got = cells[{r, j}];
          const std::string cell = where + " record " + std::to_string(r) + " channel " + std::to_string(j);
          if (want.size() > l.bodyLines) {
            EXPECT_EQ(got.size(), l.bodyLines) << cell;
            EXPECT_TRUE(got.back().endsWith(QChar(0x2026))) << cell;
          } else if (got != QStringList{want.join(QString())}) {
            ASSERT_EQ(got.size(), want.size()) << cell;
            stacked += got.size() > 1;
            for (int t = 0; t < want.size(); ++t)
              EXPECT_TRUE(!got[t].isEmpty() && want[t].startsWith(got[t]) &&
                          (shown == 32 || got[t] == want[t])) << cell << " " << got[t].toStdString();
          }
        }
      EXPECT_GT(stacked, 0) << where;
    }
  GetLanchg()->SetLangFile("");
}

// The energy total's title is the export's heading of the same report, in each shipped
// language file as by default.
TEST(ReportPages, EnergyTitleIsTheExportsHeading) {
  TestRecords s(10, 2);
  s.model = 11;
  for (auto [lang, title] : {std::pair("lang/langchs.ini", "电量累计"), {"lang/langeng.ini", "Energy total"}}) {
    GetLanchg()->SetLangFile(SourceFile(lang));
    const ReportContent c = BuildReportContent(s.src(), kReportPeak, 0, 10, 1);
    EXPECT_TRUE(Draw(c, Layout(c, Metrics(600)), 1).row(static_cast<int>(6.3 * 80 + 2 * 80 * 26)).contains(title)) << lang;  // the footer
  }
  GetLanchg()->SetLangFile("");
}
