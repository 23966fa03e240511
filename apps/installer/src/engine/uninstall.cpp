#include "engine/uninstall.h"

#include <initializer_list>
#include <optional>
#include <string_view>

#include "engine/client_files.h"
#include "engine/install_folder.h"
#include "engine/path_join.h"
#include "engine/registration.h"
#include "engine/user_folders.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/process.h"

namespace zarn {
namespace {

void remove_shortcut(const std::optional<std::filesystem::path>& shortcut) {
    if (shortcut) (void)platform::remove_file(*shortcut);
}

// Every removal is tried whatever became of the one before; what cannot go stays.
void remove_client_files(const std::filesystem::path& folder) {
    for (const auto name : {client::kProgram, client::kOldProgram, client::kDesktopProgram, client::kConfig,
                            client::kPartialDownload}) {
        (void)platform::remove_file(join_path(folder, name));
    }
    (void)platform::remove_tree(join_path(folder, client::kUpdatesFolder));
}

}  // namespace

void run_uninstall(IpcCommand command, Proxy proxy) {
    const auto folder = chosen_install_folder(command.install_dir);

    send_progress(proxy, "Завершение процессов ZARN…", 20, "Останавливаем запущенный клиент", kWorking);
    (void)platform::run_program("taskkill", {"/IM", std::string(client::kProgram), "/F"});

    send_progress(proxy, "Удаление ярлыков и записей реестра…", 55, "Очистка меню «Пуск», рабочего стола и zarn://",
                  kWorking);
    remove_shortcut(desktop_shortcut_path());
    remove_shortcut(start_menu_shortcut_path());
    (void)unregister_client();

    send_progress(proxy, "Удаление файлов приложения…", 85, platform::path_to_utf8(folder), kWorking);
    remove_client_files(folder);

    send_progress(proxy, "ZARN удалён", 100, "Все файлы клиента и ярлыки успешно удалены.", kDone);
}

}  // namespace zarn
