#pragma once
// One axis of the chart: its range with the setter rule callers rely on, the mapping
// between values and pixels, round label steps and label texts.

#include <QString>
#include <vector>

#include "platform/colors.h"

class ChartAxis {
 public:
  enum class Kind { DateTime, Value };

  explicit ChartAxis(Kind kind);

  Kind AxisKind() const { return kind_; }
  double Minimum() const { return min_; }
  double Maximum() const { return max_; }
  // A minimum above the current maximum, or a maximum below the current minimum, is
  // ignored (false): callers order their calls so that minimum <= maximum holds.
  bool SetMinimum(double value);
  bool SetMaximum(double value);
  // Both bounds at once (zoom, pan, undo); swapped when given the wrong way round.
  void SetMinMax(double lo, double hi);

  // Label text of a value: date-time "yyyy-M-d h:m:s" (date and time on two lines when
  // multiLine), values "#,##0.#".
  QString LabelText(double value, bool multiLine = true) const;

  // Pixel mapping, set by the chart's layout. For a vertical axis the start pixel is
  // the bottom row (the minimum) and the end pixel the top row.
  void SetPixelRange(double startPx, double endPx);
  double ValueToPixel(double value) const;
  double PixelToValue(double px) const;

  // The smallest round step whose labels, labelExtent pixels apart along the axis, do
  // not overlap; date-time steps are at least one second.
  double ChooseStep(double labelExtent) const;
  // Round label positions inside the range for a step.
  std::vector<double> Ticks(double step) const;

  TColor AxisColor = 0x808080;   // line
  TColor LabelColor = 0x000000;  // label font
  TColor GridColor = 0x808080;
  bool GridVisible = true;

 private:
  Kind kind_;
  double min_ = 0.0;
  double max_ = 1.0;
  double startPx_ = 0.0;
  double endPx_ = 1.0;
};

// Date-time values are days since 1899-12-30; whole seconds since then, rounded to
// the millisecond first and then truncated to the second, as labels show them.
long long DateTimeToSeconds(double dateTime);
double SecondsToDateTime(long long seconds);
// "yyyy-M-d h:m:s" of a date-time value; sep goes between date and time.
QString FormatChartDateTime(double dateTime, QChar sep = QLatin1Char(' '));
// "#,##0.#" of a value.
QString FormatChartValue(double value);
