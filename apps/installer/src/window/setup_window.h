#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "toolkit/toolkit.h"

namespace zarn {

// An icon of the given size from rows of red, green, blue and alpha bytes; nothing when the
// pixels do not fill exactly that size, and the window then goes without an icon.
std::optional<toolkit::Icon> icon_from_rgba(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                            std::uint32_t height);

// The setup window: titled for the mode, a 520 by 390 logical client area, no system frame,
// fixed in size.
toolkit::WindowSettings setup_window_settings(bool uninstall, std::optional<toolkit::Icon> icon);

}  // namespace zarn
