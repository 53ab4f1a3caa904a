#include "mainwindow/numformat.h"

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

std::string Fixed2(double value) {
  if (std::isnan(value)) return std::signbit(value) ? "-nan" : " nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : " inf";
  char buf[400];  // a double in fixed notation has at most 309 digits before the point
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  std::string s(buf, res.ptr);
  if (s.size() < 4) s.insert(0, 4 - s.size(), ' ');
  return s;
}

}  // namespace

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
