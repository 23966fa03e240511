#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zarn {

// Appends a name after one separator, with none when the path is empty, already ends in
// "\" or "/", or is a drive alone ("D:"), where the name follows the colon directly.
template <class Char>
std::basic_string<Char> join_path_text(std::basic_string_view<Char> base, std::basic_string_view<Char> name,
                                       Char separator) {
    std::basic_string<Char> joined(base);
    const bool drive_alone = base.size() == 2 && base[1] == Char(':') &&
                             ((base[0] >= Char('a') && base[0] <= Char('z')) ||
                              (base[0] >= Char('A') && base[0] <= Char('Z')));
    const bool ends_in_separator = !base.empty() && (base.back() == Char('\\') || base.back() == Char('/'));
    if (!base.empty() && !ends_in_separator && !drive_alone) joined += separator;
    joined += name;
    return joined;
}

// The same rule on a platform path, with the platform's own separator.
std::filesystem::path join_path(const std::filesystem::path& base, std::string_view name);

}  // namespace zarn
