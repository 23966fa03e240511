#include "support/stand_in_log.h"

#include <fstream>

#include <nlohmann/json.hpp>

namespace zarn::test {

std::vector<StandInRun> read_stand_in_log(const std::filesystem::path& log) {
    std::vector<StandInRun> runs;
    std::ifstream in(log, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        const auto record = nlohmann::json::parse(line);
        runs.push_back({record.at("program").get<std::string>(), record.at("args").get<std::vector<std::string>>(),
                        record.at("cwd").get<std::string>(), record.value("command_line", std::string())});
    }
    return runs;
}

std::vector<ProgramStart> program_starts(const std::vector<StandInRun>& runs) {
    std::vector<ProgramStart> starts;
    for (const auto& run : runs) starts.push_back({run.program, run.args});
    return starts;
}

void PrintTo(const ProgramStart& start, std::ostream* out) {
    *out << start.program;
    for (const auto& arg : start.args) *out << " [" << arg << "]";
}

}  // namespace zarn::test

#include <cctype>

#include "platform/path_text.h"
#include "support/temp_dir.h"

namespace zarn::test {

StandIns::StandIns(const std::filesystem::path& folder) : folder_(folder), log_(folder / "stand-ins.log") {
    environment_.set("ZARN_STANDIN_LOG", platform::path_to_utf8(log_));
}

std::string StandIns::upper(const std::string& program) {
    std::string name = program;
    for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

void StandIns::exit_with(const std::string& program, int code) {
    environment_.set("ZARN_STANDIN_" + upper(program) + "_EXIT", std::to_string(code));
}

void StandIns::print(const std::string& program, std::string_view bytes) {
    const auto file = folder_ / (program + "-output.bin");
    write_file(file, bytes);
    environment_.set("ZARN_STANDIN_" + upper(program) + "_OUTPUT", platform::path_to_utf8(file));
}

void StandIns::complain(const std::string& program, const std::string& text) {
    environment_.set("ZARN_STANDIN_" + upper(program) + "_ERROR", text);
}

}  // namespace zarn::test
