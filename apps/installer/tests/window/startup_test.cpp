#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "engine/user_folders.h"
#include "platform/path_text.h"
#include "platform/program_arguments.h"
#include "support/scoped_environment.h"
#include "window/centring.h"
#include "window/setup_mode.h"
#include "window/setup_window.h"
#include "window/startup_script.h"

namespace zarn {
namespace {

TEST(SetupMode, OnlyTheWholeArgumentInAnyAsciiCaseAsksForUninstall) {
    struct Case {
        std::vector<std::string> arguments;
        bool uninstall;
    };
    const std::vector<Case> cases{
        {{"ZARN-Setup.exe"}, false},
        {{}, false},
        {{"ZARN-Setup.exe", "--uninstall"}, true},
        {{"ZARN-Setup.exe", "--UNINSTALL"}, true},
        {{"ZARN-Setup.exe", "--UnInstall", "other"}, true},
        {{"ZARN-Setup.exe", "first", "--uninstall", "--uninstall"}, true},
        // The program's own name is an argument like any other.
        {{"--uninstall"}, true},
        {{"ZARN-Setup.exe", "--uninstall=1", "-uninstall", "/uninstall", "uninstall"}, false},
        {{"ZARN-Setup.exe", " --uninstall", "--uninstall ", "--uninstal", "--uninstalll"}, false},
        // Only A to Z fold: a dotless capital I or a full-width letter is another text.
        {{"ZARN-Setup.exe", "--unİnstall", "--ｕninstall", "--un\xEF\xBF\xBDnstall"}, false},
        {{"ZARN-Setup.exe", std::string("--uninstall\0", 12)}, false},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& argument : c.arguments) shown += "[" + argument + "]";
        EXPECT_EQ(uninstall_requested(c.arguments), c.uninstall) << shown;
    }
}

TEST(Centring, CentresOnTheWholeMonitorWithTruncationAndNoNegativeEdge) {
    struct Case {
        toolkit::Rect monitor;
        toolkit::Size outer;
        toolkit::Position expected;
    };
    const std::vector<Case> cases{
        {{{0, 0}, {1920, 1080}}, {520, 390}, {700, 345}},
        // Scale factor 1.5: the half of 495 is truncated.
        {{{0, 0}, {1920, 1080}}, {780, 585}, {570, 247}},
        // A second monitor to the right and below.
        {{{1920, 200}, {1280, 1024}}, {520, 390}, {2300, 517}},
        // Left of and above the primary monitor: the negative edges are raised to 0.
        {{{-1920, -1080}, {1920, 1080}}, {520, 390}, {0, 0}},
        {{{-1280, 0}, {1280, 1024}}, {520, 390}, {0, 317}},
        // Larger than the monitor: (800 - 1041) / 2 truncates to -120, raised to 0.
        {{{0, 0}, {800, 600}}, {1041, 601}, {0, 0}},
        // Larger than a monitor that starts further right: the edge stays on that monitor's side.
        {{{1000, 0}, {800, 600}}, {1041, 600}, {880, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(centred_position(c.monitor, c.outer), c.expected)
            << c.monitor.position.x << "," << c.monitor.position.y << " " << c.monitor.size.width << "x"
            << c.monitor.size.height << " window " << c.outer.width << "x" << c.outer.height;
    }
}

TEST(StartupScript, HandsTheSortedCompactObjectToThePage) {
    struct Case {
        std::string default_dir;
        bool uninstall;
        std::string expected_object;
    };
    const std::vector<Case> cases{
        {"C:\\ZARN", false, R"({"defaultDir":"C:\\ZARN","uninstall":false,"version":"0.3.4"})"},
        {"C:\\Users\\Анна\\AppData\\Local\\ZARN", true,
         R"({"defaultDir":"C:\\Users\\Анна\\AppData\\Local\\ZARN","uninstall":true,"version":"0.3.4"})"},
        {"C:\\Users\\O'Brien’s\\ZARN", false,
         R"({"defaultDir":"C:\\Users\\O'Brien’s\\ZARN","uninstall":false,"version":"0.3.4"})"},
        {"ZARN", false, R"({"defaultDir":"ZARN","uninstall":false,"version":"0.3.4"})"},
        {"a\"b\n\x01/\x7F", false, R"({"defaultDir":"a\"b\n\u0001/)" "\x7F" R"(","uninstall":false,"version":"0.3.4"})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(page_init_json(c.default_dir, c.uninstall), c.expected_object) << c.default_dir;
    }

    EXPECT_EQ(startup_script(page_init_json("C:\\ZARN", false)),
              "window.addEventListener('DOMContentLoaded', function() { window.__zarnInstallerInit && "
              "window.__zarnInstallerInit({\"defaultDir\":\"C:\\\\ZARN\",\"uninstall\":false,\"version\":\"0.3.4\"}); });");
}

TEST(StartupScript, TellsTheDefaultFolderOfTheEnvironmentInEitherMode) {
    test::ScopedEnvironment environment;
    environment.unset("LOCALAPPDATA");
    const std::string fallback = platform::path_to_utf8(default_install_dir());
    EXPECT_EQ(fallback, "C:\\ZARN");
    EXPECT_EQ(startup_script(page_init_json(fallback, false)),
              "window.addEventListener('DOMContentLoaded', function() { window.__zarnInstallerInit && "
              "window.__zarnInstallerInit({\"defaultDir\":\"C:\\\\ZARN\",\"uninstall\":false,\"version\":\"0.3.4\"}); });");
}

TEST(SetupWindow, SettingsFollowTheMode) {
    const auto install = setup_window_settings(false, std::nullopt);
    EXPECT_EQ(install.title, "Установка ZARN");
    EXPECT_EQ(install.logical_width, 520);
    EXPECT_EQ(install.logical_height, 390);
    EXPECT_FALSE(install.resizable);
    EXPECT_FALSE(install.decorations);
    EXPECT_FALSE(install.icon.has_value());

    const auto uninstall = setup_window_settings(true, icon_from_rgba(std::vector<std::uint8_t>(16, 7), 2, 2));
    EXPECT_EQ(uninstall.title, "Удаление ZARN");
    ASSERT_TRUE(uninstall.icon.has_value());
    EXPECT_EQ(uninstall.icon->width, 2u);
    EXPECT_EQ(uninstall.icon->rgba, std::vector<std::uint8_t>(16, 7));
}

TEST(SetupWindow, AnIconOnlyFromPixelsThatFillItsSize) {
    const std::vector<std::uint8_t> pixels(4096, 0xFF);
    EXPECT_TRUE(icon_from_rgba(pixels, 32, 32).has_value());
    EXPECT_FALSE(icon_from_rgba(std::span(pixels).first(4095), 32, 32).has_value());
    EXPECT_FALSE(icon_from_rgba(pixels, 32, 31).has_value());
    EXPECT_FALSE(icon_from_rgba({}, 0, 0).has_value());
    EXPECT_FALSE(icon_from_rgba(pixels, 0, 1024).has_value());
}

#ifdef _WIN32
TEST(ProgramArguments, ComeFromTheWideCommandLine) {
    // argv is not looked at: a GUI program's narrow arguments are in the ANSI code page.
    const auto arguments = platform::program_arguments(0, nullptr);
    ASSERT_FALSE(arguments.empty());
    EXPECT_NE(arguments.front().find("window_startup_tests"), std::string::npos) << arguments.front();
}
#else
TEST(ProgramArguments, AreEveryArgumentAsUtf8Text) {
    const std::array<const char*, 4> argv{"ZARN-Setup", "--uninstall", "\xFF--", "Анна"};
    EXPECT_EQ(platform::program_arguments(static_cast<int>(argv.size()), argv.data()),
              (std::vector<std::string>{"ZARN-Setup", "--uninstall", "\xEF\xBF\xBD--", "Анна"}));
}
#endif

}  // namespace
}  // namespace zarn
