#pragma once

#include <functional>
#include <memory>

#include "toolkit/event_queue.h"
#include "toolkit/toolkit.h"

namespace zarn::toolkit {

// What a backend's loop and its window share: the queue behind every proxy, the handler once
// the loop runs, and the control flow the handler sets. Everything but the queue's posting
// happens on the loop's thread.
class LoopCore {
public:
    struct Backend {
        // Asks the loop's thread to call drain() soon, from any thread; false when the
        // platform refuses.
        std::function<bool(const std::weak_ptr<LoopCore>& core)> wake;
        // Runs right after the handler asked for the end (it is never called again), to leave
        // the platform's loop.
        std::function<void()> after_exit;
    };

    static std::shared_ptr<LoopCore> create(Backend backend);
    // Only create() makes one: the queue has to know the core it wakes.
    struct Key {
        explicit Key() = default;
    };
    explicit LoopCore(Key) {}

    std::shared_ptr<EventQueue> queue() const { return queue_; }

    // Hands one event to the handler; nothing before the loop runs, after the handler asked
    // for the end, or while the handler itself runs.
    void deliver(LoopEvent event);
    // Hands over every queued UiEvent.
    void drain();

    void start(Handler handler);
    bool exiting() const { return flow_.exiting(); }
    int exit_code() const { return flow_.exit_code(); }
    // Closes the queue, then releases the handler and all that it owns.
    void finish();
    // Ends the process with the loop's exit code once finish() has run.
    [[noreturn]] void end_process() const;

private:
    void call_handler(LoopEvent event);

    std::shared_ptr<EventQueue> queue_;
    std::function<void()> after_exit_;
    Handler handler_;
    ControlFlow flow_;
    bool in_handler_ = false;
};

}  // namespace zarn::toolkit
