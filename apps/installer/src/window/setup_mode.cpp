#include "window/setup_mode.h"

#include <algorithm>

namespace zarn {
namespace {

constexpr std::string_view kUninstallArgument = "--uninstall";

char fold_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool is_uninstall_argument(std::string_view argument) {
    return argument.size() == kUninstallArgument.size() &&
           std::equal(argument.begin(), argument.end(), kUninstallArgument.begin(),
                      [](char a, char b) { return fold_ascii(a) == b; });
}

bool uninstall_requested(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const std::string& argument) { return is_uninstall_argument(argument); });
}

}  // namespace zarn
