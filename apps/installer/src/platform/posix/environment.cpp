#include "platform/environment.h"

#include <cstdlib>

#include "platform/unicode.h"

namespace zarn::platform {

std::optional<std::string> environment_variable(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr || !is_valid_utf8(value)) return std::nullopt;
    return std::string(value);
}

}  // namespace zarn::platform
