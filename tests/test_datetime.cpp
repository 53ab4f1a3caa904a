#include <gtest/gtest.h>

#include <QDateTime>

#include "platform/datetime.h"

TEST(DateTime, KnownValues) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 0, 0, 0), 36526.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1, 12, 0, 0), 2.5);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 6, 0, 0, 0), 36526.25);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);
}

TEST(DateTime, EncodeDecodeRoundTrip) {
  struct Case { int y, mo, d, h, mi, s; };
  const Case cases[] = {{2000, 1, 1, 0, 0, 0},     {2024, 2, 29, 23, 59, 59}, {2099, 12, 31, 12, 30, 1},
                        {2008, 1, 1, 1, 1, 1},     {1999, 12, 31, 23, 59, 59}, {2100, 3, 1, 0, 0, 1},
                        {1899, 12, 29, 6, 0, 0}};
  for (const Case& c : cases) {
    int y, mo, d, h, mi, s;
    DecodeDateTime(EncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s), y, mo, d, h, mi, s);
    EXPECT_EQ(FormatRecordTime(y, mo, d, h, mi, s), FormatRecordTime(c.y, c.mo, c.d, c.h, c.mi, c.s));
  }
}

TEST(DateTime, DecodeRoundsToTheMillisecond) {
  // One millisecond short of midnight stays on its day; a hair under a full second is
  // still that second after rounding.
  int y, mo, d, h, mi, s, ms;
  DecodeDateTimeMs(EncodeDateTime(2020, 5, 31, 23, 59, 59, 999), y, mo, d, h, mi, s, ms);
  EXPECT_EQ(FormatRecordTime(y, mo, d, h, mi, s), "2020-05-31 23:59:59");
  EXPECT_EQ(ms, 999);
  DecodeDateTime(EncodeDateTime(2020, 5, 31, 10, 0, 5) - 1e-12, y, mo, d, h, mi, s);
  EXPECT_EQ(s, 5);
}

TEST(DateTime, SecondsBetweenIsWholeAndSymmetric) {
  const double a = EncodeDateTime(2023, 3, 1, 10, 0, 0);
  const double b = EncodeDateTime(2023, 3, 1, 10, 0, 5);
  EXPECT_EQ(SecondsBetween(b, a), 5);
  EXPECT_EQ(SecondsBetween(a, b), 5);
  // Accumulated steps (as a chart or generator builds times) still give exact seconds.
  double t = a;
  for (int i = 0; i < 1000; ++i) t += 5.0 / 86400.0;
  EXPECT_EQ(SecondsBetween(t, a), 5000);
  EXPECT_EQ(SecondsBetween(a, a + 4.4 / 86400.0), 4);
  EXPECT_EQ(SecondsBetween(EncodeDateTime(2023, 12, 31, 23, 59, 59), EncodeDateTime(2024, 1, 1, 0, 0, 0)), 1);
}

TEST(DateTime, DaysInMonth) {
  struct Case { int y, mo, days; };
  const Case cases[] = {{2023, 2, 28}, {2024, 2, 29}, {2000, 2, 29}, {2100, 2, 28}, {2023, 4, 30},
                        {2023, 12, 31}, {2023, 0, 0},  {2023, 13, 0}};
  for (const Case& c : cases) EXPECT_EQ(DaysInMonth(c.y, c.mo), c.days) << c.y << "-" << c.mo;
}

TEST(DateTime, Texts) {
  const double t = EncodeDateTime(2021, 7, 4, 9, 8, 7);
  EXPECT_EQ(FormatRecordTime(2021, 7, 4, 9, 8, 7), "2021-07-04 09:08:07");
  EXPECT_EQ(FormatRecordTime(t), "2021-07-04 09:08:07");
  EXPECT_EQ(DateToStr(t), "2021-07-04");
  EXPECT_EQ(TimeToStr(t), "09:08:07");
}

TEST(DateTime, StrToDateTime) {
  double v = -1;
  ASSERT_TRUE(StrToDateTime("2021-07-04 09:08:07", v));
  EXPECT_DOUBLE_EQ(v, EncodeDateTime(2021, 7, 4, 9, 8, 7));
  ASSERT_TRUE(StrToDateTime("2021-07-04", v));
  EXPECT_DOUBLE_EQ(v, EncodeDateTime(2021, 7, 4, 0, 0, 0));
  for (const char* bad : {"", "2021-02-30 00:00:00", "2021-07-04 24:00:00", "x", "2021-13-01"}) {
    v = -1;
    EXPECT_FALSE(StrToDateTime(bad, v)) << bad;
    EXPECT_EQ(v, -1);
  }
}

TEST(DateTime, QDateTimeKeepsWallClockFields) {
  const double t = EncodeDateTime(2022, 3, 27, 1, 30, 15, 250);
  const QDateTime q = ToQDateTime(t);
  EXPECT_EQ(q.date(), QDate(2022, 3, 27));
  EXPECT_EQ(q.time(), QTime(1, 30, 15, 250));
  EXPECT_DOUBLE_EQ(FromQDateTime(q), t);
  EXPECT_DOUBLE_EQ(FromQDateTime(QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC)), 36526.0);
  EXPECT_LT(SecondsBetween(NowDateTime(), FromQDateTime(QDateTime::currentDateTime())), 2);
}
