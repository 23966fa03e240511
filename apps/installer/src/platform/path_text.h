#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zarn::platform {

// A path as UTF-8 text; what is not valid Unicode becomes U+FFFD.
std::string path_to_utf8(const std::filesystem::path& path);

std::filesystem::path path_from_utf8(std::string_view text);

}  // namespace zarn::platform
