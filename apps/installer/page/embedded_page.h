#pragma once

#include <string_view>

namespace zarn {

// The setup window's page: index.html, compiled in byte for byte, so that the program reads
// no file when it builds its web view. UTF-8; not null-terminated as far as the view goes.
std::string_view embedded_page();

}  // namespace zarn
