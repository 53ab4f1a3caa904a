#pragma once
// Number texts of the lists and the statistics. All of them use '.' as the decimal
// point whatever the system locale, as the files and reports are read back by tools
// that expect it.

#include <QString>
#include <cstdint>
#include <string>

// printf "%<width>.<decimals>f", whole however long ("%4.2f" is width 4, decimals 2;
// "%0.f" width 0, decimals 0). AppendFixed adds the text to out.
std::string PrintfFixed(double value, int width, int decimals);
void AppendFixed(std::string& out, double value, int width, int decimals);

// printf "%4.2f" into a 32-byte buffer: two decimals, at least four characters,
// cut at 31 characters.
QString FormatFixed2(double value);

// printf "%s=>%4.2f" of a time text and a value into a 32-byte buffer.
QString FormatTimeValue(const QString& timeText, double value);

// The general float format of the class library: up to 15 significant digits, no
// trailing zeros and no trailing point; exponent form ("1E15", "1.5E-6") when the
// value needs more than 15 digits before the point or is below 0.00001 in magnitude.
QString FormatGeneral(double value);

// atoi of a typed text: optional blanks and sign, then the leading digits; 0 when
// there are none. Saturates instead of overflowing.
std::int64_t LeadingInt(const QString& text);
