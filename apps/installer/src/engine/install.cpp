#include "engine/install.h"

#include <chrono>
#include <optional>
#include <string_view>
#include <thread>

#include "engine/client_config.h"
#include "engine/client_files.h"
#include "engine/download.h"
#include "engine/install_folder.h"
#include "engine/path_compare.h"
#include "engine/path_join.h"
#include "engine/registration.h"
#include "engine/shortcut.h"
#include "engine/user_folders.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/process.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

// Time for ended clients to let go of their files.
constexpr std::chrono::milliseconds kPauseAfterEndingClients{300};

constexpr std::string_view kAlmostDone = "Почти готово";

void end_running_clients() {
    for (const auto program : {client::kProgram, client::kDesktopProgram}) {
        (void)platform::run_program("taskkill", {"/IM", std::string(program), "/F"});
    }
    std::this_thread::sleep_for(kPauseAfterEndingClients);
}

void remove_stale_files(const fs::path& folder) {
    (void)platform::remove_file(join_path(folder, client::kDesktopProgram));
    (void)platform::remove_file(join_path(folder, client::kOldProgram));
    (void)platform::remove_tree(join_path(folder, client::kDesktopWebViewFolder));
    // What a download cut off by a closed window left behind.
    (void)platform::remove_file(join_path(folder, client::kPartialDownload));
}

// "zarn.exe" beside the setup program, else in its "payload" folder.
std::optional<fs::path> find_local_package(const Result<fs::path>& setup_program) {
    if (!setup_program) return std::nullopt;
    const auto folder = setup_program->parent_path();
    // An empty parent would mean the current folder, where anything may have been put.
    if (folder.empty()) return std::nullopt;
    for (const auto& candidate :
         {join_path(folder, client::kProgram), join_path(join_path(folder, client::kPayloadFolder), client::kProgram)}) {
        if (platform::is_existing_file(candidate)) return candidate;
    }
    return std::nullopt;
}

// Puts the client program in place; false once the failure has been reported.
bool place_client(const fs::path& client_path, const Proxy& proxy, const InstallContext& context) {
    const auto package = find_local_package(context.running_program());
    if (!package) return download_client(proxy, context.server_url, client_path, context.agent);
    send_progress(proxy, "Копирование клиента ZARN…", 45, "Установка из локального пакета", kWorking);
    if (const auto copied = platform::copy_file_over(*package, client_path); !copied) {
        send_progress(proxy, "Ошибка копирования", 45, "Не удалось скопировать клиент: " + copied.error().text, kError);
        return false;
    }
    return true;
}

// The setup program stays in the folder as the uninstaller, unless it already runs from there.
void copy_uninstaller(const fs::path& uninstaller, const InstallContext& context) {
    const auto setup_program = context.running_program();
    if (!setup_program || same_path(*setup_program, uninstaller)) return;
    (void)platform::copy_file_over(*setup_program, uninstaller);
}

void create_chosen_shortcuts(const IpcCommand& command, const fs::path& client_path, const fs::path& folder) {
    if (command.desktop_shortcut) {
        if (const auto link = desktop_shortcut_path()) (void)create_shortcut(*link, client_path, folder);
    }
    if (command.start_menu_shortcut) {
        if (const auto link = start_menu_shortcut_path()) (void)create_shortcut(*link, client_path, folder);
    }
}

// A failed registration is told, but the client is installed all the same.
void register_with_windows(const IpcCommand& command, const fs::path& folder, const fs::path& client_path,
                           const fs::path& uninstaller, const Proxy& proxy) {
    const auto outcome = register_client(folder, client_path, uninstaller, command.autostart);
    if (!outcome) {
        send_progress(proxy, kAlmostDone, 96, "Ошибка регистрации в системе: " + outcome.error().text, kWorking);
    } else if (*outcome != 0) {
        send_progress(proxy, kAlmostDone, 96, "Не удалось записать ключи реестра HKCU", kWorking);
    }
}

}  // namespace

void install_client(const IpcCommand& command, const Proxy& proxy, const InstallContext& context) {
    const auto folder = chosen_install_folder(command.install_dir);
    const auto client_path = join_path(folder, client::kProgram);
    const auto uninstaller = join_path(folder, client::kUninstaller);

    send_progress(proxy, "Подготовка установки…", 10, "Закрываем запущенные копии ZARN", kWorking);
    end_running_clients();

    send_progress(proxy, "Создание директории…", 16, platform::path_to_utf8(folder), kWorking);
    if (const auto created = platform::create_folders(folder); !created) {
        send_progress(proxy, "Ошибка установки", 16, "Не удалось создать папку: " + created.error().text, kError);
        return;
    }
    remove_stale_files(folder);
    if (!place_client(client_path, proxy, context)) return;

    send_progress(proxy, "Сохранение конфигурации…", 74, "Запись config.json и деинсталлятора", kWorking);
    (void)platform::write_whole_file(join_path(folder, client::kConfig), client_config_text(context.server_url));
    copy_uninstaller(uninstaller, context);

    send_progress(proxy, "Создание ярлыков…", 84, "Рабочий стол и меню «Пуск»", kWorking);
    create_chosen_shortcuts(command, client_path, folder);

    send_progress(proxy, "Регистрация ZARN в Windows…", 94, "Протокол zarn:// и список приложений", kWorking);
    register_with_windows(command, folder, client_path, uninstaller, proxy);

    (void)proxy.post(Installed{client_path});
    send_progress(proxy, "ZARN успешно установлен!", 100, "Обновления будут загружаться автоматически при запуске.",
                  kDone);
}

void run_install(IpcCommand command, Proxy proxy) {
    const InstallContext context{ZARN_UPDATE_SERVER_URL, platform::current_program_path, {}};
    install_client(command, proxy, context);
}

}  // namespace zarn
