#pragma once

#include <windows.h>

#include <array>
#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "toolkit/win32/webview2_interfaces.h"

// Finds the Evergreen WebView2 runtime the machine has installed and loads it by full path:
// the job Microsoft's loader DLL does for other programs, which this one never loads.
namespace zarn::toolkit::win32 {

// A runtime's version, major.minor.build.patch, as its installation folder is named.
struct RuntimeVersion {
    std::array<unsigned, 4> parts{};
    auto operator<=>(const RuntimeVersion&) const = default;
};

// The first generally available runtime: it has the environment, controller, view and
// settings interfaces the web view cannot do without (later settings are used when present).
inline constexpr RuntimeVersion kMinimumRuntimeVersion{{86, 0, 616, 0}};

// Where the runtime's installer records the folder of the stable channel's runtime, under
// HKEY_LOCAL_MACHINE (installed for the machine) or HKEY_CURRENT_USER (for one user), in
// the 32-bit view of the registry.
inline constexpr wchar_t kRuntimeClientStateKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
inline constexpr wchar_t kRuntimeFolderValue[] = L"EBWebView";

// Exactly four decimal numbers joined by dots, each fitting 32 bits.
std::optional<RuntimeVersion> parse_runtime_version(std::wstring_view text);
std::string version_text(const RuntimeVersion& version);

// The version a runtime folder's last component names; a trailing separator is passed over.
std::optional<RuntimeVersion> version_of_folder(std::wstring_view folder);

// The runtime's DLL for a 64-bit program: "{folder}\EBWebView\x64\EmbeddedBrowserWebView.dll".
std::wstring runtime_dll_path(std::wstring_view folder);

struct ChosenRuntime {
    std::wstring folder;
    RuntimeVersion version;
};

// The first of the registered folders (machine-wide first, then the user's) whose version is
// at least the minimum; otherwise why there is none: nothing registered, only runtimes that
// are too old, or folders that name no version.
Result<ChosenRuntime> choose_runtime(const std::vector<std::wstring>& registered_folders);

// The chosen runtime, loaded: its DLL stays loaded for the life of the process, as the
// runtime's objects live in it.
struct RuntimeEntry {
    webview2::CreateWebViewEnvironment create_environment = nullptr;
};

// Reads the registrations, chooses a runtime and loads its DLL by full path, its own
// dependencies taken from its folder and the system folder only.
Result<RuntimeEntry> load_installed_runtime();

}  // namespace zarn::toolkit::win32
