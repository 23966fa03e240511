#pragma once

#include <chrono>

namespace zarn::platform {

// How patient the update client is. Tests shorten these; the program uses the defaults.
struct HttpAgentSettings {
    std::chrono::milliseconds connect_timeout{5000};
    std::chrono::milliseconds read_timeout{30000};  // for each single read
};

}  // namespace zarn::platform
