#pragma once

#include <filesystem>
#include <optional>

// Where the current user's folders are, read from the environment at each call.
namespace zarn {

// "ZARN" under LOCALAPPDATA, or "C:\ZARN" when that is not set.
std::filesystem::path default_install_dir();

// "Desktop\ZARN.lnk" under USERPROFILE, or nothing when that is not set.
std::optional<std::filesystem::path> desktop_shortcut_path();

// "Microsoft\Windows\Start Menu\Programs\ZARN.lnk" under APPDATA, or nothing when that is not set.
std::optional<std::filesystem::path> start_menu_shortcut_path();

}  // namespace zarn
