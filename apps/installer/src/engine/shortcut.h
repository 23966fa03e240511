#pragma once

#include <filesystem>
#include <string>

#include "platform/result.h"

namespace zarn {

std::string shortcut_script(const std::filesystem::path& link, const std::filesystem::path& target,
                            const std::filesystem::path& working_folder);

// Writes a ".lnk" that starts the client; a failure comes back as the text to show.
Result<void, std::string> create_shortcut(const std::filesystem::path& link, const std::filesystem::path& target,
                                          const std::filesystem::path& working_folder);

}  // namespace zarn
