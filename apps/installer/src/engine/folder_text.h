#pragma once

#include <string_view>

namespace zarn {

// The text without the Unicode White_Space characters at either end. Bytes that are not
// valid UTF-8 are never taken for white space.
std::string_view trim_white_space(std::string_view text);

// A folder text that holds nothing but white space stands for "no folder given".
bool is_blank(std::string_view text);

}  // namespace zarn
