#include "engine/shortcut.h"

#include "engine/powershell.h"

namespace zarn {

std::string shortcut_script(const std::filesystem::path& link, const std::filesystem::path& target,
                            const std::filesystem::path& working_folder) {
    const std::string quoted_link = quote_for_powershell(link);
    const std::string quoted_target = quote_for_powershell(target);
    const std::string quoted_folder = quote_for_powershell(working_folder);
    return "$ws = New-Object -ComObject WScript.Shell; $s = $ws.CreateShortcut('" + quoted_link +
           "'); $s.TargetPath = '" + quoted_target + "'; $s.IconLocation = '" + quoted_target +
           ",0'; $s.WorkingDirectory = '" + quoted_folder + "'; $s.Description = 'ZARN'; $s.Save()";
}

Result<void, std::string> create_shortcut(const std::filesystem::path& link, const std::filesystem::path& target,
                                          const std::filesystem::path& working_folder) {
    const auto outcome = run_hidden_powershell(shortcut_script(link, target, working_folder));
    if (!outcome) return unexpected("Не удалось создать ярлык: " + outcome.error().text);
    if (*outcome != 0) return unexpected(std::string("Ошибка создания ярлыка Windows"));
    return {};
}

}  // namespace zarn
