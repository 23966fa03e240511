#include "support/thread_stack.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace zarn::test {
namespace {

std::size_t round_up(std::size_t size, std::size_t unit) { return (size + unit - 1) / unit * unit; }

}  // namespace

#ifdef _WIN32

std::size_t current_thread_stack_size() {
    ULONG_PTR low = 0;
    ULONG_PTR high = 0;
    ::GetCurrentThreadStackLimits(&low, &high);
    return static_cast<std::size_t>(high - low);
}

std::size_t stack_size_granted_for(std::size_t requested) {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return round_up(requested, info.dwAllocationGranularity);
}

#else

std::size_t current_thread_stack_size() {
    pthread_attr_t attributes;
    if (::pthread_getattr_np(::pthread_self(), &attributes) != 0) return 0;
    std::size_t size = 0;
    if (::pthread_attr_getstacksize(&attributes, &size) != 0) size = 0;
    ::pthread_attr_destroy(&attributes);
    return size;
}

std::size_t stack_size_granted_for(std::size_t requested) {
    return round_up(requested, static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)));
}

#endif

}  // namespace zarn::test
