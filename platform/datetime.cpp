#include "platform/datetime.h"

#include <QDateTime>
#include <QRegularExpression>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

// 1899-12-30 counted from 1970-01-01.
const std::int64_t kEpochShift = DaysFromCivil(1899, 12, 30);

}  // namespace

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int mo) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (mo < 1 || mo > 12) return 0;
  return mo == 2 && IsLeapYear(y) ? 29 : kDays[mo - 1];
}

double EncodeDateTime(int y, int mo, int d, int h, int mi, int s, int ms) {
  const std::int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - kEpochShift;
  const double frac = (((h * 60.0 + mi) * 60.0 + s) * 1000.0 + ms) / static_cast<double>(kMsPerDay);
  // Before the epoch the integer part still names the day and the fraction is the
  // time of day taken as a magnitude (-1.25 is 1899-12-29 06:00).
  return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

void DecodeDateTimeMs(double t, int& y, int& mo, int& d, int& h, int& mi, int& s, int& ms) {
  if (!std::isfinite(t)) t = 0.0;
  std::int64_t days = static_cast<std::int64_t>(std::trunc(t));
  std::int64_t msOfDay = std::llround(std::fabs(t - static_cast<double>(days)) * kMsPerDay);
  if (msOfDay >= kMsPerDay) {  // rounding reached the next day
    msOfDay -= kMsPerDay;
    days += t >= 0 ? 1 : -1;
  }
  CivilFromDays(days + kEpochShift, y, mo, d);
  h = static_cast<int>(msOfDay / 3600000);
  mi = static_cast<int>(msOfDay / 60000 % 60);
  s = static_cast<int>(msOfDay / 1000 % 60);
  ms = static_cast<int>(msOfDay % 1000);
}

void DecodeDateTime(double t, int& y, int& mo, int& d, int& h, int& mi, int& s) {
  int ms = 0;
  DecodeDateTimeMs(t, y, mo, d, h, mi, s, ms);
}

std::int64_t SecondsBetween(double a, double b) {
  const double ms = std::fabs(a - b) * static_cast<double>(kMsPerDay);
  if (!std::isfinite(ms)) return 0;
  return std::llround(ms) / 1000;
}

std::string FormatRecordTime(int y, int mo, int d, int h, int mi, int s) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return buf;
}

std::string FormatRecordTime(double t) {
  int y, mo, d, h, mi, s;
  DecodeDateTime(t, y, mo, d, h, mi, s);
  return FormatRecordTime(y, mo, d, h, mi, s);
}

QString DateToStr(double t) {
  int y, mo, d, h, mi, s;
  DecodeDateTime(t, y, mo, d, h, mi, s);
  return QString::asprintf("%04d-%02d-%02d", y, mo, d);
}

QString TimeToStr(double t) {
  int y, mo, d, h, mi, s;
  DecodeDateTime(t, y, mo, d, h, mi, s);
  return QString::asprintf("%02d:%02d:%02d", h, mi, s);
}

bool StrToDateTime(const QString& text, double& value) {
  static const QRegularExpression re(
      QStringLiteral("^\\s*(\\d{1,4})-(\\d{1,2})-(\\d{1,2})(?:\\s+(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?)?\\s*$"));
  const QRegularExpressionMatch m = re.match(text);
  if (!m.hasMatch()) return false;
  const int y = m.captured(1).toInt(), mo = m.captured(2).toInt(), d = m.captured(3).toInt();
  const int h = m.captured(4).toInt(), mi = m.captured(5).toInt(), s = m.captured(6).toInt();
  if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return false;
  if (h > 23 || mi > 59 || s > 59) return false;
  value = EncodeDateTime(y, mo, d, h, mi, s);
  return true;
}

QDateTime ToQDateTime(double t) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTimeMs(t, y, mo, d, h, mi, s, ms);
  return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::LocalTime);
}

double FromQDateTime(const QDateTime& dt) {
  const QDate date = dt.date();
  const QTime time = dt.time();
  return EncodeDateTime(date.year(), date.month(), date.day(), time.hour(), time.minute(),
                        time.second(), time.msec());
}

double NowDateTime() { return FromQDateTime(QDateTime::currentDateTime()); }

QString DateTimeToStr(double t) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTimeMs(t, y, mo, d, h, mi, s, ms);
  if (h == 0 && mi == 0 && s == 0 && ms == 0) return DateToStr(t);
  return QString::fromStdString(FormatRecordTime(y, mo, d, h, mi, s));
}
