#include "platform/chartcolor.h"

#include <array>
#include <cstdint>

namespace chartcolor {

namespace {

// Classic default system colours by index, as 0x00BBGGRR.
constexpr std::array<std::uint32_t, 31> kSystemColours = {
    0xC8C8C8,  // 0 scroll bar
    0x000000,  // 1 desktop
    0xD1B499,  // 2 active caption
    0xDBCDBF,  // 3 inactive caption
    0xF0F0F0,  // 4 menu
    0xFFFFFF,  // 5 window
    0x646464,  // 6 window frame
    0x000000,  // 7 menu text
    0x000000,  // 8 window text
    0x000000,  // 9 caption text
    0xB4B4B4,  // 10 active border
    0xFCF7F4,  // 11 inactive border
    0xABABAB,  // 12 application workspace
    0xFF9933,  // 13 highlight
    0xFFFFFF,  // 14 highlight text
    0xF0F0F0,  // 15 button face
    0xA0A0A0,  // 16 button shadow
    0x6D6D6D,  // 17 grey text
    0x000000,  // 18 button text
    0x000000,  // 19 inactive caption text
    0xFFFFFF,  // 20 button highlight
    0x696969,  // 21 3-D dark shadow
    0xE3E3E3,  // 22 3-D light
    0x000000,  // 23 tooltip text
    0xE1FFFF,  // 24 tooltip background
    0xF0F0F0,  // 25 (unused)
    0xCC6600,  // 26 hot light
    0xEAD1B9,  // 27 gradient active caption
    0xF2E4D7,  // 28 gradient inactive caption
    0xFF9933,  // 29 menu highlight
    0xF0F0F0,  // 30 menu bar
};

}  // namespace

TColor ResolveRGB(TColor colour) {
  const auto raw = static_cast<std::uint32_t>(colour);
  if (raw & 0x80000000u) {
    const std::uint32_t index = raw & 0xFFu;
    return static_cast<TColor>(index < kSystemColours.size() ? kSystemColours[index] : 0u);
  }
  return static_cast<TColor>(raw & 0x00FFFFFFu);
}

QColor ToQColor(TColor colour) {
  const auto rgb = static_cast<std::uint32_t>(ResolveRGB(colour));
  return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                static_cast<int>((rgb >> 16) & 0xFF));
}

}  // namespace chartcolor
