#include "platform/chartaxis.h"

#include <QDate>
#include <algorithm>
#include <cmath>

namespace {

// Round steps of the date-time axis, in seconds.
constexpr long long kTimeSteps[] = {
    1,      2,       5,       10,      15,       30,       60,       120,      300,
    600,    900,     1800,    3600,    7200,     10800,    21600,    43200,    86400,
    172800, 432000,  604800,  1209600, 2592000,  5184000,  7776000,  15552000, 31536000,
    63072000, 157680000, 315360000, 1576800000};

constexpr long long kSecondsPerDay = 86400;
const QDate kEpoch(1899, 12, 30);

}  // namespace

long long DateTimeToSeconds(double dateTime) {
  if (!std::isfinite(dateTime)) return 0;
  // Keep far-off values inside what a date can show.
  dateTime = std::clamp(dateTime, -693593.0, 2958465.0);
  const long long ms = std::llround(dateTime * kSecondsPerDay * 1000.0);
  // Truncate toward minus infinity so that times before the epoch keep their seconds.
  return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

double SecondsToDateTime(long long seconds) {
  return static_cast<double>(seconds) / static_cast<double>(kSecondsPerDay);
}

QString FormatChartDateTime(double dateTime, QChar sep) {
  const long long secs = DateTimeToSeconds(dateTime);
  long long days = secs >= 0 ? secs / kSecondsPerDay : -((-secs + kSecondsPerDay - 1) / kSecondsPerDay);
  const long long tod = secs - days * kSecondsPerDay;
  const QDate d = kEpoch.addDays(days);
  return QStringLiteral("%1-%2-%3%4%5:%6:%7")
      .arg(d.year())
      .arg(d.month())
      .arg(d.day())
      .arg(sep)
      .arg(tod / 3600)
      .arg((tod / 60) % 60)
      .arg(tod % 60);
}

QString FormatChartValue(double value) {
  if (!std::isfinite(value)) return QStringLiteral("0");
  const long long tenths = std::llround(std::fabs(value) * 10.0);
  const bool negative = value < 0 && tenths != 0;
  QString whole = QString::number(tenths / 10);
  for (int i = whole.size() - 3; i > 0; i -= 3) whole.insert(i, QLatin1Char(','));
  QString text = negative ? QStringLiteral("-") + whole : whole;
  if (tenths % 10 != 0) text += QLatin1Char('.') + QString::number(tenths % 10);
  return text;
}

ChartAxis::ChartAxis(Kind kind) : kind_(kind) {}

bool ChartAxis::SetMinimum(double value) {
  if (!std::isfinite(value) || value > max_) return false;
  min_ = value;
  return true;
}

bool ChartAxis::SetMaximum(double value) {
  if (!std::isfinite(value) || value < min_) return false;
  max_ = value;
  return true;
}

void ChartAxis::SetMinMax(double lo, double hi) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) return;
  if (lo > hi) std::swap(lo, hi);
  min_ = lo;
  max_ = hi;
}

QString ChartAxis::LabelText(double value, bool multiLine) const {
  if (kind_ == Kind::DateTime)
    return FormatChartDateTime(value, multiLine ? QLatin1Char('\n') : QLatin1Char(' '));
  return FormatChartValue(value);
}

void ChartAxis::SetPixelRange(double startPx, double endPx) {
  startPx_ = startPx;
  endPx_ = endPx;
}

double ChartAxis::ValueToPixel(double value) const {
  const double span = max_ - min_;
  // Equal bounds put every value on the start pixel instead of dividing by zero.
  if (span <= 0.0) return startPx_;
  return startPx_ + (value - min_) / span * (endPx_ - startPx_);
}

double ChartAxis::PixelToValue(double px) const {
  const double pixels = endPx_ - startPx_;
  if (pixels == 0.0) return min_;
  return min_ + (px - startPx_) / pixels * (max_ - min_);
}

double ChartAxis::ChooseStep(double labelExtent) const {
  const double pixels = std::fabs(endPx_ - startPx_);
  const double span = max_ - min_;
  if (kind_ == Kind::DateTime) {
    const double spanSecs = span * kSecondsPerDay;
    for (long long step : kTimeSteps) {
      if (spanSecs <= 0.0 || pixels <= 0.0) return SecondsToDateTime(step);
      if (static_cast<double>(step) / spanSecs * pixels >= labelExtent) return SecondsToDateTime(step);
    }
    return SecondsToDateTime(kTimeSteps[std::size(kTimeSteps) - 1]);
  }
  // Values: 1, 2, 5 times a power of ten; never below 0.1, the finest label shown.
  if (span <= 0.0 || pixels <= 0.0) return 1.0;
  const double wanted = std::max(span * labelExtent / pixels, 0.1);
  const double magnitude = std::pow(10.0, std::floor(std::log10(wanted)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * magnitude >= wanted * (1.0 - 1e-12)) return std::max(m * magnitude, 0.1);
  }
  return 10.0 * magnitude;
}

std::vector<double> ChartAxis::Ticks(double step) const {
  std::vector<double> ticks;
  if (!(step > 0.0)) return ticks;
  if (kind_ == Kind::DateTime) {
    const long long stepSecs = std::max(1LL, std::llround(step * kSecondsPerDay));
    const long long lo = DateTimeToSeconds(min_);
    const long long hi = DateTimeToSeconds(max_);
    long long first = (lo >= 0 ? (lo + stepSecs - 1) / stepSecs : -((-lo) / stepSecs)) * stepSecs;
    if (SecondsToDateTime(first) < min_ - 1e-9) first += stepSecs;
    for (long long s = first; s <= hi && ticks.size() < 2000; s += stepSecs)
      ticks.push_back(SecondsToDateTime(s));
    return ticks;
  }
  const double first = std::ceil(min_ / step - 1e-9) * step;
  for (int i = 0; ticks.size() < 2000; ++i) {
    const double v = first + i * step;
    if (v > max_ + step * 1e-9) break;
    ticks.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
  }
  return ticks;
}
