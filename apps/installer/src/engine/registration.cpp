#include "engine/registration.h"

#include "engine/client_files.h"
#include "engine/powershell.h"

namespace zarn {
namespace {

constexpr std::string_view kRemoveAutostart =
    "Remove-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' -Name 'ZARN' "
    "-ErrorAction SilentlyContinue;";

std::string autostart_statement(bool autostart, const std::string& client) {
    if (!autostart) return std::string(kRemoveAutostart);
    return "New-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' -Name 'ZARN' "
           "-Value '\"" +
           client + "\"' -PropertyType String -Force | Out-Null;";
}

}  // namespace

const std::string_view kRegistryRemovalCommand =
    "Remove-Item -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZARN' -Recurse -Force "
    "-ErrorAction SilentlyContinue; "
    "Remove-Item -Path 'HKCU:\\Software\\Classes\\zarn' -Recurse -Force -ErrorAction SilentlyContinue; "
    "Remove-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' -Name 'ZARN' "
    "-ErrorAction SilentlyContinue;";

std::string registration_command(const std::filesystem::path& install_dir, const std::filesystem::path& client,
                                 const std::filesystem::path& uninstaller, bool autostart) {
    const std::string dir = quote_for_powershell(install_dir);
    const std::string exe = quote_for_powershell(client);
    const std::string uninstall = quote_for_powershell(uninstaller);
    const std::string version(client::kSetupVersion);
    return "$u = 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZARN'; "
           "New-Item -Path $u -Force | Out-Null; "
           "Set-ItemProperty -Path $u -Name 'DisplayName' -Value 'ZARN'; "
           "Set-ItemProperty -Path $u -Name 'DisplayVersion' -Value '" + version + "'; "
           "Set-ItemProperty -Path $u -Name 'Publisher' -Value 'ZARN'; "
           "Set-ItemProperty -Path $u -Name 'InstallLocation' -Value '" + dir + "'; "
           "Set-ItemProperty -Path $u -Name 'DisplayIcon' -Value '" + exe + "'; "
           "Set-ItemProperty -Path $u -Name 'UninstallString' -Value '\"" + uninstall + "\" --uninstall'; "
           "Set-ItemProperty -Path $u -Name 'NoModify' -Value 1 -Type DWord; "
           "Set-ItemProperty -Path $u -Name 'NoRepair' -Value 1 -Type DWord; "
           "$p = 'HKCU:\\Software\\Classes\\zarn'; "
           "New-Item -Path \"$p\\shell\\open\\command\" -Force | Out-Null; "
           "Set-ItemProperty -Path $p -Name '(default)' -Value 'URL:ZARN Protocol'; "
           "Set-ItemProperty -Path $p -Name 'URL Protocol' -Value ''; "
           "Set-ItemProperty -Path \"$p\\shell\\open\\command\" -Name '(default)' -Value '\"" + exe + "\" \"%1\"'; " +
           autostart_statement(autostart, exe);
}

Result<std::uint32_t> register_client(const std::filesystem::path& install_dir, const std::filesystem::path& client,
                                      const std::filesystem::path& uninstaller, bool autostart) {
    return run_hidden_powershell(registration_command(install_dir, client, uninstaller, autostart));
}

Result<std::uint32_t> unregister_client() { return run_hidden_powershell(kRegistryRemovalCommand); }

}  // namespace zarn
