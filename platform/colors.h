#pragma once
// Colours as the settings file stores them (TColor: 0x00BBGGRR, or a system colour
// with the top bit set and its index in the low byte) and as widgets draw them.

#include <QColor>
#include <cstdint>

// Converted to QColor only at the widget edge.
using TColor = std::int32_t;

constexpr TColor kSystemColorFlag = static_cast<TColor>(0x80000000u);
constexpr TColor SystemColor(int index) { return kSystemColorFlag | index; }

// System colours resolve through a fixed table of plausible desktop colours; an
// unknown index gives black.
QColor ToQColor(TColor color);
// Always a plain 0x00BBGGRR value (the alpha channel is dropped).
TColor FromQColor(const QColor& color);
