#include "support/links.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <string>
#endif

namespace zarn::test {

#ifdef _WIN32
namespace {

bool is_link(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The Unix name of a Windows path, as Wine maps it.
std::wstring unix_name(const std::filesystem::path& path) {
    using Convert = char* (*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return {};
    char* name = convert(path.c_str());
    if (name == nullptr) return {};
    const std::string narrow(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return std::wstring(narrow.begin(), narrow.end());
}

// Runs the host's "ln -s" through Wine, which starts Unix programs too (but cannot wait for them).
bool make_unix_link(const std::filesystem::path& link, const std::filesystem::path& target) {
    const std::wstring unix_link = unix_name(link);
    const std::wstring unix_target = unix_name(target);
    if (unix_link.empty() || unix_target.empty()) return false;
    std::wstring command = L"ln -s \"" + unix_target + L"\" \"" + unix_link + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(L"Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return false;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    // Wine cannot wait for a Unix process: watch for its work instead.
    for (int tries = 0; tries < 500; ++tries) {
        if (is_link(link)) return true;
        ::Sleep(10);
    }
    return false;
}

}  // namespace

bool running_under_wine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

bool make_folder_link(const std::filesystem::path& link, const std::filesystem::path& target) {
    const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) && is_link(link)) return true;
    return running_under_wine() && make_unix_link(link, target);
}

bool make_file_link(const std::filesystem::path& link, const std::filesystem::path& target) {
    // Under Wine a link to a file does not even look like a link, and deleting it deletes
    // the target: no test can use one there.
    if (running_under_wine()) return false;
    return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
           is_link(link);
}
#else
bool running_under_wine() { return false; }

bool make_folder_link(const std::filesystem::path& link, const std::filesystem::path& target) {
    std::error_code error;
    std::filesystem::create_directory_symlink(target, link, error);
    return !error;
}

bool make_file_link(const std::filesystem::path& link, const std::filesystem::path& target) {
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    return !error;
}
#endif

}  // namespace zarn::test
