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

// Both read a path text by Windows' rules, on every build: "\" and "/" separate; a root (a
// drive "D:" or "D:\", a share "\\server\share", a device "\\?\D:\" or
// "\\?\UNC\server\share", or a leading separator) holds no name; trailing separators and
// trailing "." components are passed over, as "." names no folder of its own.

// The last name of a path, or none when nothing but a root is left.
std::optional<std::string_view> last_folder_name(std::string_view path);

// The path less its last name and the separators before it, a root keeping its own separator;
// none when the path has no name or nothing stands before it.
std::optional<std::string> parent_folder(std::string_view path);

}  // namespace zarn
