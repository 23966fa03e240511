#include "engine/folder_text.h"

#include <cstddef>

namespace zarn {
namespace {

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the white-space character that starts at `pos`, or 0. White space lies below
// U+3001, so sequences of up to three bytes are all that need decoding.
std::size_t white_space_length_at(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) return is_white_space(lead) ? 1 : 0;
    std::size_t length = 0;
    char32_t c = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c = lead & 0x0F;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!is_continuation(byte)) return 0;
        c = (c << 6) | (byte & 0x3F);
    }
    // An overlong form ("\xC0\xA0" for a space) is no character at all.
    const char32_t least = length == 2 ? 0x80 : 0x800;
    return c >= least && is_white_space(c) ? length : 0;
}

// The start of the last character of text[0, end): step back over continuation bytes.
std::size_t last_character_start(std::string_view text, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && end - start < 3 && is_continuation(static_cast<unsigned char>(text[start]))) --start;
    return start;
}

}  // namespace

std::string_view trim_white_space(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const auto length = white_space_length_at(text, begin);
        if (length == 0) break;
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        const auto start = last_character_start(text, end);
        if (start < begin || white_space_length_at(text, start) != end - start) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

bool is_blank(std::string_view text) { return trim_white_space(text).empty(); }

}  // namespace zarn
