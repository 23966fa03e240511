#include "platform/dll_search.h"

#include <windows.h>

#include "platform/os_error.h"

namespace zarn::platform {

Result<void> restrict_dll_search_to_system_folder() {
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return unexpected(last_os_error());
    return {};
}

}  // namespace zarn::platform
