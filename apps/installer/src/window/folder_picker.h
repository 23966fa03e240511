#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/ui_event.h"

namespace zarn {

// The body of the folder-picker thread: shows the system's folder dialog through a hidden
// PowerShell, preselecting `install_dir` (or its parent), and posts exactly one SetDir: the
// chosen folder with "ZARN" appended unless it is already named so, or none when the dialog
// was cancelled or could not be shown.
void browse_install_dir(std::optional<std::string> install_dir, Proxy proxy);

// The folder the dialog is asked to preselect: the given text if something exists there, else
// its parent if that exists, else empty. A blank text gives empty.
std::string dialog_start_folder(const std::optional<std::string>& install_dir);

// The installation folder for what the dialog printed, or none when it printed nothing.
std::optional<std::string> folder_from_answer(std::string_view output);

}  // namespace zarn
