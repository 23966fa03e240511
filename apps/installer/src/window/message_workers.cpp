#include "engine/install.h"
#include "engine/uninstall.h"
#include "platform/thread.h"
#include "window/folder_picker.h"
#include "window/message_handler.h"

namespace zarn {

// Kept apart from the dispatch so that only the program itself, not the dispatch's tests,
// links the procedures.
const MessageWorkers& program_workers() {
    static const MessageWorkers workers{browse_install_dir, run_install, run_uninstall,
                                        platform::start_detached_thread};
    return workers;
}

void handle_ipc(const Proxy& proxy, std::string_view body) { handle_ipc(proxy, body, program_workers()); }

}  // namespace zarn
