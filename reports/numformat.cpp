#include "reports/numformat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

constexpr int kCellBuffer = 32;  // the cell texts' buffer, terminator included

QString CutCell(std::string text) {
  if (text.size() > kCellBuffer - 1) text.resize(kCellBuffer - 1);
  return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

std::string Fixed2(double value) { return PrintfFixed(value, 4, 2); }

}  // namespace

namespace {

// printf's fixed rounding without its cost, for the values instruments record: the
// value times 10^decimals is rounded in double arithmetic, which gives the correctly
// rounded result unless that product lies within its own rounding error of a half.
// Those few values (and large ones) take the exact path. False when not handled.
bool FastFixed(double value, int decimals, char* buf, char*& end) {
  static constexpr double kScale[] = {1, 10, 100, 1000, 10000};
  static constexpr std::uint64_t kDiv[] = {1, 10, 100, 1000, 10000};
  if (decimals < 0 || decimals > 4 || !(std::fabs(value) < 1e9)) return false;
  const double scaled = std::fabs(value) * kScale[decimals];
  const double whole = std::floor(scaled);
  const double fraction = scaled - whole;
  if (std::fabs(fraction - 0.5) <= scaled * 0x1p-50 + 0x1p-60) return false;
  const auto units = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  char* p = buf;
  if (std::signbit(value)) *p++ = '-';
  p = std::to_chars(p, buf + 32, units / kDiv[decimals]).ptr;
  if (decimals > 0) {
    *p++ = '.';
    std::uint64_t rest = units % kDiv[decimals];
    for (int i = decimals - 1; i >= 0; --i) {
      p[i] = static_cast<char>('0' + rest % 10);
      rest /= 10;
    }
    p += decimals;
  }
  end = p;
  return true;
}

}  // namespace

void AppendFixed(std::string& out, double value, int width, int decimals) {
  char buf[400];  // a double in fixed notation has at most 309 digits before the point
  char* end = buf;
  if (FastFixed(value, decimals, buf, end)) {
  } else if (std::isnan(value)) {
    end = std::copy_n(std::signbit(value) ? "-nan" : "nan", std::signbit(value) ? 4 : 3, buf);
  } else if (std::isinf(value)) {
    end = std::copy_n(value < 0 ? "-inf" : "inf", value < 0 ? 4 : 3, buf);
  } else {
    // to_chars rounds as printf does and never uses the locale's decimal point.
    end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed,
                        std::clamp(decimals, 0, 60)).ptr;
  }
  const auto length = static_cast<int>(end - buf);
  if (length < width) out.append(static_cast<std::size_t>(width - length), ' ');
  out.append(buf, end);
}

std::string PrintfFixed(double value, int width, int decimals) {
  std::string s;
  AppendFixed(s, value, width, decimals);
  return s;
}

QString FormatFixed2(double value) { return CutCell(Fixed2(value)); }

QString FormatTimeValue(const QString& timeText, double value) {
  return CutCell(timeText.toStdString() + "=>" + Fixed2(value));
}

QString FormatGeneral(double value) {
  if (std::isnan(value)) return QStringLiteral("NAN");
  if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
  if (value == 0.0) return QStringLiteral("0");

  // Round to 15 significant digits first: the rounded value decides the form.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  std::string sci(buf, res.ptr);  // "-d.ddddddddddddddE+xx"
  const auto ePos = sci.find('e');
  const int exponent = std::atoi(sci.c_str() + ePos + 1);
  const bool negative = sci[0] == '-';
  std::string digits;
  for (std::size_t i = negative ? 1 : 0; i < ePos; ++i)
    if (sci[i] != '.') digits += sci[i];
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  // from_chars, unlike strtod, reads the point whatever the C library's locale says.
  double rounded = 0.0;
  std::from_chars(sci.data(), sci.data() + sci.size(), rounded, std::chars_format::scientific);
  const double magnitude = std::fabs(rounded);
  if (exponent >= 15 || magnitude < 0.00001) {
    out += digits[0];
    if (digits.size() > 1) out.append(".").append(digits, 1);
    out.append("E").append(std::to_string(exponent));
  } else if (exponent < 0) {
    out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
  } else {
    const auto intDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
      out.append(digits).append(intDigits - digits.size(), '0');
    } else {
      out.append(digits, 0, intDigits).append(".").append(digits, intDigits);
    }
  }
  return QString::fromLatin1(out.data(), static_cast<int>(out.size()));
}

std::int64_t LeadingInt(const QString& text) {
  const std::string s = text.toStdString();
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' ||
                          s[i] == '\v' || s[i] == '\f'))
    ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  std::int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > kLimit) v = kLimit;  // saturate: a huge typed page is simply out of range
  }
  return negative ? -v : v;
}
