#pragma once

#include <string>
#include <string_view>

// Conversions between UTF-8 and UTF-16 that never fail: whatever does not convert
// becomes U+FFFD, as a user-facing text must always be shown.
namespace zarn::platform {

std::string utf8_from_utf16_lossy(std::u16string_view text);
std::u16string utf16_from_utf8_lossy(std::string_view text);

// Replaces every ill-formed UTF-8 sequence by U+FFFD.
std::string utf8_lossy(std::string_view bytes);

bool is_valid_utf8(std::string_view bytes);
bool is_valid_utf16(std::u16string_view text);

}  // namespace zarn::platform
