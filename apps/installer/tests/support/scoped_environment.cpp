#include "support/scoped_environment.h"

#include <algorithm>
#include <cstdlib>

#include "platform/path_text.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/wide.h"
#endif

namespace zarn::test {
namespace {

using NativeText = ScopedEnvironment::NativeText;

#ifdef _WIN32
std::optional<NativeText> read_native(const std::string& name) {
    const std::wstring wide = platform::widen(name);
    ::SetLastError(ERROR_SUCCESS);
    const DWORD needed = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (needed == 0) {
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return NativeText();
    }
    NativeText value(needed, L'\0');
    value.resize(std::min<DWORD>(::GetEnvironmentVariableW(wide.c_str(), value.data(), needed), needed));
    return value;
}

void write_native(const std::string& name, const std::optional<NativeText>& value) {
    ::SetEnvironmentVariableW(platform::widen(name).c_str(), value ? value->c_str() : nullptr);
}
#else
std::optional<NativeText> read_native(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return NativeText(value);
}

void write_native(const std::string& name, const std::optional<NativeText>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}
#endif

}  // namespace

void ScopedEnvironment::remember(const std::string& name) {
    const bool known =
        std::any_of(saved_.begin(), saved_.end(), [&](const auto& entry) { return entry.first == name; });
    if (!known) saved_.emplace_back(name, read_native(name));
}

ScopedEnvironment::~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) write_native(it->first, it->second);
}

void ScopedEnvironment::set(const std::string& name, const std::string& utf8_value) {
    set_native(name, platform::path_from_utf8(utf8_value).native());
}

void ScopedEnvironment::set_native(const std::string& name, const NativeText& value) {
    remember(name);
    write_native(name, value);
}

void ScopedEnvironment::unset(const std::string& name) {
    remember(name);
    write_native(name, std::nullopt);
}

}  // namespace zarn::test
