#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zarn::test {

// Sets or removes environment variables for one test and restores them afterwards.
class ScopedEnvironment {
public:
    // Values in the platform's own form (UTF-16 on Windows), so that restoring is exact and a
    // test can set a value that is not valid Unicode.
    using NativeText = std::filesystem::path::string_type;

    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    void set(const std::string& name, const std::string& utf8_value);
    void set_native(const std::string& name, const NativeText& value);
    void unset(const std::string& name);

private:
    void remember(const std::string& name);
    std::vector<std::pair<std::string, std::optional<NativeText>>> saved_;
};

}  // namespace zarn::test
