#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace zarn::platform {

// Finds a child program by its bare name ("powershell"): on Windows "{name}.exe" in the
// system folder, the Windows folder, then each folder of PATH (read with its quotes, as
// windows_path_list_folders does); elsewhere each folder of PATH.
// Never the program's own folder nor the current folder, where a planted copy could wait;
// so relative entries of PATH are passed over.
// Fails with "program not found".
Result<std::filesystem::path> find_program(std::string_view bare_name);

// Starts the program with the arguments (UTF-8) and waits for it without a time limit.
// The child inherits the standard streams, the environment and the current folder.
Result<std::uint32_t> run_program(std::string_view bare_name, const std::vector<std::string>& arguments);

struct CapturedRun {
    std::uint32_t exit_code = 0;
    std::string standard_output;  // the raw bytes the child wrote
};

// As run_program, but the child's standard output is collected instead of inherited, and what
// it writes to its standard error is discarded.
Result<CapturedRun> run_program_capturing_output(std::string_view bare_name,
                                                 const std::vector<std::string>& arguments);

// Starts a program without arguments and does not wait for it.
Result<void> start_detached(const std::filesystem::path& program);

// The full path of the running program.
Result<std::filesystem::path> current_program_path();

}  // namespace zarn::platform
