#include "window/page_scripts.h"

#include <nlohmann/json.hpp>

namespace zarn {

std::string json_string_literal(std::string_view text) {
    // Texts are built lossy and so are valid UTF-8; should one not be, it must still never
    // throw on the main thread, so what does not decode becomes U+FFFD.
    return nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string progress_script(const Progress& progress) {
    const std::string step = json_string_literal(progress.step);
    const std::string note = json_string_literal(progress.note);
    const std::string state = json_string_literal(progress.state);
    return "window.__zarnInstallerProgress && window.__zarnInstallerProgress(" + step + ", " +
           std::to_string(static_cast<unsigned>(progress.pct)) + ", " + note + ", " + state + ");";
}

std::string folder_script(const std::optional<std::string>& dir) {
    const std::string argument = dir ? json_string_literal(*dir) : std::string("null");
    return "window.__zarnInstallerSetDir && window.__zarnInstallerSetDir(" + argument + ");";
}

}  // namespace zarn
