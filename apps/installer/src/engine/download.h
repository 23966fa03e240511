#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "engine/ui_event.h"
#include "platform/http_agent_settings.h"

namespace zarn {

// The package URL: "url" unchanged when absolute, else joined onto the base with one "/".
std::string resolve_package_url(std::string_view base_url, std::string_view url);

// Fetches the "windows_x64" package that the update server's manifest names into `target`,
// reporting every step. False when it failed; its "error" report has then been posted.
[[nodiscard]] bool download_client(const Proxy& proxy, std::string_view base_url, const std::filesystem::path& target,
                                   const platform::HttpAgentSettings& agent = {});

}  // namespace zarn
