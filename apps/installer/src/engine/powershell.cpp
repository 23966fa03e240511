#include "engine/powershell.h"

#include <array>

#include "platform/path_text.h"
#include "platform/process.h"

namespace zarn {
namespace {

// U+0027 and the four typographic apostrophes, as UTF-8.
constexpr std::array<std::string_view, 5> kApostrophes{"'", "\u2018", "\u2019", "\u201A", "\u201B"};

std::size_t apostrophe_length_at(std::string_view text, std::size_t pos) {
    for (const auto apostrophe : kApostrophes) {
        if (text.substr(pos, apostrophe.size()) == apostrophe) return apostrophe.size();
    }
    return 0;
}

}  // namespace

std::string quote_for_powershell(const std::filesystem::path& path) {
    const std::string text = platform::path_to_utf8(path);
    std::string quoted;
    quoted.reserve(text.size() + 8);
    for (std::size_t pos = 0; pos < text.size();) {
        if (const auto length = apostrophe_length_at(text, pos)) {
            quoted.append(text, pos, length).append(text, pos, length);
            pos += length;
        } else {
            quoted += text[pos++];
        }
    }
    return quoted;
}

Result<std::uint32_t> run_hidden_powershell(std::string_view command) {
    return platform::run_program("powershell",
                                 {"-NoProfile", "-WindowStyle", "Hidden", "-Command", std::string(command)});
}

}  // namespace zarn
