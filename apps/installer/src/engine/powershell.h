#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace zarn {

// The path as UTF-8 for a single-quoted PowerShell string. PowerShell also ends such a string
// at the typographic apostrophes U+2018..U+201B, so each of those is doubled like "'".
std::string quote_for_powershell(const std::filesystem::path& path);

// Runs "powershell -NoProfile -WindowStyle Hidden -Command {command}" and waits for it.
Result<std::uint32_t> run_hidden_powershell(std::string_view command);

}  // namespace zarn
