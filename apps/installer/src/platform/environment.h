#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zarn::platform {

// The variable's value as UTF-8, or nothing when it does not exist or its value is not
// valid Unicode. A variable set to the empty text is set.
std::optional<std::string> environment_variable(std::string_view name);

}  // namespace zarn::platform
