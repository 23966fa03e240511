#pragma once

#include "engine/ipc_command.h"
#include "engine/ui_event.h"

namespace zarn {

// The whole body of the uninstall thread: removes the client and always ends with "done".
void run_uninstall(IpcCommand command, Proxy proxy);

}  // namespace zarn
