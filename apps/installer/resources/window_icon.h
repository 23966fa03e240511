#pragma once

#include <cstdint>
#include <span>

namespace zarn {

// The window icon: the icon group's 32-pixel image once more as raw pixels, 32 rows of 32,
// top row first, 4 bytes a pixel in the order red, green, blue, alpha.
inline constexpr std::uint32_t kWindowIconSize = 32;
std::span<const std::uint8_t> window_icon_rgba();

}  // namespace zarn
