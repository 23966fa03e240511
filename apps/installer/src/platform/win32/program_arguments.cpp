#include "platform/program_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "platform/win32/wide.h"

namespace zarn::platform {
namespace {

struct LocalFreeDeleter {
    void operator()(LPWSTR* block) const { ::LocalFree(block); }
};

}  // namespace

std::vector<std::string> program_arguments(int, const char* const*) {
    int count = 0;
    const std::unique_ptr<LPWSTR, LocalFreeDeleter> split(::CommandLineToArgvW(::GetCommandLineW(), &count));
    std::vector<std::string> arguments;
    if (!split) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(narrow(split.get()[i]));
    return arguments;
}

}  // namespace zarn::platform
