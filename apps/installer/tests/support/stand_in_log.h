#pragma once

#include <filesystem>
#include <ostream>
#include <string_view>
#include <string>
#include <vector>

namespace zarn::test {

// One start of a stand-in program, as it recorded itself.
struct StandInRun {
    std::string program;
    std::vector<std::string> args;
    std::string cwd;
    std::string command_line;  // the raw command line, recorded on Windows only
};

std::vector<StandInRun> read_stand_in_log(const std::filesystem::path& log);

// A start reduced to program and arguments, for expectations on a whole list of starts.
struct ProgramStart {
    std::string program;
    std::vector<std::string> args;
    friend bool operator==(const ProgramStart&, const ProgramStart&) = default;
};
std::vector<ProgramStart> program_starts(const std::vector<StandInRun>& runs);
void PrintTo(const ProgramStart& start, std::ostream* out);

}  // namespace zarn::test

#include "support/scoped_environment.h"

namespace zarn::test {

// Points the stand-ins at a log in `folder` for the life of the object.
class StandIns {
public:
    explicit StandIns(const std::filesystem::path& folder);

    void exit_with(const std::string& program, int code);
    // The bytes the program writes to its standard output.
    void print(const std::string& program, std::string_view bytes);
    // A text the program writes to its standard error.
    void complain(const std::string& program, const std::string& text);
    std::vector<StandInRun> runs() const { return read_stand_in_log(log_); }
    ScopedEnvironment& environment() { return environment_; }

private:
    static std::string upper(const std::string& program);
    std::filesystem::path folder_;
    std::filesystem::path log_;
    ScopedEnvironment environment_;
};

}  // namespace zarn::test
