#include "engine/ui_event.h"

namespace zarn {

void send_progress(const Proxy& proxy, std::string_view step, std::uint8_t pct, std::string_view note,
                   std::string_view state) {
    // A report that comes back (the window has closed) is simply released here.
    (void)proxy.post(Progress{std::string(step), pct, std::string(note), std::string(state)});
}

}  // namespace zarn
