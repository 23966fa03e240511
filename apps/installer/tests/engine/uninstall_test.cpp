#include "engine/uninstall.h"

#include <gtest/gtest.h>

#include "engine/path_join.h"
#include "engine/registration.h"
#include "engine/user_folders.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "support/links.h"
#include "support/recording_sink.h"
#include "support/stand_in_log.h"
#include "support/temp_dir.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;
using platform::path_from_utf8;
using platform::path_to_utf8;
using test::list_tree;
using test::Report;
using test::write_file;

std::vector<Report> uninstall_reports(const std::string& folder_text) {
    return {{"Завершение процессов ZARN…", 20, "Останавливаем запущенный клиент", "working"},
            {"Удаление ярлыков и записей реестра…", 55, "Очистка меню «Пуск», рабочего стола и zarn://", "working"},
            {"Удаление файлов приложения…", 85, folder_text, "working"},
            {"ZARN удалён", 100, "Все файлы клиента и ярлыки успешно удалены.", "done"}};
}

void make_read_only(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

// What an installed and used client leaves in its folder.
void fill_installed(const fs::path& folder) {
    fs::create_directories(folder / "updates" / "0.4.0");
    fs::create_directories(folder / "zarn-desktop.exe.WebView2" / "EBWebView");
    for (const auto* name : {"zarn.exe", "zarn.exe.old", "zarn-desktop.exe", "config.json", "zarn.exe.download",
                             "ZARN-Uninstall.exe", "notes.txt"}) {
        write_file(folder / name, name);
    }
    write_file(folder / "updates" / "0.4.0" / "zarn.exe", "next");
    write_file(folder / "updates" / "state.json", "{}");
    write_file(folder / "zarn-desktop.exe.WebView2" / "EBWebView" / "Local State", "{}");
    make_read_only(folder / "zarn.exe");
    make_read_only(folder / "updates" / "0.4.0" / "zarn.exe");
}

const std::vector<std::string> kLeftBehind{"ZARN-Uninstall.exe", "notes.txt", "zarn-desktop.exe.WebView2",
                                           "zarn-desktop.exe.WebView2/EBWebView",
                                           "zarn-desktop.exe.WebView2/EBWebView/Local State"};

class Uninstall : public ::testing::Test {
protected:
    test::TempDir temp;
    test::StandIns stand_ins{temp.path()};
    fs::path local = temp / "local";
    fs::path desktop_link;
    fs::path start_menu_link;

    void SetUp() override {
        environment().set("LOCALAPPDATA", path_to_utf8(local));
        environment().set("USERPROFILE", path_to_utf8(temp / "profile"));
        environment().set("APPDATA", path_to_utf8(temp / "roaming"));
        desktop_link = *desktop_shortcut_path();
        start_menu_link = *start_menu_shortcut_path();
        for (const auto& link : {desktop_link, start_menu_link}) {
            fs::create_directories(link.parent_path());
            write_file(link, "lnk");
        }
        make_read_only(desktop_link);
    }

    test::ScopedEnvironment& environment() { return stand_ins.environment(); }

    // Runs a whole uninstall and gives everything it posted.
    std::vector<Report> uninstall(std::optional<std::string> folder_text) {
        test::Recorder recorder;
        run_uninstall(IpcCommand{"uninstall", std::move(folder_text), true, true, true}, recorder.proxy);
        return test::posted_events(recorder.sink->events());
    }

    std::vector<test::ProgramStart> starts() const { return test::program_starts(stand_ins.runs()); }

    // Wine finds its own taskkill.exe in the system folder before the stand-in.
    static std::vector<test::ProgramStart> expected_starts() {
        std::vector<test::ProgramStart> expected;
#ifndef _WIN32
        expected.push_back({"taskkill", {"/IM", "zarn.exe", "/F"}});
#endif
        expected.push_back(
            {"powershell", {"-NoProfile", "-WindowStyle", "Hidden", "-Command", std::string(kRegistryRemovalCommand)}});
        return expected;
    }
};

TEST_F(Uninstall, RemovesTheClientAndLeavesTheUninstallerAndEverythingElse) {
    const auto folder = temp / "Programs" / "ZARN";
    fill_installed(folder);

    EXPECT_EQ(uninstall(path_to_utf8(folder)), uninstall_reports(path_to_utf8(folder)));

    EXPECT_EQ(list_tree(folder), kLeftBehind);
    EXPECT_FALSE(fs::exists(desktop_link));
    EXPECT_FALSE(fs::exists(start_menu_link));
    EXPECT_EQ(starts(), expected_starts());
}

TEST_F(Uninstall, TakesTheDefaultFolderOnlyForAMissingOrBlankText) {
    const auto default_folder = join_path(local, "ZARN");
    struct Case {
        std::optional<std::string> text;
        fs::path folder;  // relative to the temporary folder, which is made the current one
        std::string shown;
    };
    // U+3000 and U+00A0 are white space to the trim, but ordinary characters in a file name.
    const std::vector<Case> cases{
        {std::nullopt, default_folder, path_to_utf8(default_folder)},
        {"", default_folder, path_to_utf8(default_folder)},
        {" \t\r\n\u3000\u00A0", default_folder, path_to_utf8(default_folder)},
        {"\u3000ZARN\u00A0", temp / path_from_utf8("\u3000ZARN\u00A0"), "\u3000ZARN\u00A0"},
    };
    test::ScopedCurrentFolder current(temp.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        fill_installed(c.folder);
        fill_installed(temp / "ZARN");

        EXPECT_EQ(uninstall(c.text), uninstall_reports(c.shown));

        EXPECT_EQ(list_tree(c.folder), kLeftBehind);
        EXPECT_EQ(list_tree(temp / "ZARN").size(), 14u) << "the trimmed text names a folder that is not touched";
    }
}

TEST_F(Uninstall, PostsTheSameFourReportsForAnEmptyOrMissingFolder) {
    fs::create_directories(temp / "empty");
    for (const auto* name : {"empty", "missing"}) {
        SCOPED_TRACE(name);
        const auto folder = temp / name;
        const bool existed = fs::exists(folder);

        EXPECT_EQ(uninstall(path_to_utf8(folder)), uninstall_reports(path_to_utf8(folder)));

        EXPECT_EQ(fs::exists(folder), existed);
        if (existed) {
            EXPECT_TRUE(fs::is_empty(folder));
        }
    }
}

TEST_F(Uninstall, GoesOnPastEveryFailure) {
    const auto folder = temp / "ZARN";
    struct Case {
        const char* name;
        void (*arrange)(test::StandIns&, const fs::path& nowhere);
        bool programs_run;
    };
    const std::vector<Case> cases{
        {"programs fail",
         [](test::StandIns& s, const fs::path&) {
             s.exit_with("taskkill", 128);
             s.exit_with("powershell", 1);
         },
         true},
        {"programs not found",
         [](test::StandIns& s, const fs::path& nowhere) { s.environment().set("PATH", path_to_utf8(nowhere)); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(temp / c.name);
        test::StandIns stand_ins_of_case(temp / c.name);
        c.arrange(stand_ins_of_case, temp / "nowhere");
        fill_installed(folder);
        for (const auto& link : {desktop_link, start_menu_link}) write_file(link, "lnk");

        EXPECT_EQ(uninstall(path_to_utf8(folder)), uninstall_reports(path_to_utf8(folder)));

        EXPECT_EQ(list_tree(folder), kLeftBehind);
        EXPECT_FALSE(fs::exists(desktop_link));
        EXPECT_FALSE(fs::exists(start_menu_link));
        EXPECT_EQ(stand_ins_of_case.runs().size(), c.programs_run ? expected_starts().size() : 0u);
    }
}

TEST_F(Uninstall, SkipsTheShortcutWhoseVariableIsNotSet) {
    environment().unset("USERPROFILE");
    uninstall(path_to_utf8(temp / "ZARN"));
    EXPECT_TRUE(fs::exists(desktop_link));
    EXPECT_FALSE(fs::exists(start_menu_link));

    environment().set("USERPROFILE", path_to_utf8(temp / "profile"));
    environment().unset("APPDATA");
    write_file(start_menu_link, "lnk");
    uninstall(path_to_utf8(temp / "ZARN"));
    EXPECT_FALSE(fs::exists(desktop_link));
    EXPECT_TRUE(fs::exists(start_menu_link));
}

TEST_F(Uninstall, RemovesALinkInsideUpdatesButNotWhatItPointsTo) {
    const auto folder = temp / "ZARN";
    fill_installed(folder);
    fs::create_directories(temp / "Documents" / "work");
    write_file(temp / "Documents" / "work" / "report.txt", "mine");
    if (!test::make_folder_link(folder / "updates" / "0.4.0" / "documents", temp / "Documents")) {
        GTEST_SKIP() << "no folder links here";
    }

    EXPECT_EQ(uninstall(path_to_utf8(folder)), uninstall_reports(path_to_utf8(folder)));

    EXPECT_EQ(test::read_file(temp / "Documents" / "work" / "report.txt"), "mine");
    if (!test::running_under_wine()) {
        EXPECT_EQ(list_tree(folder), kLeftBehind);
    }
}

}  // namespace
}  // namespace zarn
