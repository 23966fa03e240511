#pragma once

#include <algorithm>
#include <string_view>

namespace zarn::platform {

// Case folding of the ASCII letters only, whatever the locale: commands, header names,
// encodings, hexadecimal digits and folder names are compared this way, never by Unicode rules.
constexpr char fold_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return fold_ascii(x) == fold_ascii(y); });
}

constexpr bool starts_with_ignoring_ascii_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equal_ignoring_ascii_case(text.substr(0, prefix.size()), prefix);
}

}  // namespace zarn::platform
