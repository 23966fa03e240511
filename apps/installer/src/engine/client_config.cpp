#include "engine/client_config.h"

#include <nlohmann/json.hpp>

namespace zarn {

std::string client_config_text(std::string_view server_url) {
    // Without ensure_ascii only " \ and the controls below U+0020 are escaped, as the client
    // expects; bytes that are not UTF-8 (never in a built-in URL) become U+FFFD.
    const nlohmann::ordered_json config{{"serverUrl", std::string(server_url)}};
    return config.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace zarn
