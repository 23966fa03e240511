#include "engine/install.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "engine/client_config.h"
#include "engine/path_compare.h"
#include "engine/path_join.h"
#include "engine/registration.h"
#include "engine/shortcut.h"
#include "engine/user_folders.h"
#include "platform/os_error.h"
#include "platform/path_text.h"
#include "platform/sha256.h"
#include "support/loopback_server.h"
#include "support/recording_sink.h"
#include "support/stand_in_log.h"
#include "support/temp_dir.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;
using platform::path_from_utf8;
using platform::path_to_utf8;
using test::list_tree;
using test::ProgramStart;
using test::read_file;
using test::Report;
using test::write_file;

const Report kPreparing{"Подготовка установки…", 10, "Закрываем запущенные копии ZARN", "working"};
const Report kCopying{"Копирование клиента ZARN…", 45, "Установка из локального пакета", "working"};
const Report kConfiguring{"Сохранение конфигурации…", 74, "Запись config.json и деинсталлятора", "working"};
const Report kShortcuts{"Создание ярлыков…", 84, "Рабочий стол и меню «Пуск»", "working"};
const Report kRegistering{"Регистрация ZARN в Windows…", 94, "Протокол zarn:// и список приложений", "working"};
const Report kRegistryRefused{"Почти готово", 96, "Не удалось записать ключи реестра HKCU", "working"};
const Report kInstalledReport{"ZARN успешно установлен!", 100, "Обновления будут загружаться автоматически при запуске.",
                              "done"};

Report creating_folder(const fs::path& folder) { return {"Создание директории…", 16, path_to_utf8(folder), "working"}; }
Report installed_event(const fs::path& folder) { return {"Installed", -1, path_to_utf8(join_path(folder, "zarn.exe")), ""}; }

// Everything a successful install from a local package posts, with the reports of a failed
// registration where they belong.
std::vector<Report> local_install(const fs::path& folder, std::vector<Report> registration_failure = {}) {
    std::vector<Report> events{kPreparing, creating_folder(folder), kCopying, kConfiguring, kShortcuts, kRegistering};
    events.insert(events.end(), registration_failure.begin(), registration_failure.end());
    events.push_back(installed_event(folder));
    events.push_back(kInstalledReport);
    return events;
}

constexpr std::string_view kServer = "https://updates.zarn.test";
const std::string kConfigText = "{\n  \"serverUrl\": \"https://updates.zarn.test\"\n}";

class Install : public ::testing::Test {
protected:
    test::TempDir temp;
    test::StandIns stand_ins{temp.path()};
    fs::path setup_folder = temp / "Downloads";
    fs::path setup_program = setup_folder / "ZARN-Setup.exe";
    fs::path folder = temp / "Programs" / "ZARN";
    std::string server_url{kServer};
    bool program_path_unreadable = false;  // getting the running program's path fails

    void SetUp() override {
        environment().set("LOCALAPPDATA", path_to_utf8(temp / "local"));
        environment().set("USERPROFILE", path_to_utf8(temp / "profile"));
        environment().set("APPDATA", path_to_utf8(temp / "roaming"));
        fs::create_directories(setup_folder);
        write_file(setup_program, "setup program");
    }

    test::ScopedEnvironment& environment() { return stand_ins.environment(); }

    // Runs a whole install as the program at `setup_program` and gives everything it posted.
    std::vector<Report> install(std::optional<std::string> folder_text, bool desktop = true, bool start_menu = true,
                                bool autostart = true) {
        test::Recorder recorder;
        const InstallContext context{server_url,
                                     [this]() -> Result<fs::path> {
                                         if (program_path_unreadable) return unexpected(Error{"no path"});
                                         return setup_program;
                                     },
                                     {}};
        install_client(IpcCommand{"install", std::move(folder_text), desktop, start_menu, autostart}, recorder.proxy,
                       context);
        return test::posted_events(recorder.sink->events());
    }

    std::vector<ProgramStart> starts() const { return test::program_starts(stand_ins.runs()); }

    // Wine finds its own taskkill.exe in the system folder before the stand-in.
    static std::vector<ProgramStart> ending_clients() {
#ifdef _WIN32
        return {};
#else
        return {{"taskkill", {"/IM", "zarn.exe", "/F"}}, {"taskkill", {"/IM", "zarn-desktop.exe", "/F"}}};
#endif
    }

    static ProgramStart powershell(std::string command) {
        return {"powershell", {"-NoProfile", "-WindowStyle", "Hidden", "-Command", std::move(command)}};
    }

    static ProgramStart shortcut(const fs::path& link, const fs::path& installed) {
        return powershell(shortcut_script(link, join_path(installed, "zarn.exe"), installed));
    }

    static ProgramStart registration(const fs::path& installed, bool autostart) {
        return powershell(registration_command(installed, join_path(installed, "zarn.exe"),
                                               join_path(installed, "ZARN-Uninstall.exe"), autostart));
    }

    static std::vector<ProgramStart> plus(std::vector<ProgramStart> list, const std::vector<ProgramStart>& more) {
        list.insert(list.end(), more.begin(), more.end());
        return list;
    }
};

TEST_F(Install, FromThePackageBesideTheProgramWithEveryBoxTicked) {
    write_file(setup_folder / "zarn.exe", "client beside");
    fs::create_directories(setup_folder / "payload");
    write_file(setup_folder / "payload" / "zarn.exe", "client in payload");
    // A folder left by an earlier version, with stale entries and what the client keeps.
    fs::create_directories(folder / "zarn-desktop.exe.WebView2" / "EBWebView");
    fs::create_directories(folder / "updates");
    for (const auto* name : {"zarn.exe", "zarn-desktop.exe", "zarn.exe.old", "zarn.exe.download", "config.json",
                             "ZARN-Uninstall.exe", "notes.txt", "zarn-desktop.exe.WebView2/EBWebView/Local State",
                             "updates/0.4.0.exe"}) {
        write_file(folder / path_from_utf8(name), "old");
    }

    EXPECT_EQ(install(path_to_utf8(folder)), local_install(folder));

    EXPECT_EQ(list_tree(folder), (std::vector<std::string>{"ZARN-Uninstall.exe", "config.json", "notes.txt", "updates",
                                                           "updates/0.4.0.exe", "zarn.exe"}));
    EXPECT_EQ(read_file(folder / "zarn.exe"), "client beside");
    EXPECT_EQ(read_file(folder / "config.json"), kConfigText);
    EXPECT_EQ(read_file(folder / "ZARN-Uninstall.exe"), "setup program");
    EXPECT_EQ(starts(), plus(ending_clients(), {shortcut(*desktop_shortcut_path(), folder),
                                                shortcut(*start_menu_shortcut_path(), folder),
                                                registration(folder, true)}));
}

TEST_F(Install, FromThePayloadFolderWhenNoFileIsBesideTheProgram) {
    fs::create_directories(setup_folder / "zarn.exe");  // a folder is no package
    fs::create_directories(setup_folder / "payload");
    write_file(setup_folder / "payload" / "zarn.exe", "client in payload");

    EXPECT_EQ(install(path_to_utf8(folder), false, false, false), local_install(folder));

    EXPECT_EQ(list_tree(folder), (std::vector<std::string>{"ZARN-Uninstall.exe", "config.json", "zarn.exe"}));
    EXPECT_EQ(read_file(folder / "zarn.exe"), "client in payload");
    EXPECT_EQ(starts(), plus(ending_clients(), {registration(folder, false)}));
}

std::string sha256_hex(std::string_view bytes) {
    platform::Sha256 digest;
    digest.update(bytes.data(), bytes.size());
    return digest.finish_hex();
}

// The download posts one report for every read, as many as the connection makes: a run of
// them is kept as its last report.
std::vector<Report> with_chunks_collapsed(const std::vector<Report>& events, const std::string& chunk_step) {
    std::vector<Report> collapsed;
    for (const auto& event : events) {
        if (event.step == chunk_step && !collapsed.empty() && collapsed.back().step == chunk_step) {
            EXPECT_GE(event.pct, collapsed.back().pct);
            collapsed.back() = event;
        } else {
            collapsed.push_back(event);
        }
    }
    return collapsed;
}

const Report kAskingForManifest{"Загрузка последней версии ZARN…", 25, "Запрос манифеста обновлений…", "working"};

TEST_F(Install, DownloadsTheClientWhenNoLocalPackageIsThere) {
    const std::string package(5000, 'Z');
    test::LoopbackServer server;
    server.route("/api/client/update/manifest", [&](test::Reply& reply) {
        reply.send(200, R"({"version":"2.0.1","downloads":{"windows_x64":{"url":"/files/zarn.exe","sha256":")" +
                            sha256_hex(package) + R"(","size":5000}}})");
    });
    server.route("/files/zarn.exe", [&](test::Reply& reply) { reply.send(200, package); });
    server.start();
    server_url = server.base_url() + "/";
    fs::create_directories(folder);
    write_file(folder / "zarn.exe.download", "left by a window closed mid-download");

    const auto events = with_chunks_collapsed(install(path_to_utf8(folder)), "Загрузка ZARN v2.0.1…");

    EXPECT_EQ(events, (std::vector<Report>{kPreparing, creating_folder(folder), kAskingForManifest,
                                           {"Загрузка ZARN v2.0.1…", 68, "0.0 МБ", "working"}, kConfiguring,
                                           kShortcuts, kRegistering, installed_event(folder), kInstalledReport}));
    EXPECT_EQ(list_tree(folder), (std::vector<std::string>{"ZARN-Uninstall.exe", "config.json", "zarn.exe"}));
    EXPECT_EQ(read_file(folder / "zarn.exe"), package);
    EXPECT_EQ(read_file(folder / "config.json"), "{\n  \"serverUrl\": \"" + server_url + "\"\n}");
    EXPECT_EQ(read_file(folder / "ZARN-Uninstall.exe"), "setup program");
    EXPECT_EQ(starts(), plus(ending_clients(), {shortcut(*desktop_shortcut_path(), folder),
                                                shortcut(*start_menu_shortcut_path(), folder),
                                                registration(folder, true)}));
}

TEST_F(Install, AFailingServerEndsTheRunWithOneErrorAndKeepsTheInstalledClient) {
    test::LoopbackServer server;
    server.route("/api/client/update/manifest", [](test::Reply& reply) { reply.send(500, "down for maintenance"); });
    server.start();
    server_url = server.base_url();
    fs::create_directories(folder);
    write_file(folder / "zarn.exe", "installed client");
    write_file(folder / "zarn.exe.download", "left by a window closed mid-download");

    EXPECT_EQ(install(path_to_utf8(folder)),
              (std::vector<Report>{kPreparing, creating_folder(folder), kAskingForManifest,
                                   {"Не удалось скачать клиент", 25,
                                    "Положите zarn.exe рядом с установщиком или убедитесь, что сервер доступен.",
                                    "error"}}));
    EXPECT_EQ(list_tree(folder), (std::vector<std::string>{"zarn.exe"}));
    EXPECT_EQ(read_file(folder / "zarn.exe"), "installed client");
    EXPECT_EQ(starts(), ending_clients());
}

// Steps whose failure the install passes over: each run still ends with the installed client.
TEST_F(Install, GoesOnPastFailedSideSteps) {
    const std::string package(5000, 'P');
    test::LoopbackServer server;
    server.route("/api/client/update/manifest", [&](test::Reply& reply) {
        reply.send(200, R"({"version":"3.0.0","downloads":{"windows_x64":{"url":"/zarn.exe","sha256":")" +
                            sha256_hex(package) + R"(","size":5000}}})");
    });
    server.route("/zarn.exe", [&](test::Reply& reply) { reply.send(200, package); });
    server.start();
    server_url = server.base_url();
    const std::string config_text = "{\n  \"serverUrl\": \"" + server_url + "\"\n}";
    write_file(setup_folder / "zarn.exe", "client beside");

    struct Case {
        const char* name;
        const char* taken_by_a_folder;  // a name in the installation folder, or none
        bool program_path_unreadable;
        std::vector<Report> events;
        std::vector<std::string> tree;
        std::string client;
    };
    const std::vector<Case> cases{
        {"config.json cannot be written", "config.json", false, local_install(folder),
         {"ZARN-Uninstall.exe", "config.json", "zarn.exe"}, "client beside"},
        {"the uninstaller copy fails", "ZARN-Uninstall.exe", false, local_install(folder),
         {"ZARN-Uninstall.exe", "config.json", "zarn.exe"}, "client beside"},
        // No local package can be found beside a program of unknown place, nor can it be copied.
        {"the running program's path cannot be read", nullptr, true,
         {kPreparing, creating_folder(folder), kAskingForManifest, {"Загрузка ZARN v3.0.0…", 68, "0.0 МБ", "working"},
          kConfiguring, kShortcuts, kRegistering, installed_event(folder), kInstalledReport},
         {"config.json", "zarn.exe"}, package},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        if (c.taken_by_a_folder) fs::create_directories(folder / c.taken_by_a_folder);
        program_path_unreadable = c.program_path_unreadable;
        const auto runs_before = starts().size();

        EXPECT_EQ(with_chunks_collapsed(install(path_to_utf8(folder)), "Загрузка ZARN v3.0.0…"), c.events);

        EXPECT_EQ(list_tree(folder), c.tree);
        EXPECT_EQ(read_file(folder / "zarn.exe"), c.client);
        for (const auto* name : {"config.json", "ZARN-Uninstall.exe"}) {
            if (c.taken_by_a_folder && std::string_view(name) == c.taken_by_a_folder) {
                EXPECT_TRUE(fs::is_directory(folder / name)) << name;
            } else if (fs::exists(folder / name)) {
                EXPECT_EQ(read_file(folder / name), std::string(name) == "config.json" ? config_text : "setup program");
            }
        }
        const auto runs = starts();
        EXPECT_EQ(std::vector<ProgramStart>(runs.begin() + static_cast<std::ptrdiff_t>(runs_before), runs.end()),
                  plus(ending_clients(), {shortcut(*desktop_shortcut_path(), folder),
                                          shortcut(*start_menu_shortcut_path(), folder), registration(folder, true)}));
    }
}

TEST_F(Install, TakesTheDefaultFolderOnlyForAMissingOrBlankText) {
    write_file(setup_folder / "zarn.exe", "client");
    const auto default_folder = join_path(temp / "local", "ZARN");
    struct Case {
        std::optional<std::string> text;
        fs::path folder;
    };
    // U+3000 and U+00A0 are white space to the trim, but ordinary characters in a file name.
    const std::vector<Case> cases{
        {std::nullopt, default_folder},
        {"", default_folder},
        {" \t\r\n\u3000\u00A0", default_folder},
        {"\u3000ZARN\u00A0", temp / path_from_utf8("\u3000ZARN\u00A0")},
    };
    test::ScopedCurrentFolder current(temp.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(path_to_utf8(c.folder));
        fs::remove_all(c.folder);
        const auto events = install(c.text, false, false, false);
        // The text is shown and used as received, the relative one included.
        auto expected = local_install(c.folder);
        if (c.text && c.folder != default_folder) {
            expected[1].note = *c.text;
            expected[6].note = *c.text + std::string(1, char(fs::path::preferred_separator)) + "zarn.exe";
        }
        EXPECT_EQ(events, expected);
        EXPECT_EQ(read_file(c.folder / "zarn.exe"), "client");
        EXPECT_FALSE(fs::exists(temp / "ZARN"));
    }
}

TEST_F(Install, StopsWhenTheFolderCannotBeMade) {
    write_file(setup_folder / "zarn.exe", "client");
    write_file(temp / "taken", "a file");
#ifdef _WIN32
    const auto text = platform::os_error(183).text;  // ERROR_ALREADY_EXISTS
#else
    const auto text = platform::os_error(EEXIST).text;
#endif
    for (const auto& folder_text : {temp / "taken", temp / "taken" / "ZARN"}) {
        SCOPED_TRACE(path_to_utf8(folder_text));
        const auto events = install(path_to_utf8(folder_text));
        ASSERT_EQ(events.size(), 3u);
        EXPECT_EQ(events[0], kPreparing);
        EXPECT_EQ(events[1], creating_folder(folder_text));
        EXPECT_EQ(events[2].step, "Ошибка установки");
        EXPECT_EQ(events[2].pct, 16);
        EXPECT_EQ(events[2].state, "error");
        EXPECT_TRUE(events[2].note.rfind("Не удалось создать папку: ", 0) == 0) << events[2].note;
    }
    EXPECT_EQ(install(path_to_utf8(temp / "taken")).back().note, "Не удалось создать папку: " + text);
    EXPECT_EQ(read_file(temp / "taken"), "a file");
    EXPECT_EQ(starts(), plus(plus(ending_clients(), ending_clients()), ending_clients()));
}

TEST_F(Install, StopsWhenTheCopyFails) {
    write_file(setup_folder / "zarn.exe", "client");
    fs::create_directories(folder / "zarn.exe");  // the client path is taken by a folder
#ifdef _WIN32
    const auto text = platform::os_error(5).text;  // ERROR_ACCESS_DENIED
#else
    const auto text = platform::os_error(EISDIR).text;
#endif

    EXPECT_EQ(install(path_to_utf8(folder)),
              (std::vector<Report>{kPreparing, creating_folder(folder), kCopying,
                                   {"Ошибка копирования", 45, "Не удалось скопировать клиент: " + text, "error"}}));
    EXPECT_EQ(list_tree(folder), (std::vector<std::string>{"zarn.exe"}));
    EXPECT_EQ(starts(), ending_clients());
}

TEST_F(Install, AFailedRegistrationIsToldAndTheInstallStillSucceeds) {
    write_file(setup_folder / "zarn.exe", "client");

    stand_ins.exit_with("powershell", 1);
    EXPECT_EQ(install(path_to_utf8(folder)), local_install(folder, {kRegistryRefused}));
    EXPECT_EQ(starts().size(), ending_clients().size() + 3);

    environment().set("PATH", path_to_utf8(temp / "nowhere"));
    EXPECT_EQ(install(path_to_utf8(folder)),
              local_install(folder, {{"Почти готово", 96, "Ошибка регистрации в системе: program not found", "working"}}));
    EXPECT_EQ(read_file(folder / "zarn.exe"), "client");
    EXPECT_EQ(read_file(folder / "config.json"), kConfigText);
}

TEST_F(Install, SkipsAShortcutWhoseVariableIsNotSet) {
    write_file(setup_folder / "zarn.exe", "client");
    const auto desktop = *desktop_shortcut_path();
    const auto start_menu = *start_menu_shortcut_path();

    environment().unset("USERPROFILE");
    EXPECT_EQ(install(path_to_utf8(folder)), local_install(folder));
    environment().set("USERPROFILE", path_to_utf8(temp / "profile"));
    environment().unset("APPDATA");
    EXPECT_EQ(install(path_to_utf8(folder)), local_install(folder));

    EXPECT_EQ(starts(), plus(plus(ending_clients(), {shortcut(start_menu, folder), registration(folder, true)}),
                             plus(ending_clients(), {shortcut(desktop, folder), registration(folder, true)})));
}

TEST_F(Install, RunningAsTheInstalledUninstallerMakesNoCopyOfItself) {
    // The installed uninstaller started without "--uninstall": its folder holds the client too,
    // which is the local package and the client path at once.
    fs::create_directories(folder);
    write_file(folder / "zarn.exe", "installed client");
    write_file(folder / "ZARN-Uninstall.exe", "installed uninstaller");
    const std::string sep(1, char(fs::path::preferred_separator));
    const std::string text = path_to_utf8(folder);
    std::vector<std::string> running_as{text + sep + "ZARN-Uninstall.exe",
                                        text + sep + "." + sep + sep + "ZARN-Uninstall.exe"};
#ifdef _WIN32
    // The drive letter in the other case, and forward slashes.
    std::string other_drive = running_as[0];
    ASSERT_EQ(other_drive.at(1), ':');
    other_drive[0] = static_cast<char>(other_drive[0] ^ 0x20);
    running_as.push_back(other_drive);
    std::string forward = running_as[0];
    std::replace(forward.begin(), forward.end(), '\\', '/');
    running_as.push_back(forward);
#endif
    for (const auto& running : running_as) {
        SCOPED_TRACE(running);
        setup_program = path_from_utf8(running);

        EXPECT_EQ(install(text), local_install(folder));

        EXPECT_EQ(read_file(folder / "ZARN-Uninstall.exe"), "installed uninstaller");
        EXPECT_EQ(read_file(folder / "zarn.exe"), "installed client");
        EXPECT_EQ(read_file(folder / "config.json"), kConfigText);
    }
}

TEST(SamePath, ComparesComponentsWithoutLookingAtTheDisk) {
    struct Case {
        std::string_view a, b;
        bool same;
    };
    const Case cases[] = {
        {"C:\\ZARN\\ZARN-Uninstall.exe", "C:\\ZARN\\ZARN-Uninstall.exe", true},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "C:/ZARN/ZARN-Uninstall.exe", true},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "C:\\\\ZARN\\\\\\ZARN-Uninstall.exe", true},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "C:\\ZARN\\ZARN-Uninstall.exe\\", true},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "C:\\.\\ZARN\\.\\ZARN-Uninstall.exe", true},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "c:\\ZARN\\ZARN-Uninstall.exe", true},
        {"/home/bob/ZARN/ZARN-Uninstall.exe", "/home//bob/./ZARN/ZARN-Uninstall.exe", true},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "C:\\zarn\\ZARN-Uninstall.exe", false},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "C:\\ZARN\\zarn-uninstall.exe", false},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "D:\\ZARN\\ZARN-Uninstall.exe", false},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "C:ZARN\\ZARN-Uninstall.exe", false},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "\\ZARN\\ZARN-Uninstall.exe", false},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "C:\\ZARN\\..\\ZARN\\ZARN-Uninstall.exe", false},
        {"C:\\ZARN\\ZARN-Uninstall.exe", "C:\\ZARN\\ZARN-Uninstall.exe.", false},
        {"\\\\server\\share\\ZARN-Uninstall.exe", "\\server\\share\\ZARN-Uninstall.exe", false},
        {"ZARN\\ZARN-Uninstall.exe", "\\ZARN\\ZARN-Uninstall.exe", false},
        {"ZARN\\ZARN-Uninstall.exe", ".\\ZARN\\ZARN-Uninstall.exe", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(same_path_text(c.a, c.b), c.same) << c.a << " vs " << c.b;
        EXPECT_EQ(same_path_text(c.b, c.a), c.same) << c.b << " vs " << c.a;
    }
#ifdef _WIN32
    EXPECT_TRUE(same_path(path_from_utf8("c:\\ZARN/ZARN-Uninstall.exe"), path_from_utf8("C:\\ZARN\\ZARN-Uninstall.exe")));
#endif
}

TEST(ClientConfig, IsPrettyJsonWithTheClientsEscaping) {
    struct Case {
        std::string url, expected_string;
    };
    const Case cases[] = {
        {"https://updates.zarn.example", "\"https://updates.zarn.example\""},
        {"http://127.0.0.1:8080/a/b?c=d&e", "\"http://127.0.0.1:8080/a/b?c=d&e\""},
        {"q\"b\\s/", "\"q\\\"b\\\\s/\""},
        {std::string("\b\t\n\f\r\x01\x1f\x7f", 8), "\"\\b\\t\\n\\f\\r\\u0001\\u001f\x7f\""},
        {std::string("\0", 1), "\"\\u0000\""},
        {"https://обновления.зарн.рф/«ZARN» 😀\u2028", "\"https://обновления.зарн.рф/«ZARN» 😀\u2028\""},
        {"", "\"\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(client_config_text(c.url), "{\n  \"serverUrl\": " + c.expected_string + "\n}") << c.url;
    }
}

}  // namespace
}  // namespace zarn
