#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zarn {

// A letter and a colon, such as "D:".
template <class Char>
bool starts_with_drive(std::basic_string_view<Char> text) {
    return text.size() >= 2 && text[1] == Char(':') &&
           ((text[0] >= Char('a') && text[0] <= Char('z')) || (text[0] >= Char('A') && text[0] <= Char('Z')));
}

// Appends a name after one separator, with none when the path is empty, already ends in
// "\" or "/", or is a drive alone ("D:"), where the name follows the colon directly.
template <class Char>
std::basic_string<Char> join_path_text(std::basic_string_view<Char> base, std::basic_string_view<Char> name,
                                       Char separator) {
    std::basic_string<Char> joined(base);
    const bool drive_alone = base.size() == 2 && starts_with_drive(base);
    const bool ends_in_separator = !base.empty() && (base.back() == Char('\\') || base.back() == Char('/'));
    if (!base.empty() && !ends_in_separator && !drive_alone) joined += separator;
    joined += name;
    return joined;
}

// What a name was joined onto: the text up to its last "\" or "/", or the drive of "D:name",
// or nothing. Another name joined onto it lands where join_path_text puts it beside the first.
template <class Char>
std::basic_string_view<Char> joined_base_text(std::basic_string_view<Char> joined) {
    const Char separators[] = {Char('\\'), Char('/')};
    const auto last = joined.find_last_of(std::basic_string_view<Char>(separators, 2));
    if (last != std::basic_string_view<Char>::npos) return joined.substr(0, last + 1);
    return starts_with_drive(joined) ? joined.substr(0, 2) : std::basic_string_view<Char>{};
}

// The same rules on a platform path, with the platform's own separator.
std::filesystem::path join_path(const std::filesystem::path& base, std::string_view name);
std::filesystem::path joined_base(const std::filesystem::path& joined);

}  // namespace zarn
