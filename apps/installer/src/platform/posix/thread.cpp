#include "platform/thread.h"

#include <pthread.h>

#include <memory>

#include "platform/os_error.h"

namespace zarn::platform {
namespace {

extern "C" void* run_body(void* argument) {
    const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    try {
        (*body)();
    } catch (...) {
        // No error may cross into the thread library; the thread just ends.
    }
    return nullptr;
}

class ThreadAttributes {
public:
    ThreadAttributes() : code_(::pthread_attr_init(&attributes_)) {}
    ~ThreadAttributes() {
        if (code_ == 0) ::pthread_attr_destroy(&attributes_);
    }
    ThreadAttributes(const ThreadAttributes&) = delete;
    ThreadAttributes& operator=(const ThreadAttributes&) = delete;

    int init_code() const { return code_; }
    pthread_attr_t* get() { return &attributes_; }

private:
    pthread_attr_t attributes_{};
    int code_;
};

}  // namespace

Result<void> start_detached_thread(std::function<void()> body, std::size_t stack_size) {
    ThreadAttributes attributes;
    if (attributes.init_code() != 0) return unexpected(os_error(attributes.init_code()));
    if (const int code = ::pthread_attr_setstacksize(attributes.get(), stack_size); code != 0) {
        return unexpected(os_error(code));
    }
    if (const int code = ::pthread_attr_setdetachstate(attributes.get(), PTHREAD_CREATE_DETACHED); code != 0) {
        return unexpected(os_error(code));
    }
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    pthread_t thread{};
    if (const int code = ::pthread_create(&thread, attributes.get(), run_body, owned.get()); code != 0) {
        return unexpected(os_error(code));
    }
    owned.release();  // the thread owns it now
    return {};
}

}  // namespace zarn::platform
