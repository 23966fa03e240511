#include "window/centring.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace zarn {
namespace {

// Signed arithmetic with a division that truncates toward zero, kept in 64 bits so that
// no monitor the system reports can overflow it, then brought back to 32 bits.
std::int32_t centred_edge(std::int32_t monitor_edge, std::uint32_t monitor_extent, std::uint32_t window_extent) {
    const std::int64_t edge = std::int64_t{monitor_edge} +
                              (std::int64_t{monitor_extent} - std::int64_t{window_extent}) / 2;
    const std::int64_t clamped = std::clamp<std::int64_t>(edge, 0, std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(clamped);
}

}  // namespace

toolkit::Position centred_position(const toolkit::Rect& monitor, const toolkit::Size& outer) {
    return {centred_edge(monitor.position.x, monitor.size.width, outer.width),
            centred_edge(monitor.position.y, monitor.size.height, outer.height)};
}

}  // namespace zarn
