#include "window/setup_mode.h"

#include <algorithm>

#include "platform/ascii.h"

namespace zarn {

bool is_uninstall_argument(std::string_view argument) {
    return platform::equal_ignoring_ascii_case(argument, "--uninstall");
}

bool uninstall_requested(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const std::string& argument) { return is_uninstall_argument(argument); });
}

}  // namespace zarn
