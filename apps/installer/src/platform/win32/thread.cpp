#include "platform/thread.h"

#include <windows.h>

#include <memory>

#include "platform/os_error.h"

namespace zarn::platform {
namespace {

DWORD WINAPI run_body(LPVOID argument) {
    const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    try {
        (*body)();
    } catch (...) {
        // No error may cross into the system's thread start; the thread just ends.
    }
    return 0;
}

}  // namespace

Result<void> start_detached_thread(std::function<void()> body, std::size_t stack_size) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    // The size only reserves address space; pages are committed as the stack grows.
    const HANDLE thread =
        ::CreateThread(nullptr, stack_size, run_body, owned.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) return unexpected(last_os_error());
    owned.release();  // the thread owns it now
    ::CloseHandle(thread);
    return {};
}

}  // namespace zarn::platform
