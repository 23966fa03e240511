#include "window/startup_script.h"

#include <nlohmann/json.hpp>

#include "engine/client_files.h"

namespace zarn {
namespace {

constexpr std::string_view kBeforeObject =
    "window.addEventListener('DOMContentLoaded', function() { "
    "window.__zarnInstallerInit && window.__zarnInstallerInit(";
constexpr std::string_view kAfterObject = "); });";

}  // namespace

std::string page_init_json(std::string_view default_dir, bool uninstall) {
    // nlohmann's object keeps its keys sorted, whatever order they are set in.
    nlohmann::json init = nlohmann::json::object();
    init["uninstall"] = uninstall;
    init["defaultDir"] = std::string(default_dir);
    init["version"] = std::string(client::kSetupVersion);
    // Non-ASCII stays as UTF-8; a broken sequence (none is expected) must not abort start-up.
    return init.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string startup_script(std::string_view page_init) {
    std::string script;
    script.reserve(kBeforeObject.size() + page_init.size() + kAfterObject.size());
    script.append(kBeforeObject).append(page_init).append(kAfterObject);
    return script;
}

}  // namespace zarn
