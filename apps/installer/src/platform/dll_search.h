#pragma once

#include "platform/result.h"

namespace zarn::platform {

// From here on a DLL that the process loads by name is looked for in the system folder only:
// never in the program's own folder, the current folder or PATH, where a program started from
// a Downloads folder could meet a planted DLL of a system name. main calls it before anything
// else; the system DLLs that are not always taken from the system folder are bound on first
// use (delay imports), so none of them is loaded before the search is restricted; no static
// initialiser may call into them, as it would run before main. Other platforms have nothing
// to restrict.
Result<void> restrict_dll_search_to_system_folder();

}  // namespace zarn::platform
