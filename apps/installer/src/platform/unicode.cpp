#include "platform/unicode.h"

#include <cstdint>

namespace zarn::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void append_utf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

bool is_high_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Decodes one code point at `pos` and advances it. An ill-formed sequence yields U+FFFD
// and consumes its maximal valid prefix (at least one byte), as Unicode recommends.
char32_t decode_utf8(std::string_view s, std::size_t& pos, bool& valid) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const std::uint8_t lead = byte(pos);
    valid = true;
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    char32_t c = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        ++pos;
        valid = false;
        return kReplacement;
    }
    ++pos;
    for (std::size_t i = 1; i < length; ++i) {
        if (pos >= s.size() || byte(pos) < low || byte(pos) > high) {
            valid = false;
            return kReplacement;
        }
        c = (c << 6) | (byte(pos) & 0x3F);
        ++pos;
        low = 0x80;
        high = 0xBF;
    }
    return c;
}

}  // namespace

std::string utf8_from_utf16_lossy(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
            c = kReplacement;
        }
        append_utf8(out, c);
    }
    return out;
}

std::u16string utf16_from_utf8_lossy(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    bool valid = true;
    for (std::size_t pos = 0; pos < text.size();) append_utf16(out, decode_utf8(text, pos, valid));
    return out;
}

std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    bool valid = true;
    for (std::size_t pos = 0; pos < bytes.size();) append_utf8(out, decode_utf8(bytes, pos, valid));
    return out;
}

bool is_valid_utf8(std::string_view bytes) {
    bool valid = true;
    for (std::size_t pos = 0; pos < bytes.size() && valid;) decode_utf8(bytes, pos, valid);
    return valid;
}

bool is_valid_utf16(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            ++i;
        } else if (is_high_surrogate(text[i]) || is_low_surrogate(text[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace zarn::platform
