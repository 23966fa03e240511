#include "platform/process.h"

#include <gtest/gtest.h>

#include <optional>

#include "platform/command_line.h"
#include "platform/path_text.h"
#include "support/stand_in_log.h"
#include "support/temp_dir.h"

namespace zarn::platform {
namespace {

using test::StandIns;
using test::TempDir;

std::string in_quotes(const std::string& text) {
    std::string quoted(1, '"');
    quoted += text;
    quoted += '"';
    return quoted;
}

TEST(RunProgram, ChildSeesExactlyTheArgumentsGiven) {
    TempDir temp;
    StandIns stand_ins(temp.path());
    const std::vector<std::string> arguments{
        "-NoProfile", "", "two words", "tab\there", R"(quote " inside)", R"(trailing\)", R"(C:\my dir\)",
        R"(\\server\"share")", "\"", "Привет, «мир»", "$x = 'a''b'; \"$p\\shell\" -Value '\"%1\"'"};

    const auto code = run_program("powershell", arguments);

    ASSERT_TRUE(code) << code.error().text;
    EXPECT_EQ(*code, 0u);
    const auto runs = stand_ins.runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].program, "powershell");
    EXPECT_EQ(runs[0].args, arguments);
#ifdef _WIN32
    // What CreateProcessW was given, read back by the child's own runtime above.
    EXPECT_EQ(runs[0].command_line, windows_command_line(path_to_utf8(*find_program("powershell")), arguments));
#endif
}

TEST(RunProgram, GivesBackTheExitCode) {
    TempDir temp;
    StandIns stand_ins(temp.path());
    stand_ins.exit_with("powershell", 1);
    EXPECT_EQ(*run_program("powershell", {}), 1u);
    stand_ins.exit_with("powershell", 42);
    EXPECT_EQ(*run_program("powershell", {"x"}), 42u);
}

TEST(RunProgram, ReportsAProgramThatIsNowhere) {
    TempDir temp;
    StandIns stand_ins(temp.path());
    stand_ins.environment().set("PATH", path_to_utf8(temp.path()));

    const auto missing = run_program("powershell", {"-Command", "exit"});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().text, "program not found");
    EXPECT_FALSE(run_program("zarn-no-such-program", {}));
    EXPECT_TRUE(stand_ins.runs().empty());
}

TEST(RunProgram, SearchesTheAbsoluteFoldersOfPathButNeverTheCurrentOne) {
    TempDir temp;
    StandIns stand_ins(temp.path());
    const auto real = find_program("powershell");
    ASSERT_TRUE(real);
    const auto planted_name = real->filename();
    // Copies in the current folder and below it, where relative entries of PATH point.
    std::filesystem::copy_file(*real, temp / planted_name);
    std::filesystem::create_directories(temp / "bin");
    std::filesystem::copy_file(*real, temp / "bin" / planted_name);
    const std::string base = path_to_utf8(temp.path());
#ifdef _WIN32
    const std::filesystem::path tools = temp / "Program Files" / "Tools";
    const std::filesystem::path semicolon = temp / "semi;colon";
    for (const auto& folder : {tools, semicolon}) {
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(*real, folder / planted_name);
    }
    const std::string separator = ";";
#else
    const std::string separator = ":";
#endif

    struct Case {
        std::string search_path;
        std::optional<std::filesystem::path> found_in;
    };
    const std::vector<Case> cases{
        {path_to_utf8(temp / "empty"), std::nullopt},
        {".", std::nullopt},
        {"bin", std::nullopt},
        {separator + "." + separator, std::nullopt},
#ifdef _WIN32
        // Windows allows quotes in PATH: around a whole entry, around part of one, and to keep a
        // ";" inside a folder's name.
        {in_quotes(path_to_utf8(tools)), tools},
        {base + "\\\"Program Files\"\\Tools", tools},
        {"\"bin\";\".\"", std::nullopt},
        {in_quotes(path_to_utf8(semicolon)), semicolon},
#else
        // Quotes are plain characters of a name here: this entry is relative.
        {in_quotes(path_to_utf8(temp / "bin")), std::nullopt},
#endif
    };
    test::ScopedCurrentFolder current(temp.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.search_path);
        stand_ins.environment().set("PATH", c.search_path);
        const auto found = find_program("powershell");
        if (!c.found_in) {
            EXPECT_FALSE(found) << path_to_utf8(*found);
            continue;
        }
        ASSERT_TRUE(found) << found.error().text;
        EXPECT_EQ(*found, *c.found_in / planted_name);
        EXPECT_EQ(*run_program("powershell", {"found"}), 0u);
    }
#ifdef _WIN32
    EXPECT_EQ(stand_ins.runs().size(), 3u);
#endif
}

TEST(RunProgramCapturingOutput, CollectsStandardOutputBytes) {
    TempDir temp;
    StandIns stand_ins(temp.path());
    stand_ins.print("powershell", std::string("D:\\Apps\r\n\xff", 10));
    stand_ins.exit_with("powershell", 3);

    const auto run = run_program_capturing_output("powershell", {"-STA"});

    ASSERT_TRUE(run) << run.error().text;
    EXPECT_EQ(run->standard_output, std::string("D:\\Apps\r\n\xff", 10));
    EXPECT_EQ(run->exit_code, 3u);
    EXPECT_EQ(stand_ins.runs().at(0).args, std::vector<std::string>{"-STA"});
}

TEST(CurrentProgramPath, NamesThisTestProgram) {
    const auto path = current_program_path();
    ASSERT_TRUE(path);
    EXPECT_TRUE(path->is_absolute());
    EXPECT_EQ(path->stem(), "platform_tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(*path));
}

}  // namespace
}  // namespace zarn::platform
