#pragma once
// Date-time values as the program stores and compares them: a double counting days
// since 1899-12-30, the fraction being the time of day (2000-01-01 00:00:00 = 36526.0).
// Wall-clock fields only; no time zone is ever applied.

#include <QString>
#include <cstdint>
#include <string>

class QDateTime;

double EncodeDateTime(int y, int mo, int d, int h, int mi, int s, int ms = 0);
void DecodeDateTime(double t, int& y, int& mo, int& d, int& h, int& mi, int& s);
// As above with the milliseconds as well.
void DecodeDateTimeMs(double t, int& y, int& mo, int& d, int& h, int& mi, int& s, int& ms);

// Whole seconds between two values, whichever comes first; the difference is rounded
// to the millisecond before it is truncated, so two times 5 s apart always give 5.
std::int64_t SecondsBetween(double a, double b);

// 28..31; 0 for a month outside 1..12.
int DaysInMonth(int y, int mo);
bool IsLeapYear(int y);

// "%04d-%02d-%02d %02d:%02d:%02d": the record time text (19 characters).
std::string FormatRecordTime(int y, int mo, int d, int h, int mi, int s);
std::string FormatRecordTime(double t);

QString DateToStr(double t);  // "yyyy-MM-dd"
QString TimeToStr(double t);  // "HH:mm:ss"

// Reads "yyyy-MM-dd HH:mm:ss" or "yyyy-MM-dd" (fields may have fewer digits); false
// and value untouched when the text is no valid date and time.
bool StrToDateTime(const QString& text, double& value);

double NowDateTime();

// Local wall-clock time both ways, field for field.
QDateTime ToQDateTime(double t);
double FromQDateTime(const QDateTime& dt);

// A date-time as the user reads it: "yyyy-MM-dd HH:mm:ss", the date alone at exactly
// midnight.
QString DateTimeToStr(double t);
