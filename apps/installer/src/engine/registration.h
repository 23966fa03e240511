#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/result.h"

// The client's entries under HKCU: the list of installed applications, the "zarn://"
// protocol and the start with Windows, each written or removed by one PowerShell run.
namespace zarn {

std::string registration_command(const std::filesystem::path& install_dir, const std::filesystem::path& client,
                                 const std::filesystem::path& uninstaller, bool autostart);

extern const std::string_view kRegistryRemovalCommand;

Result<std::uint32_t> register_client(const std::filesystem::path& install_dir, const std::filesystem::path& client,
                                      const std::filesystem::path& uninstaller, bool autostart);

Result<std::uint32_t> unregister_client();

}  // namespace zarn
