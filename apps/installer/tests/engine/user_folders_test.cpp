#include "engine/user_folders.h"

#include <gtest/gtest.h>

#include "engine/path_join.h"
#include "platform/path_text.h"
#include "support/scoped_environment.h"

namespace zarn {
namespace {

TEST(JoinPathText, AddsOneBackslashOnlyWhereNeeded) {
    struct Case {
        std::wstring base;
        std::wstring expected;
    };
    const std::vector<Case> cases{
        {L"C:\\Users\\me\\AppData\\Local", L"C:\\Users\\me\\AppData\\Local\\ZARN"},
        {L"", L"ZARN"},
        {L"C:\\Local\\", L"C:\\Local\\ZARN"},
        {L"C:/Local/", L"C:/Local/ZARN"},
        {L"D:", L"D:ZARN"},
        {L"z:", L"z:ZARN"},
        {L"1:", L"1:\\ZARN"},
        {L"D:\\", L"D:\\ZARN"},
        {L"\\\\server\\share", L"\\\\server\\share\\ZARN"},
        {L" C:\\x ", L" C:\\x \\ZARN"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(join_path_text<wchar_t>(c.base, L"ZARN", L'\\'), c.expected);
        // A name put beside the joined one lands where joining it onto the base puts it.
        EXPECT_EQ(join_path_text<wchar_t>(joined_base_text<wchar_t>(c.expected), L"zarn.exe.download", L'\\'),
                  join_path_text<wchar_t>(c.base, L"zarn.exe.download", L'\\'))
            << c.expected;
    }
}

std::string shown(const std::optional<std::filesystem::path>& path) {
    return path ? platform::path_to_utf8(*path) : "<none>";
}

// Joined names as the platform writes them: "\\" in `names` stands for its separator.
std::string native(std::string names) {
    for (auto& c : names) {
        if (c == '\\') c = static_cast<char>(std::filesystem::path::preferred_separator);
    }
    return names;
}

TEST(UserFolders, FollowTheirVariables) {
    struct Case {
        std::string value;
        std::string install_dir;  // each after the value
        std::string desktop;
        std::string start_menu;
    };
    const std::string programs = "Microsoft\\Windows\\Start Menu\\Programs\\ZARN.lnk";
    const std::vector<Case> cases{
        {"", "ZARN", "Desktop\\ZARN.lnk", programs},
        {"E:\\Users\\Анна", "\\ZARN", "\\Desktop\\ZARN.lnk", "\\" + programs},
        {"E:\\Home\\", "ZARN", "Desktop\\ZARN.lnk", programs},
        {"E:/Home/", "ZARN", "Desktop\\ZARN.lnk", programs},
        {"D:", "ZARN", "Desktop\\ZARN.lnk", programs},
    };
    for (const auto& c : cases) {
        test::ScopedEnvironment environment;
        for (const auto* name : {"LOCALAPPDATA", "USERPROFILE", "APPDATA"}) environment.set(name, c.value);
        SCOPED_TRACE(c.value);
        EXPECT_EQ(shown(default_install_dir()), c.value + native(c.install_dir));
        EXPECT_EQ(shown(desktop_shortcut_path()), c.value + native(c.desktop));
        EXPECT_EQ(shown(start_menu_shortcut_path()), c.value + native(c.start_menu));
    }
}

TEST(UserFolders, UnsetVariablesGiveTheFixedFolderAndNoShortcuts) {
    test::ScopedEnvironment environment;
    for (const auto* name : {"LOCALAPPDATA", "USERPROFILE", "APPDATA"}) environment.unset(name);
    EXPECT_EQ(shown(default_install_dir()), "C:\\ZARN");
    EXPECT_FALSE(desktop_shortcut_path());
    EXPECT_FALSE(start_menu_shortcut_path());
}

TEST(UserFolders, EachVariableOnlyAffectsItsOwnPath) {
    test::ScopedEnvironment environment;
    environment.unset("USERPROFILE");
    environment.set("APPDATA", "R");
    EXPECT_FALSE(desktop_shortcut_path());
    EXPECT_TRUE(start_menu_shortcut_path());
    environment.set("USERPROFILE", "U");
    EXPECT_EQ(shown(desktop_shortcut_path()), "U" + native("\\Desktop\\ZARN.lnk"));
}

TEST(UserFolders, AValueThatIsNotUnicodeCountsAsNotSet) {
    test::ScopedEnvironment environment;
#ifdef _WIN32
    const std::wstring broken{L'C', L':', L'\\', wchar_t(0xD800)};
#else
    const std::string broken = "/home/\xff";
#endif
    environment.set_native("LOCALAPPDATA", broken);
    environment.set_native("USERPROFILE", broken);
    environment.set_native("APPDATA", broken);
    EXPECT_EQ(shown(default_install_dir()), "C:\\ZARN");
    EXPECT_FALSE(desktop_shortcut_path());
    EXPECT_FALSE(start_menu_shortcut_path());
}

}  // namespace
}  // namespace zarn
