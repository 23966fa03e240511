#pragma once

#include <cstddef>
#include <functional>

#include "platform/result.h"

namespace zarn::platform {

// Starts a new thread that runs `body` once and owns it, with `stack_size` bytes of stack
// reserved, and lets it run on its own: nothing joins it, and it ends with the process.
// std::thread cannot choose its stack size, which the install's deep call chains rely on.
// An exception escaping `body` ends that thread quietly, never the process.
Result<void> start_detached_thread(std::function<void()> body, std::size_t stack_size);

}  // namespace zarn::platform
