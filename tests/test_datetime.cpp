#include <gtest/gtest.h>

#include <QDateTime>

#include "platform/datetime.h"

TEST(DateTime, EncodeDecodeRoundTrip) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 0, 0, 0), 36526.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);  // before the epoch the time still counts up
  int y, mo, d, h, mi, s, ms;
  for (double t : {EncodeDateTime(2024, 2, 29, 23, 59, 59), EncodeDateTime(2100, 3, 1, 0, 0, 1), -1.25}) {
    DecodeDateTime(t, y, mo, d, h, mi, s);
    EXPECT_DOUBLE_EQ(EncodeDateTime(y, mo, d, h, mi, s), t);
  }
  // One millisecond short of midnight stays on its day; a hair under a full second is
  // still that second after rounding.
  DecodeDateTimeMs(EncodeDateTime(2020, 5, 31, 23, 59, 59, 999), y, mo, d, h, mi, s, ms);
  EXPECT_EQ(FormatRecordTime(y, mo, d, h, mi, s), "2020-05-31 23:59:59");
  EXPECT_EQ(ms, 999);
  DecodeDateTime(EncodeDateTime(2020, 5, 31, 10, 0, 5) - 1e-12, y, mo, d, h, mi, s);
  EXPECT_EQ(s, 5);
}

TEST(DateTime, SecondsBetweenIsWholeAfterAccumulatedSteps) {
  const double a = EncodeDateTime(2023, 3, 1, 10, 0, 0);
  double t = a;
  for (int i = 0; i < 1000; ++i) t += 5.0 / 86400.0;  // as a chart or generator builds times
  EXPECT_EQ(SecondsBetween(t, a), 5000);
  EXPECT_EQ(SecondsBetween(a, t), 5000);
}

TEST(DateTime, TextsBothWays) {
  const double t = EncodeDateTime(2021, 7, 4, 9, 8, 7);
  EXPECT_EQ(FormatRecordTime(t), "2021-07-04 09:08:07");
  EXPECT_EQ(DateToStr(t) + " " + TimeToStr(t), "2021-07-04 09:08:07");
  double v = -1;
  ASSERT_TRUE(StrToDateTime("2021-07-04 09:08:07", v));
  EXPECT_DOUBLE_EQ(v, t);
  for (const char* bad : {"", "2021-02-30 00:00:00", "2021-07-04 24:00:00"}) {
    EXPECT_FALSE(StrToDateTime(bad, v)) << bad;
    EXPECT_DOUBLE_EQ(v, t) << "left as it was";
  }
  EXPECT_DOUBLE_EQ(FromQDateTime(QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC)), 36526.0);  // wall clock
}
