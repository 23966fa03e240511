#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarn {

// True for an argument that is "--uninstall" in any mix of ASCII case, and nothing else:
// no prefix, no trimming, no other folding.
bool is_uninstall_argument(std::string_view argument);

// Uninstall mode: any argument, the program's own name included, asks for it.
bool uninstall_requested(const std::vector<std::string>& arguments);

}  // namespace zarn
