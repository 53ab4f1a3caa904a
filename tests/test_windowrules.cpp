#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "reports/Utpage.h"
#include "mainwindow/windowrules.h"

namespace {

std::string At(int seconds) {
  return QDateTime(QDate(2012, 9, 10), QTime(8, 0, 0)).addSecs(seconds).toString("yyyy-MM-dd HH:mm:ss").toStdString();
}

// Records stamped At(offsets[i]); markers at the given indices.
std::vector<tagDataRecord> Records(const std::vector<int>& offsets, std::vector<int> markers = {}) {
  std::vector<tagDataRecord> r(offsets.size());
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    std::memset(&r[i], 0, sizeof r[i]);
    std::snprintf(r[i].TimeText, sizeof r[i].TimeText, "%s", At(offsets[i]).c_str());
  }
  for (int m : markers) r[m].Marker = 1;
  return r;
}

std::vector<int> Evenly(int n, int gap) {
  std::vector<int> v(n);
  for (int i = 0; i < n; ++i) v[i] = i * gap;
  return v;
}

}  // namespace

TEST(AverageInterval, GapsNearTheStart) {
  // 21 gaps of 5 s: 105 / 20.
  auto r = Records(Evenly(120, 5));
  EXPECT_EQ(CalcAverageInterval(r.data(), static_cast<int>(r.size())), 5);
  // Fewer than 5 records: no gap is read.
  r = Records(Evenly(4, 5));
  EXPECT_EQ(CalcAverageInterval(r.data(), 4), 1);
  // Two gaps of 5 s (10 records give i < 2): divisor n - 1 = 1.
  r = Records(Evenly(10, 5));
  EXPECT_EQ(CalcAverageInterval(r.data(), 10), 10);
  EXPECT_EQ(CalcAverageInterval(nullptr, 0), 1);
}

TEST(LoadedWindow, LeavesTheClosingMarkerOut) {
  auto r = Records(Evenly(5, 1), {4});
  EXPECT_EQ(LoadedWindowEnd(r.data(), 5), 4);
  r = Records(Evenly(5, 1));  // a full store keeps no closing entry
  EXPECT_EQ(LoadedWindowEnd(r.data(), 5), 5);
}

TEST(QueryTimeWindow, Table) {
  // Records at 0, 10, ..., 90 s, then the closing entry (searched over the first 10).
  const auto r = Records(Evenly(10, 10));
  struct Case { const char* what; int start, end, result, first, last; } cases[] = {
      {"exact window", 20, 50, 1, 2, 6},
      {"end between records", 20, 55, 1, 2, 6},
      {"end after the last", 20, 500, 1, 2, 10},
      {"start after the last", 500, 600, 1, 10, 10},
      {"end before the first", -100, -50, 1, 0, 0},
      {"end before start", 50, 20, -1, 0, 0},
  };
  for (const Case& c : cases) {
    const TimeWindow w = QueryTimeWindow(r.data(), 10, At(c.start), At(c.end));
    EXPECT_EQ(w.result, c.result) << c.what;
    if (c.result == 1) {
      EXPECT_EQ(w.first, c.first) << c.what;
      EXPECT_EQ(w.end, c.last) << c.what;
    }
  }
  const TimeWindow none = QueryTimeWindow(r.data(), 0, At(0), At(10));
  EXPECT_EQ(none.result, 1);
  EXPECT_EQ(none.first, 0);
  EXPECT_EQ(none.end, 0);
  // A marker carrying its record's time stays with that record.
  const auto m = Records({0, 10, 10, 20, 30}, {2});
  const TimeWindow w = QueryTimeWindow(m.data(), 5, At(10), At(10));
  EXPECT_EQ(w.first, 1);
  EXPECT_EQ(w.end, 3);
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
