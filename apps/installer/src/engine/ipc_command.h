#pragma once

#include <optional>
#include <string>

namespace zarn {

// One message of the page, as decoded by the setup window. The procedures receive it whole.
struct IpcCommand {
    std::string cmd;
    std::optional<std::string> install_dir;  // "installDir"
    bool desktop_shortcut = false;           // "desktopShortcut"
    bool start_menu_shortcut = false;        // "startMenuShortcut"
    bool autostart = false;                  // "autostart"
    friend bool operator==(const IpcCommand&, const IpcCommand&) = default;
};

}  // namespace zarn
