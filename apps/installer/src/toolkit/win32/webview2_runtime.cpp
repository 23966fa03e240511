#include "toolkit/win32/webview2_runtime.h"

#include <bit>
#include <charconv>
#include <memory>
#include <type_traits>

#include "platform/os_error.h"
#include "platform/win32/wide.h"

namespace zarn::toolkit::win32 {
namespace {

constexpr char kEntryPoint[] = "CreateWebViewEnvironmentWithOptionsInternal";

std::optional<unsigned> parse_number(std::wstring_view digits) {
    if (digits.empty() || digits.size() > 10) return std::nullopt;
    unsigned long long value = 0;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    if (value > 0xffffffffULL) return std::nullopt;
    return static_cast<unsigned>(value);
}

std::wstring_view last_component(std::wstring_view folder) {
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.remove_suffix(1);
    const std::size_t separator = folder.find_last_of(L"\\/");
    return separator == std::wstring_view::npos ? folder : folder.substr(separator + 1);
}

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// The folder one registration names; nothing when the key or the value is missing or empty.
std::optional<std::wstring> registered_folder(HKEY root) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, kRuntimeClientStateKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const Key key(opened);
    DWORD bytes = 0;
    if (RegGetValueW(key.get(), nullptr, kRuntimeFolderValue, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(key.get(), nullptr, kRuntimeFolderValue, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(wcsnlen(text.c_str(), text.size()));
    if (text.empty()) return std::nullopt;
    return text;
}

std::vector<std::wstring> registered_folders() {
    std::vector<std::wstring> folders;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        if (auto folder = registered_folder(root)) folders.push_back(std::move(*folder));
    }
    return folders;
}

}  // namespace

std::optional<RuntimeVersion> parse_runtime_version(std::wstring_view text) {
    RuntimeVersion version;
    for (std::size_t index = 0; index < version.parts.size(); ++index) {
        const std::size_t dot = text.find(L'.');
        const bool last = index + 1 == version.parts.size();
        if (last != (dot == std::wstring_view::npos)) return std::nullopt;
        const auto number = parse_number(text.substr(0, dot));
        if (!number) return std::nullopt;
        version.parts[index] = *number;
        text = last ? std::wstring_view() : text.substr(dot + 1);
    }
    return version;
}

std::string version_text(const RuntimeVersion& version) {
    std::string text;
    for (const unsigned part : version.parts) {
        std::array<char, 16> digits{};
        const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), part).ptr;
        if (!text.empty()) text += '.';
        text.append(digits.data(), end);
    }
    return text;
}

std::optional<RuntimeVersion> version_of_folder(std::wstring_view folder) {
    return parse_runtime_version(last_component(folder));
}

std::wstring runtime_dll_path(std::wstring_view folder) {
    std::wstring path(folder);
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + L"EBWebView\\x64\\EmbeddedBrowserWebView.dll";
}

Result<ChosenRuntime> choose_runtime(const std::vector<std::wstring>& registered_folders) {
    std::optional<RuntimeVersion> newest_too_old;
    const std::wstring* without_version = nullptr;
    for (const std::wstring& folder : registered_folders) {
        const auto version = version_of_folder(folder);
        if (!version) {
            if (without_version == nullptr) without_version = &folder;
        } else if (*version < kMinimumRuntimeVersion) {
            if (!newest_too_old || *newest_too_old < *version) newest_too_old = version;
        } else {
            return ChosenRuntime{folder, *version};
        }
    }
    if (newest_too_old) {
        return unexpected(Error{"the installed WebView2 runtime " + version_text(*newest_too_old) + " is too old: " +
                                version_text(kMinimumRuntimeVersion) + " or later is needed"});
    }
    if (without_version != nullptr) {
        return unexpected(Error{"no WebView2 runtime is installed: the registered folder " +
                                platform::narrow(*without_version) + " names no version"});
    }
    return unexpected(Error{"no WebView2 runtime is installed"});
}

Result<RuntimeEntry> load_installed_runtime() {
    auto chosen = choose_runtime(registered_folders());
    if (!chosen) return unexpected(chosen.error());
    const std::wstring dll = runtime_dll_path(chosen->folder);
    // Its own dependencies come from its folder and the system folder only: the default
    // directories would include the program's folder, often a Downloads folder.
    HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        return unexpected(Error{"the WebView2 runtime " + platform::narrow(dll) + " could not be loaded: " +
                                platform::last_os_error().text});
    }
    const FARPROC entry = GetProcAddress(module, kEntryPoint);
    if (entry == nullptr) {
        const Error missing = platform::last_os_error();
        FreeLibrary(module);
        return unexpected(Error{"the WebView2 runtime " + platform::narrow(dll) + " has no " + kEntryPoint + ": " +
                                missing.text});
    }
    return RuntimeEntry{std::bit_cast<webview2::CreateWebViewEnvironment>(entry)};
}

}  // namespace zarn::toolkit::win32
