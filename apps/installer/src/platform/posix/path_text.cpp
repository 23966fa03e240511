#include "platform/path_text.h"

#include "platform/unicode.h"

namespace zarn::platform {

std::string path_to_utf8(const std::filesystem::path& path) { return utf8_lossy(path.native()); }

std::filesystem::path path_from_utf8(std::string_view text) { return std::filesystem::path(std::string(text)); }

}  // namespace zarn::platform
