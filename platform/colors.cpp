#include "platform/colors.h"

#include <array>

namespace {

// Index = the low byte of a system colour. Values of a light desktop theme.
constexpr std::array<QRgb, 31> kSystemColors = {
    0xFFC8C8C8,  // 0 scroll bar
    0xFF3A6EA5,  // 1 desktop background
    0xFF0054E3,  // 2 active caption
    0xFF7A96DF,  // 3 inactive caption
    0xFFF0F0F0,  // 4 menu
    0xFFFFFFFF,  // 5 window
    0xFF000000,  // 6 window frame
    0xFF000000,  // 7 menu text
    0xFF000000,  // 8 window text
    0xFFFFFFFF,  // 9 caption text
    0xFFD4D0C8,  // 10 active border
    0xFFD4D0C8,  // 11 inactive border
    0xFF808080,  // 12 application workspace
    0xFF316AC5,  // 13 highlight
    0xFFFFFFFF,  // 14 highlighted text
    0xFFECE9D8,  // 15 button face
    0xFFACA899,  // 16 button shadow
    0xFFACA899,  // 17 grey text
    0xFF000000,  // 18 button text
    0xFFD8E4F8,  // 19 inactive caption text
    0xFFFFFFFF,  // 20 button highlight
    0xFF716F64,  // 21 dark 3-D shadow
    0xFFF1EFE2,  // 22 3-D light
    0xFF000000,  // 23 tooltip text
    0xFFFFFFE1,  // 24 tooltip background
    0xFFB5B5B5,  // 25 (unused index)
    0xFF0000FF,  // 26 hot-tracked item
    0xFF3D95FF,  // 27 active caption gradient
    0xFF9DB9EB,  // 28 inactive caption gradient
    0xFF316AC5,  // 29 menu highlight
    0xFFECE9D8,  // 30 menu bar
};

}  // namespace

QColor ToQColor(TColor color) {
  const auto value = static_cast<std::uint32_t>(color);
  if (value & 0x80000000u) {
    const std::uint32_t index = value & 0xFFu;
    return index < kSystemColors.size() ? QColor::fromRgb(kSystemColors[index]) : QColor(Qt::black);
  }
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

TColor FromQColor(const QColor& color) {
  const QColor rgb = color.toRgb();
  return static_cast<TColor>(static_cast<std::uint32_t>(rgb.red()) |
                             (static_cast<std::uint32_t>(rgb.green()) << 8) |
                             (static_cast<std::uint32_t>(rgb.blue()) << 16));
}
