#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "engine/ipc_command.h"
#include "engine/ui_event.h"
#include "platform/http_agent_settings.h"
#include "platform/result.h"

namespace zarn {

// What an install takes from outside the page's message.
struct InstallContext {
    std::string server_url;  // the update server's base URL, also written to "config.json"
    // The full path of the running setup program.
    std::function<Result<std::filesystem::path>()> running_program;
    platform::HttpAgentSettings agent;
};

// The whole body of the install thread: installs the client and reports every step, with
// the built-in server URL and the running program's own path.
void run_install(IpcCommand command, Proxy proxy);

// The install itself, run on the calling thread.
void install_client(const IpcCommand& command, const Proxy& proxy, const InstallContext& context);

}  // namespace zarn
