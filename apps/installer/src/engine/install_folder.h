#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zarn {

// The folder that an install or uninstall works on: the page's folder text exactly as
// received, or the default folder when the text is absent or holds only white space.
std::filesystem::path chosen_install_folder(const std::optional<std::string>& folder_text);

}  // namespace zarn
