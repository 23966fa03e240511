#include "platform/os_error.h"

#include <cerrno>
#include <cstring>
#include <cctype>
#include <string>
#include <type_traits>

namespace zarn::platform {

Error os_error(int code) {
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const auto result = strerror_r(code, buffer, sizeof buffer);
    std::string message;
    if constexpr (std::is_same_v<decltype(result), const int> || std::is_same_v<decltype(result), int>) {
        message = buffer;
    } else {
        message = result;
    }
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back()))) message.pop_back();
    return Error{message + " (os error " + std::to_string(code) + ")"};
}

Error last_os_error() { return os_error(errno); }

}  // namespace zarn::platform
