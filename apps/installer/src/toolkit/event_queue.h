#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

#include "engine/ui_event.h"

namespace zarn::toolkit {

// The queue behind every Proxy of a loop, the same on both backends. Posting appends and
// asks the backend to wake the loop's thread; the loop takes events one at a time.
class EventQueue : public EventSink {
public:
    // Asks the loop's thread to take events; false when the platform refuses.
    using Wake = std::function<bool()>;

    explicit EventQueue(Wake wake) : wake_(std::move(wake)) {}

    std::optional<UiEvent> post(UiEvent event) override;

    // The oldest queued event, on the loop's thread.
    std::optional<UiEvent> take();

    // The loop has ended: every later post hands its event back.
    void close();

private:
    std::optional<UiEvent> withdraw(std::uint64_t ticket);

    Wake wake_;
    std::mutex mutex_;  // held only to move an event in or out, never while waking
    std::deque<std::pair<std::uint64_t, UiEvent>> queued_;
    std::uint64_t next_ticket_ = 0;
    bool closed_ = false;
};

}  // namespace zarn::toolkit
