#include "platform/program_arguments.h"

#include "platform/unicode.h"

namespace zarn::platform {

std::vector<std::string> program_arguments(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc && argv[i] != nullptr; ++i) arguments.push_back(utf8_lossy(argv[i]));
    return arguments;
}

}  // namespace zarn::platform
