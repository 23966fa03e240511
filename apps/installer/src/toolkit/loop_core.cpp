#include "toolkit/loop_core.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace zarn::toolkit {

std::shared_ptr<LoopCore> LoopCore::create(Backend backend) {
    auto core = std::make_shared<LoopCore>(Key{});
    core->queue_ = std::make_shared<EventQueue>(
        [wake = std::move(backend.wake), weak = std::weak_ptr<LoopCore>(core)] { return wake(weak); });
    core->after_exit_ = std::move(backend.after_exit);
    return core;
}

void LoopCore::call_handler(LoopEvent event) {
    in_handler_ = true;
    handler_(std::move(event), flow_);
    in_handler_ = false;
    if (flow_.exiting() && after_exit_) after_exit_();
}

void LoopCore::deliver(LoopEvent event) {
    // A loop run from inside the handler (a modal dialog, say) must not call it again.
    if (!handler_ || flow_.exiting() || in_handler_) return;
    call_handler(std::move(event));
    // Wake-ups that came while the handler ran found it busy.
    drain();
}

void LoopCore::drain() {
    while (handler_ && !flow_.exiting() && !in_handler_) {
        auto event = queue_->take();
        if (!event) return;
        call_handler(std::move(*event));
    }
}

void LoopCore::start(Handler handler) {
    handler_ = std::move(handler);
    // Events posted before the loop ran found no handler yet.
    drain();
}

void LoopCore::finish() {
    queue_->close();
    Handler released = std::move(handler_);
    handler_ = nullptr;
}

void LoopCore::end_process() const {
    // Worker threads may still be downloading, hashing or waiting for a dialog. Exit-time
    // clean-up (static destructors, a TLS library's atexit hook) would pull their state away
    // from under them and crash the ending program, so only the output buffers are written.
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    std::_Exit(exit_code());
}

}  // namespace zarn::toolkit
