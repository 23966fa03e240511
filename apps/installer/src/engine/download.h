#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/ui_event.h"
#include "platform/http_agent_settings.h"

namespace zarn {

// The package URL: "url" unchanged when absolute, else joined onto the base with one "/".
std::string resolve_package_url(std::string_view base_url, std::string_view url);

// The download's share of the install percentage, 30 to 68, after `downloaded` of `divisor`
// bytes (the package's size, or 1 when it is given as 0).
std::uint8_t download_percentage(std::uint64_t downloaded, std::uint64_t divisor);

// "{} МБ": the bytes downloaded in mebibytes with one decimal, ties to even.
std::string downloaded_note(std::uint64_t downloaded);

// Fetches the "windows_x64" package that the update server's manifest names into `target`,
// reporting every step. False when it failed; its "error" report has then been posted.
[[nodiscard]] bool download_client(const Proxy& proxy, std::string_view base_url, const std::filesystem::path& target,
                                   const platform::HttpAgentSettings& agent = {});

}  // namespace zarn
