#include "window/folder_picker.h"

#include <gtest/gtest.h>

#include "platform/path_text.h"
#include "support/recording_sink.h"
#include "support/stand_in_log.h"
#include "support/temp_dir.h"

namespace zarn {
namespace {

using platform::path_from_utf8;
using platform::path_to_utf8;

std::string expected_script(const std::string& quoted_start_folder) {
    const std::string& q = quoted_start_folder;
    return "[Console]::OutputEncoding = [System.Text.Encoding]::UTF8; Add-Type -AssemblyName "
           "System.Windows.Forms; $d = New-Object System.Windows.Forms.FolderBrowserDialog; $d.Description = "
           "'Выберите папку для установки ZARN'; $d.ShowNewFolderButton = $true; if ('" + q +
           "' -ne '' -and (Test-Path '" + q + "')) { $d.SelectedPath = '" + q +
           "' }; if ($d.ShowDialog() -eq [System.Windows.Forms.DialogResult]::OK) { [Console]::Write($d.SelectedPath) }";
}

// One run of the picker against the stand-in PowerShell: the one event posted and how
// PowerShell was started.
struct PickerRun {
    std::vector<UiEvent> events;
    std::vector<test::StandInRun> runs;
};

PickerRun pick(const test::TempDir& temp, std::optional<std::string> install_dir,
               std::optional<std::string> printed = std::nullopt, int exit_code = 0,
               const std::string& complaint = "") {
    test::StandIns stand_ins(temp.path());
    if (printed) stand_ins.print("powershell", *printed);
    if (!complaint.empty()) stand_ins.complain("powershell", complaint);
    stand_ins.exit_with("powershell", exit_code);
    test::Recorder recorder;
    browse_install_dir(std::move(install_dir), recorder.proxy);
    return {recorder.sink->events(), stand_ins.runs()};
}

std::optional<std::string> posted_dir(const PickerRun& run) {
    EXPECT_EQ(run.events.size(), 1u);
    if (run.events.size() != 1 || !std::holds_alternative<SetDir>(run.events[0])) {
        ADD_FAILURE() << "expected exactly one SetDir";
        return "<no SetDir>";
    }
    return std::get<SetDir>(run.events[0]).dir;
}

TEST(FolderPicker, RunsTheHiddenDialogScriptInPowerShell) {
    test::TempDir temp;
    const auto run = pick(temp, std::nullopt);
    ASSERT_EQ(run.runs.size(), 1u);
    EXPECT_EQ(run.runs[0].program, "powershell");
    EXPECT_EQ(run.runs[0].args, (std::vector<std::string>{"-NoProfile", "-STA", "-WindowStyle", "Hidden", "-Command",
                                                          expected_script("")}));
}

TEST(FolderPicker, PreselectsTheFolderItsParentOrNothing) {
    test::TempDir temp;
    const std::string base = path_to_utf8(temp.path());
    const std::string sep(1, char(std::filesystem::path::preferred_separator));
    std::filesystem::create_directories(path_from_utf8(base + sep + "Bob's \u2019x\u2019"));
    test::write_file(temp / "a file", "");

    struct Case {
        std::optional<std::string> install_dir;
        std::string start_folder;  // as it must stand, quoted, in all three places
    };
    const std::vector<Case> cases{
        {std::nullopt, ""},
        {" \t\u3000\u00a0", ""},
        {base, base},
        {base + sep + "a file", base + sep + "a file"},
        {base + sep + "ZARN", base},
        {base + sep + "ZARN" + sep, base},
        {base + sep + "ZARN" + sep + ".", base},
        {base + sep + "ZARN" + sep + "." + sep, base},
        {base + sep + "no" + sep + "ZARN", ""},
        {"relative-nowhere", ""},
        {base + sep + "Bob's \u2019x\u2019", base + sep + "Bob''s \u2019\u2019x\u2019\u2019"},
        {base + sep + "Bob's \u2019x\u2019" + sep + "ZARN", base + sep + "Bob''s \u2019\u2019x\u2019\u2019"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.install_dir.value_or("<none>"));
        const auto run = pick(temp, c.install_dir);
        ASSERT_EQ(run.runs.size(), 1u);
        ASSERT_EQ(run.runs[0].args.size(), 6u);
        EXPECT_EQ(run.runs[0].args[5], expected_script(c.start_folder));
        std::filesystem::remove(temp / "stand-ins.log");
    }
}

TEST(FolderPicker, PreselectsAFolderWithSurroundingBlanksAsGiven) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows drops trailing blanks from file names";
#else
    test::TempDir temp;
    const std::string folder = path_to_utf8(temp / " Lead and trail ");
    std::filesystem::create_directories(path_from_utf8(folder));
    const auto run = pick(temp, folder);
    ASSERT_EQ(run.runs.size(), 1u);
    EXPECT_EQ(run.runs[0].args.at(5), expected_script(folder));
#endif
}

TEST(FolderPicker, TurnsTheAnswerIntoAnInstallationFolder) {
    struct Case {
        std::string printed;
        std::optional<std::string> dir;
    };
#ifdef _WIN32
    const std::vector<Case> cases{
        {"D:\\", "D:\\ZARN"},
        {"D:\\Apps", "D:\\Apps\\ZARN"},
        {"D:\\Apps\\zarn", "D:\\Apps\\zarn"},
        {"D:\\Apps\\ZaRn\\", "D:\\Apps\\ZaRn\\"},
        {"D:\\Apps\\ZARN-old", "D:\\Apps\\ZARN-old\\ZARN"},
        {"D:/Apps/", "D:/Apps/ZARN"},
        {"\\\\server\\share\\Программы", "\\\\server\\share\\Программы\\ZARN"},
        {"\\\\server\\zarn", "\\\\server\\zarn\\ZARN"},
        {"D:\\Apps\\ZARN\\.", "D:\\Apps\\ZARN\\."},
        {R"(\\server\share\)", R"(\\server\share\ZARN)"},
        {R"(\\?\UNC\server\zarn)", R"(\\?\UNC\server\zarn\ZARN)"},
        {R"(D:\.)", R"(D:\.\ZARN)"},
        {"D:\\Apps\r\n", "D:\\Apps\\ZARN"},
        {"\xef\xbb\xbf  D:\\Apps \n", "\xef\xbb\xbf  D:\\Apps\\ZARN"},  // a BOM is no white space
        {"D:\\Caf\xe9", "D:\\Caf\uFFFD\\ZARN"},
        {"D:\\\u017dARN", "D:\\\u017dARN\\ZARN"},  // only ASCII letters fold
        {"", std::nullopt},
        {" \r\n", std::nullopt},
    };
#else
    const std::vector<Case> cases{
        {"/", "/ZARN"},
        {"/media/Apps", "/media/Apps/ZARN"},
        {"/media/Apps/zarn", "/media/Apps/zarn"},
        {"/media/Apps/ZaRn/", "/media/Apps/ZaRn/"},
        {"/media/Apps/zarn/.", "/media/Apps/zarn/."},
        {"/media/Apps/ZARN-old", "/media/Apps/ZARN-old/ZARN"},
        {"/media/Программы", "/media/Программы/ZARN"},
        {"/media/Apps\r\n", "/media/Apps/ZARN"},
        {"\xef\xbb\xbf  /media/Apps \n", "\xef\xbb\xbf  /media/Apps/ZARN"},  // a BOM is no white space
        {"/media/Caf\xe9", "/media/Caf\uFFFD/ZARN"},
        {"/media/\u017dARN", "/media/\u017dARN/ZARN"},  // only ASCII letters fold
        {"", std::nullopt},
        {" \r\n", std::nullopt},
    };
#endif
    test::TempDir temp;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed);
        EXPECT_EQ(posted_dir(pick(temp, std::nullopt, c.printed)), c.dir);
    }
}

// The dialog answers with Windows paths; the name rule reads them alike on every build.
TEST(FolderPicker, FindsTheLastNameAndTheParentOfAWindowsPath) {
    struct Case {
        std::string path;
        std::optional<std::string> name;
        std::optional<std::string> parent;
    };
    const std::vector<Case> cases{
        {R"(D:\Apps\ZARN)", "ZARN", R"(D:\Apps)"},
        {R"(D:\Apps\ZARN\)", "ZARN", R"(D:\Apps)"},
        {R"(D:\Apps)", "Apps", R"(D:\)"},
        {R"(D:/Apps//ZARN//)", "ZARN", "D:/Apps"},
        // "." names no folder: passed over for the name and for the parent.
        {R"(D:\Apps\ZARN\.)", "ZARN", R"(D:\Apps)"},
        {R"(D:\Apps\ZARN\.\)", "ZARN", R"(D:\Apps)"},
        {R"(D:\Apps\ZARN\.\.)", "ZARN", R"(D:\Apps)"},
        {R"(D:\Apps\.\ZARN)", "ZARN", R"(D:\Apps\.)"},
        {R"(D:\Apps\..)", "..", R"(D:\Apps)"},
        {R"(D:\Apps\.zarn)", ".zarn", R"(D:\Apps)"},
        // Roots hold no name and have no parent.
        {R"(D:\)", std::nullopt, std::nullopt},
        {"D:", std::nullopt, std::nullopt},
        {R"(D:\.)", std::nullopt, std::nullopt},
        {R"(D:\.\)", std::nullopt, std::nullopt},
        {R"(\)", std::nullopt, std::nullopt},
        {R"(\\server\zarn)", std::nullopt, std::nullopt},
        {R"(\\server\share\)", std::nullopt, std::nullopt},
        {R"(\\server\share\.)", std::nullopt, std::nullopt},
        {"//server/zarn", std::nullopt, std::nullopt},
        {R"(\\?\UNC\server\zarn)", std::nullopt, std::nullopt},
        {R"(\\?\unc\server\share\)", std::nullopt, std::nullopt},
        {R"(\\?\D:\)", std::nullopt, std::nullopt},
        {R"(\\.\D:)", std::nullopt, std::nullopt},
        // Below a root.
        {R"(\\server\share\ZARN)", "ZARN", R"(\\server\share\)"},
        {R"(\\server\share\Apps\ZARN\.)", "ZARN", R"(\\server\share\Apps)"},
        {R"(\\?\UNC\server\share\ZARN)", "ZARN", R"(\\?\UNC\server\share\)"},
        {R"(\\?\D:\Apps\ZARN)", "ZARN", R"(\\?\D:\Apps)"},
        {R"(\Apps)", "Apps", R"(\)"},
        {"D:Apps", "Apps", "D:"},
        {"Apps", "Apps", std::nullopt},
        {R"(Apps\ZARN)", "ZARN", "Apps"},
        {"/media/Apps/ZARN/.", "ZARN", "/media/Apps"},
        {"/", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto name = last_folder_name(c.path);
        EXPECT_EQ(name ? std::optional<std::string>(*name) : std::nullopt, c.name);
        EXPECT_EQ(parent_folder(c.path), c.parent);
    }
}

TEST(FolderPicker, TakesTheAnswerWhateverPowerShellExitsWithAndKeepsItsComplaintsToItself) {
    test::TempDir temp;
    EXPECT_EQ(posted_dir(pick(temp, std::nullopt, "Zarn", 1)), "Zarn");
    // What PowerShell says when Windows Forms cannot be loaded stays out of the program's own
    // standard error.
    testing::internal::CaptureStderr();
    const auto failed = pick(temp, std::nullopt, std::nullopt, 1, "Add-Type : Cannot load System.Windows.Forms");
    const std::string own_error = testing::internal::GetCapturedStderr();
    EXPECT_EQ(posted_dir(failed), std::nullopt);
    EXPECT_EQ(own_error.find("Add-Type"), std::string::npos) << own_error;
}

TEST(FolderPicker, PostsNoFolderWhenPowerShellCannotBeFound) {
    test::TempDir temp;
    test::ScopedEnvironment environment;
    environment.set("PATH", path_to_utf8(temp.path()));
    const auto run = pick(temp, std::nullopt, "D:\\Apps");
    EXPECT_EQ(posted_dir(run), std::nullopt);
    EXPECT_TRUE(run.runs.empty());
}

TEST(FolderPicker, PostsItsFolderEvenToALoopThatHasEnded) {
    test::TempDir temp;
    test::StandIns stand_ins(temp.path());
    stand_ins.print("powershell", "D:\\Apps");
    test::Recorder recorder;
    recorder.sink->close();
    browse_install_dir(std::nullopt, recorder.proxy);  // the handed-back event is dropped quietly
    EXPECT_EQ(stand_ins.runs().size(), 1u);
    EXPECT_TRUE(recorder.sink->events().empty());
}

}  // namespace
}  // namespace zarn
