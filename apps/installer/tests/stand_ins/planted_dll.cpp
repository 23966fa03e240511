// A DLL as an attacker would leave it beside a downloaded program or in the current folder,
// under the name of a DLL that program loads. It exports nothing and only records that it
// was loaded: on attach it creates "{its own path}.loaded". A program that took it would break
// at its first call into it; the record says which copy was taken, even when it did not.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return TRUE;
    path.resize(length);
    path += L".loaded";
    HANDLE record = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (record != INVALID_HANDLE_VALUE) CloseHandle(record);
    return TRUE;
}
