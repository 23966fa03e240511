#include <windows.h>

#include <array>
#include <charconv>
#include <cwctype>
#include <string>

#include "platform/os_error.h"
#include "platform/win32/wide.h"
#include "toolkit/win32/win32_backend.h"

namespace zarn::toolkit::win32 {

Error hresult_error(HRESULT result) {
    if (HRESULT_FACILITY(result) == FACILITY_WIN32) return platform::os_error(HRESULT_CODE(result));

    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr) LocalFree(buffer);
    while (!message.empty() && std::iswspace(message.back())) message.pop_back();

    std::array<char, 8> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), static_cast<unsigned long>(result), 16).ptr;
    const std::string hex = std::string(8 - static_cast<std::size_t>(end - digits.data()), '0') + std::string(digits.data(), end);
    const std::string code = "(HRESULT 0x" + hex + ")";
    return Error{message.empty() ? code : platform::narrow(message) + " " + code};
}

}  // namespace zarn::toolkit::win32
