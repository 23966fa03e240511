#include "engine/user_folders.h"

#include <initializer_list>
#include <string_view>

#include "engine/path_join.h"
#include "platform/environment.h"
#include "platform/path_text.h"

namespace zarn {
namespace {

std::optional<std::filesystem::path> under_variable(std::string_view variable,
                                                    std::initializer_list<std::string_view> names) {
    const auto value = platform::environment_variable(variable);
    if (!value) return std::nullopt;
    auto path = platform::path_from_utf8(*value);
    for (const auto name : names) path = join_path(path, name);
    return path;
}

}  // namespace

std::filesystem::path default_install_dir() {
    if (auto path = under_variable("LOCALAPPDATA", {"ZARN"})) return *path;
    return platform::path_from_utf8("C:\\ZARN");
}

std::optional<std::filesystem::path> desktop_shortcut_path() {
    return under_variable("USERPROFILE", {"Desktop", "ZARN.lnk"});
}

std::optional<std::filesystem::path> start_menu_shortcut_path() {
    return under_variable("APPDATA", {"Microsoft", "Windows", "Start Menu", "Programs", "ZARN.lnk"});
}

}  // namespace zarn
