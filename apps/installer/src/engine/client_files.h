#pragma once

#include <string_view>

// What the setup program fixes about the ZARN client it installs and what lies beside it.
namespace zarn::client {

inline constexpr std::string_view kProgram = "zarn.exe";
inline constexpr std::string_view kDesktopProgram = "zarn-desktop.exe";
inline constexpr std::string_view kOldProgram = "zarn.exe.old";
inline constexpr std::string_view kDesktopWebViewFolder = "zarn-desktop.exe.WebView2";
inline constexpr std::string_view kPartialDownload = "zarn.exe.download";
inline constexpr std::string_view kConfig = "config.json";
inline constexpr std::string_view kUpdatesFolder = "updates";
inline constexpr std::string_view kUninstaller = "ZARN-Uninstall.exe";
inline constexpr std::string_view kPayloadFolder = "payload";

// The version of this setup program, told to the page and written to the registry.
inline constexpr std::string_view kSetupVersion = "0.3.4";

}  // namespace zarn::client
