#include "toolkit/event_queue.h"

#include <algorithm>

namespace zarn::toolkit {

std::optional<UiEvent> EventQueue::post(UiEvent event) {
    std::uint64_t ticket = 0;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return event;
        ticket = next_ticket_++;
        queued_.emplace_back(ticket, std::move(event));
    }
    if (wake_()) return std::nullopt;
    return withdraw(ticket);
}

std::optional<UiEvent> EventQueue::withdraw(std::uint64_t ticket) {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(queued_.begin(), queued_.end(), [&](const auto& entry) { return entry.first == ticket; });
    // Already taken by a wake-up of another post: then it was delivered after all.
    if (it == queued_.end()) return std::nullopt;
    UiEvent event = std::move(it->second);
    queued_.erase(it);
    return event;
}

std::optional<UiEvent> EventQueue::take() {
    std::lock_guard lock(mutex_);
    if (queued_.empty()) return std::nullopt;
    UiEvent event = std::move(queued_.front().second);
    queued_.pop_front();
    return event;
}

void EventQueue::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    queued_.clear();
}

}  // namespace zarn::toolkit
