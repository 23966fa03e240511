#include "platform/dll_search.h"

namespace zarn::platform {

// The dynamic loader takes libraries from the system's paths and the program's own run path,
// never from the current folder.
Result<void> restrict_dll_search_to_system_folder() { return {}; }

}  // namespace zarn::platform
