#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/ui_event.h"

// The script calls through which the main thread tells the page what happened. Each template
// calls the page's function only when the page has defined it, so a call that arrives before
// the page's own script has run does nothing.
namespace zarn {

// The text as a JSON string literal: quotes, backslashes and control characters escaped,
// everything else (also "/", U+007F, U+2028, U+2029) kept as UTF-8.
std::string json_string_literal(std::string_view text);

// window.__zarnInstallerProgress(step, pct, note, state)
std::string progress_script(const Progress& progress);

// window.__zarnInstallerSetDir(dir), with null for no folder.
std::string folder_script(const std::optional<std::string>& dir);

}  // namespace zarn
