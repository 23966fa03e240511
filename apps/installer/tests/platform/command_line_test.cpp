#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace zarn::platform {
namespace {

struct Case {
    std::vector<std::string> arguments;
    std::string expected;
};

TEST(WindowsCommandLine, QuotesAndEscapesByTheStandardConvention) {
    const std::vector<Case> cases{
        {{}, R"("C:\ps.exe")"},
        {{"-NoProfile"}, R"("C:\ps.exe" -NoProfile)"},
        {{""}, R"("C:\ps.exe" "")"},
        {{"a b"}, R"("C:\ps.exe" "a b")"},
        {{"a\tb"}, "\"C:\\ps.exe\" \"a\tb\""},
        {{R"(say "hi")"}, R"("C:\ps.exe" "say \"hi\"")"},
        {{R"(a"b)"}, R"("C:\ps.exe" a\"b)"},
        {{R"(a\"b)"}, R"("C:\ps.exe" a\\\"b)"},
        {{R"(C:\dir\)"}, R"("C:\ps.exe" C:\dir\)"},
        {{R"(C:\my dir\)"}, R"("C:\ps.exe" "C:\my dir\\")"},
        {{R"(a\\b c)"}, R"("C:\ps.exe" "a\\b c")"},
        {{R"(x \\"y)"}, R"("C:\ps.exe" "x \\\\\"y")"},
        {{"-Command", "Set-Item -Value '\"C:\\x\" \"%1\"'"},
         R"("C:\ps.exe" -Command "Set-Item -Value '\"C:\x\" \"%1\"'")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(windows_command_line("C:\\ps.exe", c.arguments), c.expected);
    }
}

}  // namespace
}  // namespace zarn::platform
