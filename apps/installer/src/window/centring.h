#pragma once

#include "toolkit/toolkit.h"

namespace zarn {

// Where a window of the given outer size goes to stand in the middle of the monitor, in
// device pixels. A window that would start left of or above the screen's origin is pulled
// back to 0 so its edge stays reachable.
toolkit::Position centred_position(const toolkit::Rect& monitor, const toolkit::Size& outer);

}  // namespace zarn
