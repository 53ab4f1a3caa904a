// The rules the lists, the paper and the export share (pages, row texts, columns, the power-failure
// list, statistics, number texts) and the window's rules (time window, opening, intervals).
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "mainwindow/windowrules.h"
#include "reports/Utpage.h"
#include "reports/numformat.h"
#include "reports/reportlists.h"
#include "reports/statistics.h"
#include "support/listrecords.h"

namespace {

template <class T>
std::vector<T> Field(const std::vector<ColumnSpec>& cols, T ColumnSpec::*field) {
  std::vector<T> v;
  for (const auto& c : cols) v.push_back(c.*field);
  return v;
}
std::vector<QString> Captions(const std::vector<ColumnSpec>& cols) { return Field(cols, &ColumnSpec::caption); }
std::vector<int> Widths(const std::vector<ColumnSpec>& cols) { return Field(cols, &ColumnSpec::width); }

std::vector<std::int32_t> Every(int from, int to, int step) {
  std::vector<std::int32_t> v;
  for (int i = from; i < to; i += step) v.push_back(i);
  return v;
}

// Records 10..14 with values 1..5, record 15 a marker carrying 5, records 16..19 6..9.
TestRecords PowerMeterStore() {
  TestRecords s(25, 2);
  s.model = 11;
  for (int i = 10; i < 15; ++i) s.value(i, 0, i - 9);
  s.marker(15);
  for (int i = 16; i < 20; ++i) s.value(i, 0, i - 10);
  s.value(20, 0, 1000);
  return s;
}

// Every number text of the lists and reports, checked in whatever locale is current.
void ExpectNumberTexts() {
  const std::pair<double, const char*> general[] = {
      {45.5, "45.5"}, {1.0 / 3, "0.333333333333333"}, {1e15, "1E15"}, {1.5e-6, "1.5E-6"},
      {1.23456e-5, "0.0000123456"}, {9999999999999999, "1E16"}, {123456789.125, "123456789.125"},
      {-2.5e-7, "-2.5E-7"},
  };
  for (auto [v, text] : general) EXPECT_EQ(FormatGeneral(v).toStdString(), text);
  EXPECT_EQ(FormatGeneral(std::nan("")), "NAN");
  const std::pair<double, const char*> fixed[] = {
      {1234.5, "1234.50"}, {-12.346, "-12.35"}, {1e30, "1000000000000000019884624838656"},
  };
  for (auto [v, text] : fixed) EXPECT_EQ(FormatFixed2(v).toStdString(), text);
}

// Records stamped seconds[i] after the first one's time; markers at the given indices.
TestRecords Stamped(const std::vector<std::int32_t>& seconds, const std::vector<int>& markers = {}) {
  TestRecords s(static_cast<int>(seconds.size()), 1);
  for (std::size_t i = 0; i < seconds.size(); ++i)
    std::memcpy(s.recs[i].TimeText, TestRecords::time(seconds[i]).toLatin1().constData(), 19);
  for (int m : markers) s[m].Marker = 1;
  return s;
}
std::string At(int seconds) { return TestRecords::time(seconds).toStdString(); }

struct RestoreNumericLocale {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  ~RestoreNumericLocale() { std::setlocale(LC_NUMERIC, saved.c_str()); }
};

}  // namespace

TEST(ListColumns, WidthsAndCaptionsFollowTheirChannelByIndex) {
  TestRecords store(1, 3);
  store.shown[1] = 0;
  store.shown[2] = 7;  // any non-zero flag shows the channel
  const auto cols = BuildRecordListColumns(store.src());
  EXPECT_EQ(Captions(cols), (std::vector<QString>{"记录时间", "CH1", "CH2", "CH3"}));
  EXPECT_EQ(Widths(cols), (std::vector<int>{120, 60, 0, 60}));
  EXPECT_EQ(cols[2].channel, 1);
  EXPECT_EQ(Widths(BuildAlarmListColumns(store.src())), (std::vector<int>{120, 180, 0, 180}));

  store.shown[1] = store.shown[2] = 1;
  store.names[1] = "CH1";  // two channels of the same name
  auto alarm = BuildAlarmListColumns(store.src());
  EXPECT_TRUE(SetColumnLayout(alarm, store.src(), 3, 1, 0));
  EXPECT_EQ(Widths(alarm), (std::vector<int>{120, 180, 0, 180}));
  EXPECT_FALSE(SetColumnLayout(alarm, store.src(), 3, 1, 0));  // nothing left to change
  EXPECT_TRUE(SetColumnLayout(alarm, store.src(), 3, 1, 1));
  EXPECT_EQ(Widths(alarm), (std::vector<int>{120, 180, 180, 180}));
  // A model-11 data column hides with its channel although its caption is no name.
  store.model = 11;
  auto data = BuildRecordListColumns(store.src());
  SetColumnLayout(data, store.src(), 1, 2, 0);
  EXPECT_EQ(Widths(data)[3], 0);
  // Renaming: only the channel's own column.
  EXPECT_TRUE(SetColumnLayout(alarm, store.src(), 3, 1, 4, "Pressure"));
  EXPECT_EQ(Captions(alarm), (std::vector<QString>{"记录时间", "CH1", "Pressure", "CH3"}));
  EXPECT_FALSE(SetColumnLayout(alarm, store.src(), 3, 9, 4, "X"));  // no such column
}

TEST(PowerFailList, AMarkerAtRecordZeroGivesItsOwnTime) {  // the rest: the power-failure report pages
  TestRecords store(600, 1);
  store.marker(100);
  store.marker(0);  // no record before it
  EXPECT_EQ(BuildPowerFailList(store.src(), 0, 50),
            (std::vector<QString>{TestRecords::time(0), TestRecords::time(50)}));
}

TEST(GoTo, TypedPagesAreCheckedAgainstTheCurrentStep) {
  struct Case { QString typed; std::int64_t current, first, end, step; GoToDecision::Kind kind; std::int64_t page;
                QString edit; };
  const Case cases[] = {
      {"0", 2, 0, 450, 1, GoToDecision::Invalid, 2, "0"},
      {"-3", 1, 0, 450, 1, GoToDecision::Invalid, 1, "-3"},  // the alarm list refuses it too
      {"5", 2, 0, 450, 1, GoToDecision::OutOfRange, 2, "2"},
      {"3", 1, 0, 450, 1, GoToDecision::Go, 3, "3"},
      {"3", 1, 0, 450, 2, GoToDecision::OutOfRange, 1, "1"},  // two pages at step 2
      {"2", 1, 0, 450, 0, GoToDecision::Go, 2, "2"},          // step 0 counts as 1
      {"99999999999999", 1, 0, 450, 1, GoToDecision::OutOfRange, 1, "1"},
      {"1", 1, 5, 5, 1, GoToDecision::OutOfRange, 1, "1"},    // an empty list has no page
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    const GoToDecision d = DecideGoTo(c.typed, c.current, c.first, c.end, c.step);
    EXPECT_EQ(d.kind, c.kind);
    EXPECT_EQ(d.page, c.page);
    EXPECT_EQ(d.editText, c.edit);
  }
  EXPECT_TRUE(PageEditKey(13).goTo);
  EXPECT_FALSE(PageEditKey('a').keep);
}

TEST(DataPages, WindowPagesStepsButtonsAndMoves) {
  TestRecords store(1300, 2);
  const ReportSource src = store.src();
  struct Case { int first, end, step, page; std::vector<std::int32_t> rows; bool prev, next; };
  const Case cases[] = {
      {0, 1000, 5, 1, Every(0, 750, 5), false, true},
      {0, 1000, 5, 2, Every(750, 1000, 5), true, false},
      {1000, 1200, 1, 1, Every(1000, 1150, 1), false, true},
      {1000, 1200, 1, 2, Every(1150, 1200, 1), true, false},
      {1000, 1200, 1, 3, {}, true, false},          // a page kept from a longer range
      {0, 1000, 0, 1, Every(0, 150, 1), false, true},  // step 0 pages as step 1
      {1000, 1200, 0, 0, Every(1000, 1150, 1), false, true},  // page 0 never shows records before the window
      {1200, 5000, 1, 1, Every(1200, 1300, 1), false, false},  // clamped to the records stored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << ".." << c.end << " step " << c.step << " page " << c.page);
    EXPECT_EQ(ShowDataPage(src, c.page, c.first, c.step, c.end), c.rows);
    const IndexRange list = ClampRange(c.first, c.end, src.count);
    const PageButtons b = SetPageButtons(c.page, list.first, list.end, c.step);
    EXPECT_EQ(std::pair(b.previous, b.next), std::pair(c.prev, c.next));
  }
  // Huge steps and pages stay in 64 bits.
  const std::int64_t big = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(ShowDataPage(src, 1, 0, big, 10), std::vector<std::int32_t>{0});
  EXPECT_TRUE(ShowDataPage(src, big, 0, big, 10).empty());
  EXPECT_FALSE(NextPage(1, 0, 10, big).moved);

  // Previous and Next never leave the rows.
  EXPECT_FALSE(PrevPage(1, 1000, 1200, 1).moved);
  EXPECT_FALSE(PrevPage(0, 1000, 1200, 1).moved);
  // Step 0 counts as 1, so Next stops at the last page with rows.
  EXPECT_FALSE(NextPage(7, 0, 1000, 0).moved);
  EXPECT_TRUE(NextPage(6, 0, 1000, 0).moved);
  // Back from a stale page beyond the end lands on the last page with rows.
  const PageMove m = PrevPage(9, 0, 1000, 5);
  EXPECT_TRUE(m.moved);
  EXPECT_EQ(m.page, 2);
}

TEST(AlarmIndex, WhichRecordsAreAlarmRecords) {
  TestRecords store(8, 3);
  store[1].Channel[0].Alarm[0] = 1;
  store[1].Channel[2].Alarm[5] = 1;  // two channels: listed once
  store[2].Channel[1].Alarm[3] = 1;
  store.marker(3);                   // a marker with flags is never listed
  store[3].Channel[0].Alarm[0] = 1;
  store[4].Channel[3].Alarm[0] = 1;  // beyond the channel count: ignored
  store[6].Channel[2].Alarm[4] = 1;
  const ReportSource src = store.src();
  EXPECT_EQ(CollectAlarmIndex(src, 0, 8), (std::vector<std::int32_t>{1, 2, 6}));
  EXPECT_EQ(CollectAlarmIndex(src, -10, 100), (std::vector<std::int32_t>{1, 2, 6}));

  // The alarm pages never read past the list.
  std::vector<std::int32_t> index(600);
  for (int i = 0; i < 600; ++i) index[static_cast<std::size_t>(i)] = 1000 + i;
  EXPECT_EQ(ShowAlarmPage(index, 1, 0, 5, 600).back(), 1595);
  EXPECT_EQ(ShowAlarmPage(index, 4, 0, 1, 900).size(), 150u);
  EXPECT_TRUE(ShowAlarmPage(index, 5, 0, 1, 900).empty());

  // The alarm tab keeps its list in the store.
  utPubParam* p = GetPubParam();
  std::memcpy(p->Records, store.recs.data(), 8 * sizeof(tagDataRecord));
  p->RecordCount = 8;
  p->DataHead.ChannelCount = 3;
  EXPECT_EQ(BuildAlarmIndex(0, 8), 3);
  // A report's own list leaves the alarm tab's alone.
  EXPECT_EQ(CollectAlarmIndex(StoreSource(), 5, 8), std::vector<std::int32_t>{6});
  EXPECT_EQ(p->AlarmIndex, (std::vector<std::int32_t>{1, 2, 6}));
  p->RecordCount = 0;
  p->AlarmIndex.clear();
}

TEST(Averages, OrdinaryRecordsOfShownChannels) {
  TestRecords s = PowerMeterStore();
  StatTable t = BuildAverageRow(s.src(), 10, 20);
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_EQ(t.rows[0], (QStringList{TestRecords::time(10), TestRecords::time(19), "5.00", "0.00"}));

  // A hidden channel gives an empty cell under its own column; flags other than 0/1
  // count as shown for the average as they do for the width.
  s.shown[0] = 0;
  s.shown[1] = 2;
  s.value(12, 1, 9);
  t = BuildAverageRow(s.src(), 10, 20);
  EXPECT_EQ(t.rows[0].mid(2), (QStringList{"", "1.00"}));
  EXPECT_EQ(t.columns[2].width, 0);
  EXPECT_EQ(t.columns[3].width, 60);

  // Empty, marker-only and out-of-store ranges: empty cells, no reads past the count.
  EXPECT_EQ(BuildAverageRow(s.src(), 12, 12).rows[0].mid(2), (QStringList{"", ""}));
  EXPECT_EQ(BuildAverageRow(s.src(), 15, 16).rows[0].mid(2), (QStringList{"", ""}));
  t = BuildAverageRow(s.src(), 20, 900);
  EXPECT_EQ(t.rows[0], (QStringList{TestRecords::time(20), TestRecords::time(24), "", "0.00"}));
}

TEST(Peaks, EarliestRecordKeepsTiesAndMarkersAreSkipped) {
  TestRecords s(8, 2);
  const double values[] = {5, 7, 7, 3, 3};
  for (int i = 0; i < 5; ++i) s.value(i, 0, values[i]);
  s.value(2, 1, -12.346);
  StatTable t = BuildPeakStatistics(s.src(), 0, 5);
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.rows[0], (QStringList{"最大值", TestRecords::time(1) + "=>7.00", TestRecords::time(0) + "=>0.00"}));
  EXPECT_EQ(t.rows[1], (QStringList{"最小值", TestRecords::time(3) + "=>3.00", TestRecords::time(2) + "=>-12.35"}));

  // A range starting at a marker seeds from its first ordinary record, not from the
  // earlier record's values the marker carries.
  s.value(5, 0, 100);
  s.marker(6);  // carries 100 and record 5's time
  s.value(7, 0, 50);
  t = BuildPeakStatistics(s.src(), 6, 8);
  EXPECT_EQ(t.rows[0][1], TestRecords::time(7) + "=>50.00");
  EXPECT_EQ(t.rows[1][1], TestRecords::time(7) + "=>50.00");

  // Empty, marker-only and beyond-the-store ranges: empty cells.
  for (auto [f, e] : {std::pair{3, 3}, std::pair{6, 7}, std::pair{50, 60}}) {
    t = BuildPeakStatistics(s.src(), f, e);
    EXPECT_EQ(t.rows[0], (QStringList{"最大值", "", ""})) << f;
    EXPECT_EQ(t.rows[1], (QStringList{"最小值", "", ""})) << f;
  }
}

TEST(EnergyTotal, MarkersAreNotCountedTwice) {
  TestRecords s = PowerMeterStore();
  StatTable t = BuildEnergyTotal(s.src(), 10, 20);
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_EQ(t.rows[0], (QStringList{TestRecords::time(10), TestRecords::time(20), "45"}));
  EXPECT_EQ(BuildEnergyTotal(s.src(), 12, 12).rows[0][2], "0");
  // The end of the data: the last stored record's time.
  EXPECT_EQ(BuildEnergyTotal(s.src(), 20, 25).rows[0], (QStringList{TestRecords::time(20), TestRecords::time(24), "1000"}));
}

TEST(NumberTexts, SameTextsInTheCAndADecimalCommaLocale) {
  ExpectNumberTexts();
  // The application object takes the desktop's locale for the C library, so on a
  // German desktop the program runs with a decimal comma.
  const RestoreNumericLocale restore;
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr)
      << "locale de_DE.UTF-8 is missing (./build.sh test generates it)";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  ExpectNumberTexts();
}

TEST(WindowRules, AverageIntervalAndLoadedWindowEnd) {
  // 120 records: 21 gaps of 5 s over 20; 10 records: two gaps over n - 1; fewer than 5: none read.
  for (auto [n, want] : {std::pair{120, 5}, {10, 10}, {4, 1}})
    EXPECT_EQ(CalcAverageInterval(Stamped(Every(0, 5 * n, 5)).recs.data(), n), want) << n;
  EXPECT_EQ(CalcAverageInterval(nullptr, 0), 1);
  // The loaded window leaves the closing marker out.
  EXPECT_EQ(LoadedWindowEnd(Stamped(Every(0, 5, 1), {4}).recs.data(), 5), 4);
  EXPECT_EQ(LoadedWindowEnd(Stamped(Every(0, 5, 1)).recs.data(), 5), 5);  // a full store has no closing entry
}

TEST(QueryTimeWindow, Table) {
  // Records at 0, 10, ..., 90 s, then the closing entry (searched over the first 10).
  const TestRecords r = Stamped(Every(0, 100, 10)), m = Stamped({0, 10, 10, 20, 30}, {2});
  struct Case { const char* what; const TestRecords* recs; int count, start, end, result, first, last; } cases[] = {
      {"exact window", &r, 10, 20, 50, 1, 2, 6},
      {"end between records", &r, 10, 20, 55, 1, 2, 6},
      {"end after the last", &r, 10, 20, 500, 1, 2, 10},
      {"start after the last", &r, 10, 500, 600, 1, 10, 10},
      {"end before the first", &r, 10, -100, -50, 1, 0, 0},
      {"end before start", &r, 10, 50, 20, -1, 0, 0},
      {"no records", &r, 0, 0, 10, 1, 0, 0},
      {"a marker stays with the record whose time it carries", &m, 5, 10, 10, 1, 1, 3},
  };
  for (const Case& c : cases) {
    const TimeWindow w = QueryTimeWindow(c.recs->recs.data(), c.count, At(c.start), At(c.end));
    EXPECT_EQ((std::vector<int>{w.result, w.first, w.end}), (std::vector<int>{c.result, c.first, c.last})) << c.what;
  }
}

TEST(OpenRules, RefusalsInOrder) {
  EXPECT_EQ(CheckOpen(false, true, 10000, 0, "/a", ""), OpenRefusal::ReaderBusy);
  EXPECT_EQ(CheckOpen(true, true, 12999, 10000, "/b", "/a"), OpenRefusal::TooSoon);
  EXPECT_EQ(CheckOpen(true, true, 13000, 10000, "/b", "/a"), OpenRefusal::None);
  EXPECT_EQ(CheckOpen(true, true, 20000, 10000, "/a", "/a"), OpenRefusal::SameFile);
  // The first open of the run is never too soon; the millisecond counter wraps at 32 bits.
  EXPECT_EQ(CheckOpen(true, false, 5, 0, "/a", ""), OpenRefusal::None);
  EXPECT_EQ(CheckOpen(true, true, 1000, 0xFFFFFFFFu - 500, "/b", "/a"), OpenRefusal::TooSoon);
}

TEST(IntervalEdits, StepsStoredValuesAndPageCounts) {
  struct Case { const char* text; int step, stored; } cases[] = {
      {"5", 5, 5}, {"00", 1, 0}, {"  12abc", 12, 12}, {"-7", 1, 0},
      {"99999999999999999999", kMaxStep, kMaxStep}, {"680001", kMaxStep, kMaxStep},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StepOfText(c.text), c.step) << c.text;
    EXPECT_EQ(StoredIntervalOfText(c.text), c.stored) << c.text;
  }
  // A huge pasted interval: the product stays in 64 bits and the count positive.
  EXPECT_EQ(PageCount(0, 680000, StepOfText("4294967296")), 1);
  EXPECT_EQ(PageCount(0, 680000, INT_MAX), 1);
}
