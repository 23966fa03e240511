#pragma once

#include <string>
#include <string_view>

#include "platform/unicode.h"

// UTF-16 as Windows spells it: wchar_t.
namespace zarn::platform {

inline std::wstring widen(std::string_view utf8) {
    const auto utf16 = utf16_from_utf8_lossy(utf8);
    return std::wstring(utf16.begin(), utf16.end());
}

inline std::string narrow(std::wstring_view wide) {
    return utf8_from_utf16_lossy(std::u16string(wide.begin(), wide.end()));
}

inline bool is_valid_wide(std::wstring_view wide) {
    return is_valid_utf16(std::u16string(wide.begin(), wide.end()));
}

}  // namespace zarn::platform
