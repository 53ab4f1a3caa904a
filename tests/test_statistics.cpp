#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <utility>

#include "support/listrecords.h"
#include "reports/numformat.h"
#include "reports/statistics.h"

namespace {

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

}  // namespace

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

namespace {

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

struct RestoreNumericLocale {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  ~RestoreNumericLocale() { std::setlocale(LC_NUMERIC, saved.c_str()); }
};

}  // namespace

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
