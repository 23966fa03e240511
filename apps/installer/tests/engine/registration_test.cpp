#include "engine/registration.h"

#include <gtest/gtest.h>

#include "engine/powershell.h"
#include "engine/shortcut.h"
#include "platform/path_text.h"
#include "support/stand_in_log.h"
#include "support/temp_dir.h"

namespace zarn {
namespace {

using platform::path_from_utf8;

std::string expected_registration(const std::string& dir, const std::string& exe, const std::string& uninstaller,
                                  const std::string& autostart) {
    return "$u = 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZARN'; "
           "New-Item -Path $u -Force | Out-Null; "
           "Set-ItemProperty -Path $u -Name 'DisplayName' -Value 'ZARN'; "
           "Set-ItemProperty -Path $u -Name 'DisplayVersion' -Value '0.3.4'; "
           "Set-ItemProperty -Path $u -Name 'Publisher' -Value 'ZARN'; "
           "Set-ItemProperty -Path $u -Name 'InstallLocation' -Value '" + dir + "'; "
           "Set-ItemProperty -Path $u -Name 'DisplayIcon' -Value '" + exe + "'; "
           "Set-ItemProperty -Path $u -Name 'UninstallString' -Value '\"" + uninstaller + "\" --uninstall'; "
           "Set-ItemProperty -Path $u -Name 'NoModify' -Value 1 -Type DWord; "
           "Set-ItemProperty -Path $u -Name 'NoRepair' -Value 1 -Type DWord; "
           "$p = 'HKCU:\\Software\\Classes\\zarn'; "
           "New-Item -Path \"$p\\shell\\open\\command\" -Force | Out-Null; "
           "Set-ItemProperty -Path $p -Name '(default)' -Value 'URL:ZARN Protocol'; "
           "Set-ItemProperty -Path $p -Name 'URL Protocol' -Value ''; "
           "Set-ItemProperty -Path \"$p\\shell\\open\\command\" -Name '(default)' -Value '\"" + exe + "\" \"%1\"'; " +
           autostart;
}

const std::string kAutostartOff =
    "Remove-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' -Name 'ZARN' "
    "-ErrorAction SilentlyContinue;";

std::string autostart_on(const std::string& exe) {
    return "New-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' -Name 'ZARN' -Value '\"" +
           exe + "\"' -PropertyType String -Force | Out-Null;";
}

std::string expected_shortcut(const std::string& link, const std::string& target, const std::string& folder) {
    return "$ws = New-Object -ComObject WScript.Shell; $s = $ws.CreateShortcut('" + link + "'); $s.TargetPath = '" +
           target + "'; $s.IconLocation = '" + target + ",0'; $s.WorkingDirectory = '" + folder +
           "'; $s.Description = 'ZARN'; $s.Save()";
}

struct Folder {
    std::string as_given;  // UTF-8 text of the folder
    std::string quoted;    // what the commands must hold
};

std::vector<Folder> folders() {
    std::vector<Folder> list{
        {"C:\\Users\\Bob\\AppData\\Local\\ZARN", "C:\\Users\\Bob\\AppData\\Local\\ZARN"},
        {"C:\\Users\\O'Brien\\ZARN\\", "C:\\Users\\O''Brien\\ZARN\\"},
        {"C:\\Bob\u2019s \u2018x\u2019 \u201Ay\u201B $d `b \"q\"", "C:\\Bob\u2019\u2019s \u2018\u2018x\u2019\u2019 "
                                                                 "\u201A\u201Ay\u201B\u201B $d `b \"q\""},
    };
    return list;
}

TEST(RegistrationCommand, IsTheTemplateFilledWithQuotedPaths) {
    for (const auto& folder : folders()) {
        SCOPED_TRACE(folder.as_given);
        const auto dir = path_from_utf8(folder.as_given);
        const auto exe = path_from_utf8(folder.as_given + "\\zarn.exe");
        const auto uninstaller = path_from_utf8(folder.as_given + "\\ZARN-Uninstall.exe");
        const std::string q_exe = folder.quoted + "\\zarn.exe";
        const std::string q_uninstaller = folder.quoted + "\\ZARN-Uninstall.exe";

        EXPECT_EQ(registration_command(dir, exe, uninstaller, false),
                  expected_registration(folder.quoted, q_exe, q_uninstaller, kAutostartOff));
        EXPECT_EQ(registration_command(dir, exe, uninstaller, true),
                  expected_registration(folder.quoted, q_exe, q_uninstaller, autostart_on(q_exe)));
    }
}

TEST(RegistrationCommand, FixedTextsHaveTheirLengths) {
    const std::filesystem::path none;
    EXPECT_EQ(registration_command(none, none, none, false).size(), 918u + 5u + 123u);
    EXPECT_EQ(kAutostartOff.size(), 123u);
    EXPECT_EQ(kRegistryRemovalCommand.size(), 348u);
    EXPECT_EQ(shortcut_script(none, none, none).size(), 176u);
}

TEST(RegistryRemovalCommand, RemovesTheThreeEntries) {
    EXPECT_EQ(kRegistryRemovalCommand,
              "Remove-Item -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZARN' -Recurse "
              "-Force -ErrorAction SilentlyContinue; Remove-Item -Path 'HKCU:\\Software\\Classes\\zarn' -Recurse "
              "-Force -ErrorAction SilentlyContinue; " +
                  kAutostartOff);
}

TEST(ShortcutScript, IsTheTemplateFilledWithQuotedPaths) {
    for (const auto& folder : folders()) {
        SCOPED_TRACE(folder.as_given);
        EXPECT_EQ(shortcut_script(path_from_utf8(folder.as_given + "\\ZARN.lnk"),
                                  path_from_utf8(folder.as_given + "\\zarn.exe"), path_from_utf8(folder.as_given)),
                  expected_shortcut(folder.quoted + "\\ZARN.lnk", folder.quoted + "\\zarn.exe", folder.quoted));
    }
}

#ifdef _WIN32
TEST(QuoteForPowershell, PutsTheReplacementCharacterForAnUnpairedSurrogate) {
    const std::filesystem::path broken(std::wstring{L'C', L':', L'\\', wchar_t(0xDC01), L'\''});
    EXPECT_EQ(quote_for_powershell(broken), "C:\\\uFFFD''");
    EXPECT_NE(registration_command(broken, broken, broken, true).find("'C:\\\uFFFD'''"), std::string::npos);
}
#endif

class PowershellRuns : public ::testing::Test {
protected:
    test::TempDir temp;
    test::StandIns stand_ins{temp.path()};

    void hide_powershell() { stand_ins.environment().set("PATH", platform::path_to_utf8(temp / "nothing-here")); }
};

TEST_F(PowershellRuns, PassTheFiveArgumentsIntact) {
    const std::string command = R"(Set-Item -Path "$p\shell\" -Value '"C:\a b\" "%1"'; echo \\"x\\")";
    const auto code = run_hidden_powershell(command);
    ASSERT_TRUE(code) << code.error().text;
    EXPECT_EQ(*code, 0u);
    const auto runs = stand_ins.runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{"-NoProfile", "-WindowStyle", "Hidden", "-Command", command}));
}

TEST_F(PowershellRuns, RegistrationRunsOneCommandAndGivesItsExitCode) {
    const auto dir = path_from_utf8("C:\\Z");
    stand_ins.exit_with("powershell", 1);
    EXPECT_EQ(*register_client(dir, dir / "zarn.exe", dir / "u.exe", true), 1u);
    EXPECT_EQ(*unregister_client(), 1u);
    const auto runs = stand_ins.runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].args.at(4), registration_command(dir, dir / "zarn.exe", dir / "u.exe", true));
    EXPECT_EQ(runs[1].args.at(4), kRegistryRemovalCommand);
}

TEST_F(PowershellRuns, MissingPowershellIsAnError) {
    hide_powershell();
    EXPECT_EQ(run_hidden_powershell("exit").error().text, "program not found");
    EXPECT_EQ(register_client({}, {}, {}, false).error().text, "program not found");
    EXPECT_EQ(unregister_client().error().text, "program not found");
}

TEST_F(PowershellRuns, ShortcutOutcomesBecomeTexts) {
    const auto link = temp / "ZARN.lnk";
    EXPECT_TRUE(create_shortcut(link, temp / "zarn.exe", temp.path()));
    EXPECT_EQ(stand_ins.runs().at(0).args.at(4), shortcut_script(link, temp / "zarn.exe", temp.path()));

    stand_ins.exit_with("powershell", 1);
    EXPECT_EQ(create_shortcut(link, temp / "zarn.exe", temp.path()).error(), "Ошибка создания ярлыка Windows");

    hide_powershell();
    EXPECT_EQ(create_shortcut(link, temp / "zarn.exe", temp.path()).error(),
              "Не удалось создать ярлык: program not found");
}

}  // namespace
}  // namespace zarn
