#pragma once

#include "engine/ipc_command.h"
#include "engine/ui_event.h"

namespace zarn {

// The whole body of the install thread: installs the client and reports every step.
void run_install(IpcCommand command, Proxy proxy);

}  // namespace zarn
