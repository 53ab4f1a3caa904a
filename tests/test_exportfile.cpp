// The bytes of the export file of every kind, built from plain records without a
// thread or a file, and the number texts under a comma-decimal locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>
#include <tuple>

#include "data/lanchg.h"
#include "reports/numformat.h"
#include "output/exportfile.h"
#include "platform/gbk.h"
#include "support/listrecords.h"

namespace {

std::string G(const char* utf8) { return gbk::FromUtf8(utf8); }
std::string T(int i) { return TestRecords::time(i).toStdString(); }

// Records 0..13 of three channels A, B (hidden) and 通道C: A = 1.5 i, B = 99, C = -i;
// records 5 and 10 are power-failure markers carrying the record before them.
struct Store : TestRecords {
  Store() : TestRecords(14, 3) {
    names[0] = "A", names[1] = "B", names[2] = "通道C";
    shown[1] = 0;
    for (int i = 0; i < 14; ++i) {
      value(i, 0, 1.5 * i);
      value(i, 1, 99);
      value(i, 2, -i);
    }
    marker(5);
    marker(10);
  }
  std::string Bytes(int kind, std::int64_t first, std::int64_t end, std::int64_t step = 1,
                    std::vector<std::int32_t> alarms = {}) const {
    return ExportBytes(ExportJob{src(), kind, first, end, step, std::move(alarms), LoadExportTexts()});
  }
};

class ExportFile : public ::testing::Test {
 protected:
  void SetUp() override { GetLanchg()->SetLangFile(std::string()); }  // the built-in texts
  Store s;
  const std::string dataHead = G("记录时间") + "\tA\t" + G("通道C") + "\t\r\n";
};

}  // namespace

TEST_F(ExportFile, DataRowsEveryStepMarkersAsOrdinaryRows) {
  const std::string expected = dataHead + T(2) + "\t3.00\t-2.00\t\r\n" +
                               T(4) + "\t6.00\t-4.00\t\r\n" +  // the marker at 5
                               T(8) + "\t12.00\t-8.00\t\r\n" + T(11) + "\t16.50\t-11.00\t\r\n";
  EXPECT_EQ(s.Bytes(1, 2, 12, 3), expected);
  // Kinds 0, 2 and below 0 write the data rows too; a step below 1 counts as 1.
  for (int kind : {0, 2, -4}) EXPECT_EQ(s.Bytes(kind, 2, 12, 3), expected) << kind;
  EXPECT_EQ(s.Bytes(1, 11, 13, 0), dataHead + T(11) + "\t16.50\t-11.00\t\r\n" + T(12) + "\t18.00\t-12.00\t\r\n");
  // The range never reads past the records stored.
  EXPECT_EQ(s.Bytes(1, 13, 900, 1), dataHead + T(13) + "\t19.50\t-13.00\t\r\n");
  // A step near the 64-bit limit writes the first row only (the row count must not wrap).
  EXPECT_EQ(s.Bytes(1, 2, 12, INT64_MAX), dataHead + T(2) + "\t3.00\t-2.00\t\r\n");
}

TEST_F(ExportFile, AlarmRowsFromTheListWithTheirFlagsInOrder) {
  s[3].Channel[0].Alarm[0] = 1;
  s[3].Channel[0].Alarm[5] = 1;
  s[3].Channel[2].Alarm[1] = 1;
  s[7].Channel[1].Alarm[2] = 1;  // only on the hidden channel
  s[9].Channel[2].Alarm[4] = 1;
  const std::string row3 = T(3) + "\t" + G("上限报警,异常报警,") + "\t" + G("下限报警,") + "\t\r\n";
  const std::string row9 = T(9) + "\t\t" + G("超程报警,") + "\t\r\n";
  EXPECT_EQ(s.Bytes(3, 0, 0, 1, {3, 7, 9}), dataHead + row3 + T(7) + "\t\t\t\r\n" + row9);
  EXPECT_EQ(s.Bytes(3, 0, 0, 2, {3, 7, 9}), dataHead + row3 + row9);
  EXPECT_EQ(s.Bytes(3, 0, 0, INT64_MAX, {3, 7, 9}), dataHead + row3);
  EXPECT_EQ(s.Bytes(3, 0, 14, 1, {}), dataHead);
}

// Power failures, the energy total (model 11), peaks and averages: the markers 5 and 10
// are left out of every figure.
TEST_F(ExportFile, PowerFailuresAndStatisticsOverOrdinaryRecords) {
  const std::string span = G("开始时间") + "\t" + G("结束时间") + "\t", energy = span + G("电量累计") + "\r\n";
  const std::string peaks = G("峰值类别") + "\tA\t" + G("通道C") + "\t\r\n", avg = span + "A\t" + G("通道C") + "\t\r\n";
  const struct { int model, kind; std::int64_t first, end, step; std::string bytes; } cases[] = {
      {0, 4, 0, 14, 5, G("停电时间") + "\t\r\n" + T(4) + "\r\n" + T(9) + "\r\n"},
      {0, 4, 3, 3, 1, G("停电时间") + "\t\r\n"},
      {11, 5, 2, 12, 1, energy + T(2) + "\t" + T(12) + "\t75\t"},  // 1.5 x (2 + 3 + 4 + 6 + 7 + 8 + 9 + 11)
      {11, 5, 3, 3, 1, energy + T(3) + "\t" + T(3) + "\t0\t"},
      // An end past the records: the range's last record; 37.5 rounds to even as printf does.
      {11, 5, 12, 14, 1, energy + T(12) + "\t" + T(13) + "\t38\t"},
      {11, 5, 20, 30, 1, energy + "\t\t0\t"},
      // From the marker 5, which carries record 4's values: the seed is the first ordinary one.
      {0, 5, 5, 12, 1, peaks + G("最大值") + "\t" + T(11) + "=>16.50\t" + T(6) + "=>-6.00\t\r\n" + G("最小值") + "\t" +
                           T(6) + "=>9.00\t" + T(11) + "=>-11.00\t"},
      {0, 5, 3, 3, 1, peaks + G("最大值") + "\t\t\t\r\n" + G("最小值") + "\t\t\t"},
      {0, 6, 2, 12, 1, avg + T(2) + "\t" + T(12) + "\t9.38\t-6.25\t"},  // 75 / 8 = 9.375 rounds as printf does
      {0, 6, 3, 3, 1, avg + T(3) + "\t" + T(3) + "\t0.0\t0.0\t"},
  };
  for (const auto& c : cases) {
    s.model = c.model;
    EXPECT_EQ(s.Bytes(c.kind, c.first, c.end, c.step), c.bytes) << c.kind << " " << c.first << ".." << c.end;
  }
}

TEST_F(ExportFile, EmptyKindsNoChannelShownAndLongCells) {
  EXPECT_EQ(s.Bytes(7, 0, 14), "");

  s.shown[0] = s.shown[2] = 0;
  EXPECT_EQ(s.Bytes(1, 0, 2), G("记录时间") + "\t\r\n" + T(0) + "\t\r\n" + T(1) + "\t\r\n");
  EXPECT_EQ(s.Bytes(5, 0, 2), G("峰值类别") + "\t\r\n" + G("最大值") + "\t\r\n" + G("最小值") + "\t");

  // A cell longer than any buffer keeps its TAB and every column after it.
  s.shown[0] = s.shown[2] = 1;
  s.names[0] = std::string(300, 'x');
  s.value(0, 0, 1e200);
  char number[512];
  std::snprintf(number, sizeof number, "%4.2f", 1e200);
  EXPECT_EQ(s.Bytes(1, 0, 1), G("记录时间") + "\t" + std::string(300, 'x') + "\t" + G("通道C") + "\t\r\n" + T(0) +
                                  "\t" + number + "\t0.00\t\r\n");
}

TEST(ExportLaunch, StartIndexAndFileName) {
  // Window from 100, list page 3, interval 5: the data rows start at 1600; every other
  // kind covers the whole window.
  EXPECT_EQ(ExportStartIndex(1, 100, 3, 5), 1600);
  EXPECT_EQ(ExportStartIndex(6, 100, 3, 5), 100);
  EXPECT_EQ(ExportStartIndex(1, 0, 5000, 680000), 4999LL * 680000 * 150);  // no 32-bit overflow
  // Page x step x 150 beyond 64 bits saturates: past every record, never wrapped back.
  EXPECT_EQ(ExportStartIndex(1, 100, INT64_MAX, 2), INT64_MAX);
  EXPECT_EQ(ExportStartIndex(1, INT64_MAX - 5, 2, 1), INT64_MAX);
  EXPECT_EQ(ExportStartIndex(1, 7, 1, INT64_MAX), 7);
  EXPECT_EQ(ExportFileName("/tmp/a.xls.bak"), "/tmp/a.xls.bak");
}

TEST(ExportNumbers, FixedTextsArePrintfs) {
  // Values as instruments record them (scaled integers), arbitrary ones, and the ties
  // and extremes where a shortcut would round differently from printf.
  std::mt19937_64 random(7);
  std::vector<double> values = {0.125, 0.375, 2.5, 3.5, -0.001, -0.0, 0.005, 1.005, 999999999.995,
                                1e9 + 0.5, 1e20, -1e300, 5e-324, std::nan(""), -INFINITY, 0.045};
  for (int i = 0; i < 200000; ++i) {
    const auto raw = static_cast<std::int64_t>(random() % 2000001) - 1000000;
    values.push_back(static_cast<double>(raw) / std::pow(10.0, static_cast<int>(random() % 4)));
    values.push_back(std::uniform_real_distribution<double>(-1e7, 1e7)(random));
  }
  char buf[512];
  for (double v : values)
    for (auto [format, width, decimals] : {std::tuple("%4.2f", 4, 2), std::tuple("%0.2f", 0, 2), std::tuple("%0.f", 0, 0)}) {
      std::snprintf(buf, sizeof buf, format, v);
      ASSERT_EQ(PrintfFixed(v, width, decimals), buf) << format << " " << v;
    }
}

TEST_F(ExportFile, NumbersKeepTheirPointUnderACommaLocale) {
  s.model = 11;
  const auto all = [&] { return s.Bytes(1, 2, 12, 3) + s.Bytes(5, 0, 14) + s.Bytes(6, 2, 12); };
  const std::string here = all(), saved = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "de_DE.UTF-8 is missing (./build.sh test makes it)";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.2f", 1.5);
  const std::string printed = probe, there = all();
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(printed, "1,50");  // the locale really was in force
  EXPECT_EQ(there, here);      // the C-locale bytes are checked above
}
