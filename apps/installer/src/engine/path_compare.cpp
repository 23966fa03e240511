#include "engine/path_compare.h"

namespace zarn {

bool same_path(const std::filesystem::path& a, const std::filesystem::path& b) {
    using Char = std::filesystem::path::value_type;
    return same_path_text<Char>(a.native(), b.native());
}

}  // namespace zarn
