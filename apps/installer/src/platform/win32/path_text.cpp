#include "platform/path_text.h"

#include "platform/win32/wide.h"

namespace zarn::platform {

std::string path_to_utf8(const std::filesystem::path& path) { return narrow(path.native()); }

std::filesystem::path path_from_utf8(std::string_view text) { return std::filesystem::path(widen(text)); }

}  // namespace zarn::platform
