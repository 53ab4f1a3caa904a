#pragma once
// Colour values as the settings store them (0x00BBGGRR, or a system colour with the
// top bit set) resolved to plain RGB for painting the chart.
// Kept private to the chart until the shared colour conversion is in place.

#include <QColor>

#include "data/pubparam.h"

namespace chartcolor {

// System colours resolved through a fixed table of the classic defaults; any other
// value keeps its low 24 bits. The result is always 0x00BBGGRR.
TColor ResolveRGB(TColor colour);

QColor ToQColor(TColor colour);

}  // namespace chartcolor
