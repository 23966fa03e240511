#include "platform/os_error.h"

#include <windows.h>

#include <cwctype>
#include <string>

#include "platform/win32/wide.h"

namespace zarn::platform {

Error os_error(int code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!message.empty() && std::iswspace(message.back())) message.pop_back();
    return Error{narrow(message) + " (os error " + std::to_string(code) + ")"};
}

Error last_os_error() { return os_error(static_cast<int>(::GetLastError())); }

}  // namespace zarn::platform
