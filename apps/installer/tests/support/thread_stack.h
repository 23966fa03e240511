#pragma once

#include <cstddef>

namespace zarn::test {

// The size of the stack the calling thread runs on, as the system reports it from inside the
// thread: on Windows the whole reserved range, elsewhere the thread library's stack size
// (without its guard page).
std::size_t current_thread_stack_size();

// What the system makes of a requested stack size: Windows reserves whole allocation units
// (64 KiB), the thread library here whole pages.
std::size_t stack_size_granted_for(std::size_t requested);

}  // namespace zarn::test
