#pragma once

#include <string>
#include <string_view>

namespace zarn {

// The text of the client's "config.json": {"serverUrl": ...} pretty-printed with two-space
// indents and LF line breaks, without a final line break.
std::string client_config_text(std::string_view server_url);

}  // namespace zarn
