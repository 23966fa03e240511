#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace zarn {

// Whether two path texts name the same entry by their components alone: "\" and "/" count
// alike, repeated and trailing separators and "." components are ignored, a drive letter
// matches in either case, and everything else must match character for character. Nothing
// is looked up on disk, so links, short names and ".." are taken as written. A path that
// starts with two separators (a network share) differs from one that starts with one.
template <class Char>
bool same_path_text(std::basic_string_view<Char> a, std::basic_string_view<Char> b);

// The same comparison on platform paths.
bool same_path(const std::filesystem::path& a, const std::filesystem::path& b);

namespace path_compare_detail {

template <class Char>
bool is_separator(Char c) {
    return c == Char('\\') || c == Char('/');
}

template <class Char>
struct Components {
    Char drive = 0;  // upper-case letter, or 0
    int root = 0;    // 0: relative, 1: from a root, 2: from a network share ("\\server")
    std::vector<std::basic_string_view<Char>> names;
    bool operator==(const Components&) const = default;
};

template <class Char>
Components<Char> components_of(std::basic_string_view<Char> text) {
    Components<Char> parsed;
    std::size_t pos = 0;
    if (text.size() >= 2 && text[1] == Char(':')) {
        const Char letter = text[0];
        if (letter >= Char('a') && letter <= Char('z')) parsed.drive = Char(letter - Char('a') + Char('A'));
        if (letter >= Char('A') && letter <= Char('Z')) parsed.drive = letter;
        if (parsed.drive != 0) pos = 2;
    }
    std::size_t leading = 0;
    while (pos + leading < text.size() && is_separator(text[pos + leading])) ++leading;
    if (leading > 0) parsed.root = (leading == 1 || parsed.drive != 0) ? 1 : 2;
    pos += leading;
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && !is_separator(text[end])) ++end;
        const auto name = text.substr(pos, end - pos);
        if (!name.empty() && !(name.size() == 1 && name[0] == Char('.'))) parsed.names.push_back(name);
        pos = end + 1;
    }
    return parsed;
}

}  // namespace path_compare_detail

template <class Char>
bool same_path_text(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    return path_compare_detail::components_of(a) == path_compare_detail::components_of(b);
}

}  // namespace zarn
