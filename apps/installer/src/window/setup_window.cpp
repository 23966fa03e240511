#include "window/setup_window.h"

#include <utility>

namespace zarn {

std::optional<toolkit::Icon> icon_from_rgba(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                            std::uint32_t height) {
    const std::uint64_t expected = std::uint64_t{width} * height * 4;
    if (width == 0 || height == 0 || rgba.size() != expected) return std::nullopt;
    return toolkit::Icon{{rgba.begin(), rgba.end()}, width, height};
}

toolkit::WindowSettings setup_window_settings(bool uninstall, std::optional<toolkit::Icon> icon) {
    toolkit::WindowSettings settings;
    settings.title = uninstall ? "Удаление ZARN" : "Установка ZARN";
    settings.logical_width = 520;
    settings.logical_height = 390;
    settings.resizable = false;
    settings.decorations = false;
    settings.icon = std::move(icon);
    return settings;
}

}  // namespace zarn
