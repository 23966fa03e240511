#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/ipc_command.h"
#include "engine/ui_event.h"
#include "platform/result.h"

namespace zarn {

// The stack reserved for each worker thread that a page message starts.
inline constexpr std::size_t kWorkerStackSize = 2 * 1024 * 1024;

// What the page's messages start, and how a worker thread is started.
struct MessageWorkers {
    std::function<void(std::optional<std::string> install_dir, Proxy proxy)> browse_dir;
    std::function<void(IpcCommand command, Proxy proxy)> install;
    std::function<void(IpcCommand command, Proxy proxy)> uninstall;
    std::function<Result<void>(std::function<void()> body, std::size_t stack_size)> start_thread;
};

// Acts on one message that the page posted, on the main thread: "drag", "close" and
// "launch" become events of the loop; "browse_dir", "install" and "uninstall" each run on a
// new detached thread with a proxy handle of its own. A message that does not decode and a
// command outside these six are dropped without a trace. A thread that cannot be started
// ends the process with "failed to spawn thread" on standard error.
void handle_ipc(const Proxy& proxy, std::string_view body);
void handle_ipc(const Proxy& proxy, std::string_view body, const MessageWorkers& workers);

// The workers the program itself runs: the folder picker, the install and the uninstall, each
// on a detached thread of the platform's own.
const MessageWorkers& program_workers();

}  // namespace zarn
