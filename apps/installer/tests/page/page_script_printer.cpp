// Prints one of the scripts that the program hands its page, built by the program's own
// functions, so that the page tests in Chromium run exactly what the web view would run:
//
//   page-script-printer startup DEFAULT_DIR true|false
//   page-script-printer progress STEP PCT NOTE STATE      (PCT from 0 to 255)
//   page-script-printer folder [DIR]                      (no DIR: no folder)
//
// The script goes to standard output without a line end; wrong use ends with status 2.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ui_event.h"
#include "window/page_scripts.h"
#include "window/startup_script.h"

namespace zarn {
namespace {

std::optional<bool> parse_flag(std::string_view text) {
    if (text == "true") return true;
    if (text == "false") return false;
    return std::nullopt;
}

std::optional<std::uint8_t> parse_pct(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

std::optional<std::string> script_for(const std::vector<std::string_view>& args) {
    if (args.empty()) return std::nullopt;
    const std::string_view kind = args[0];
    if (kind == "startup" && args.size() == 3) {
        const std::optional<bool> uninstall = parse_flag(args[2]);
        if (!uninstall) return std::nullopt;
        return startup_script(page_init_json(args[1], *uninstall));
    }
    if (kind == "progress" && args.size() == 5) {
        const std::optional<std::uint8_t> pct = parse_pct(args[2]);
        if (!pct) return std::nullopt;
        return progress_script(Progress{std::string(args[1]), *pct, std::string(args[3]), std::string(args[4])});
    }
    if (kind == "folder" && args.size() <= 2) {
        return folder_script(args.size() == 2 ? std::optional<std::string>(args[1]) : std::nullopt);
    }
    return std::nullopt;
}

}  // namespace
}  // namespace zarn

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const std::optional<std::string> script = zarn::script_for(args);
    if (!script) {
        std::fputs("usage: page-script-printer startup DIR true|false | progress STEP PCT NOTE STATE | folder [DIR]\n",
                   stderr);
        return 2;
    }
    std::fwrite(script->data(), 1, script->size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
