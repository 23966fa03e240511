#include "window/message_handler.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "window/ipc_command_decoding.h"

namespace zarn {
namespace {

// The status with which the process ends on an internal failure.
constexpr int kInternalFailureStatus = 101;

[[noreturn]] void end_for_failed_spawn(const Error& error) {
    const std::string message = "failed to spawn thread: " + error.text + "\n";
    std::fputs(message.c_str(), stderr);
    std::fflush(stderr);
    // Nothing can be cleaned up safely while the window's threads may still run.
    std::_Exit(kInternalFailureStatus);
}

void start_worker(const MessageWorkers& workers, std::function<void()> body) {
    if (auto started = workers.start_thread(std::move(body), kWorkerStackSize); !started) {
        end_for_failed_spawn(started.error());
    }
}

}  // namespace

void handle_ipc(const Proxy& proxy, std::string_view body, const MessageWorkers& workers) {
    auto decoded = decode_ipc_command(body);
    if (!decoded) return;
    IpcCommand command = std::move(*decoded);

    // Compared whole and case-sensitively: "Drag" or "close " are no commands.
    if (command.cmd == "drag") {
        static_cast<void>(proxy.post(Drag{}));
    } else if (command.cmd == "close") {
        static_cast<void>(proxy.post(Close{}));
    } else if (command.cmd == "launch") {
        static_cast<void>(proxy.post(Launch{}));
    } else if (command.cmd == "browse_dir") {
        auto task = [browse = workers.browse_dir, dir = std::move(command.install_dir), own = proxy]() mutable {
            browse(std::move(dir), std::move(own));
        };
        start_worker(workers, std::move(task));
    } else if (command.cmd == "install") {
        start_worker(workers, [install = workers.install, task = std::move(command), own = proxy]() mutable {
            install(std::move(task), std::move(own));
        });
    } else if (command.cmd == "uninstall") {
        start_worker(workers, [uninstall = workers.uninstall, task = std::move(command), own = proxy]() mutable {
            uninstall(std::move(task), std::move(own));
        });
    }
}

}  // namespace zarn
