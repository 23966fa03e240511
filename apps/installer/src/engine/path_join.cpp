#include "engine/path_join.h"

#include "platform/path_text.h"

namespace zarn {

std::filesystem::path join_path(const std::filesystem::path& base, std::string_view name) {
    using Native = std::filesystem::path::string_type;
    using Char = Native::value_type;
    const Native native_name = platform::path_from_utf8(name).native();
    return std::filesystem::path(join_path_text<Char>(base.native(), native_name,
                                                      std::filesystem::path::preferred_separator));
}

std::filesystem::path joined_base(const std::filesystem::path& joined) {
    using Char = std::filesystem::path::value_type;
    return std::filesystem::path(joined_base_text<Char>(joined.native()));
}

}  // namespace zarn
