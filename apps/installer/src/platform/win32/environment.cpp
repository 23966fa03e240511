#include "platform/environment.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide.h"

namespace zarn::platform {

std::optional<std::string> environment_variable(std::string_view name) {
    const std::wstring wide_name = widen(name);
    ::SetLastError(ERROR_SUCCESS);
    const DWORD needed = ::GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
    if (needed == 0) {
        // An empty value also reports 0, but leaves the last error clear.
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    std::vector<wchar_t> buffer(needed);
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), buffer.data(), needed);
    // An empty value gives 0 as well, without an error.
    if ((length == 0 && ::GetLastError() != ERROR_SUCCESS) || length >= needed) return std::nullopt;
    const std::wstring_view value(buffer.data(), length);
    if (!is_valid_wide(value)) return std::nullopt;
    return narrow(value);
}

}  // namespace zarn::platform
