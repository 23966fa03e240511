#pragma once

#include <string>
#include <string_view>

namespace zarn {

// The page's start-up object as compact JSON with its keys in ascending order:
// {"defaultDir":…,"uninstall":…,"version":"0.3.4"}.
std::string page_init_json(std::string_view default_dir, bool uninstall);

// The script that hands that object to window.__zarnInstallerInit once the page's own
// scripts have run, and does nothing on a page without that function.
std::string startup_script(std::string_view page_init);

}  // namespace zarn
