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

TEST(WindowsPathListFolders, SplitsOutsideQuotesAndDropsTheQuotes) {
    struct PathList {
        std::string value;
        std::vector<std::string> folders;
    };
    const std::vector<PathList> cases{
        {R"(C:\Windows\system32;C:\Windows)", {R"(C:\Windows\system32)", R"(C:\Windows)"}},
        {R"("C:\Program Files\Tools";D:\bin)", {R"(C:\Program Files\Tools)", R"(D:\bin)"}},
        {R"(C:\"Program Files"\Tools)", {R"(C:\Program Files\Tools)"}},
        {R"(C:\x;"D:\semi;colon";E:\y)", {R"(C:\x)", R"(D:\semi;colon)", R"(E:\y)"}},
        {R"(D:\som"e;di"r)", {R"(D:\some;dir)"}},
        {R"("C:\Program Files\Tools\")", {R"(C:\Program Files\Tools\)"}},
        {R"(;;C:\a;"";;C:\b;)", {R"(C:\a)", R"(C:\b)"}},
        {R"("C:\unclosed;D:\rest)", {R"(C:\unclosed;D:\rest)"}},
        {R"(" C:\lead")", {R"( C:\lead)"}},
        {"\"D:\\Программы\"", {"D:\\Программы"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(windows_path_list_folders(c.value), c.folders) << c.value;
    }
}

}  // namespace
}  // namespace zarn::platform
