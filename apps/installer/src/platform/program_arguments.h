#pragma once

#include <string>
#include <vector>

namespace zarn::platform {

// The program's command-line arguments as UTF-8 texts, its own name first; what does not
// convert becomes U+FFFD. On Windows they are read from the UTF-16 command line, as the
// narrow argv of a GUI program is in the ANSI code page; argc and argv serve the other
// platforms.
std::vector<std::string> program_arguments(int argc, const char* const* argv);

}  // namespace zarn::platform
