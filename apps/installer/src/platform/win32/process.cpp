#include "platform/process.h"

#include <windows.h>

#include <array>

#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/os_error.h"
#include "platform/path_text.h"
#include "platform/win32/wide.h"

namespace zarn::platform {
namespace {

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept : handle_(other.release()) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }
    HANDLE get() const { return handle_; }
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void reset() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

bool is_file(const std::filesystem::path& candidate) {
    const DWORD attributes = ::GetFileAttributesW(candidate.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::filesystem::path system_folder(UINT (*query)(LPWSTR, UINT)) {
    std::array<wchar_t, MAX_PATH + 1> buffer{};
    const UINT length = query(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return {};
    return std::filesystem::path(std::wstring(buffer.data(), length));
}

UINT windows_folder(LPWSTR buffer, UINT size) { return ::GetWindowsDirectoryW(buffer, size); }
UINT system32_folder(LPWSTR buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); }

std::vector<std::filesystem::path> search_folders() {
    std::vector<std::filesystem::path> folders{system_folder(system32_folder), system_folder(windows_folder)};
    if (const auto search_path = environment_variable("PATH")) {
        for (const auto& folder : windows_path_list_folders(*search_path)) folders.emplace_back(widen(folder));
    }
    return folders;
}

// Duplicates one of our standard handles so that the child can inherit it.
Handle inheritable(DWORD which) {
    HANDLE source = ::GetStdHandle(which);
    if (source == nullptr || source == INVALID_HANDLE_VALUE) return {};
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), source, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS)) {
        return {};
    }
    return Handle(copy);
}

// The null device, inheritable: what is written to it is gone.
Handle null_device() {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE device = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                  0, nullptr);
    return device == INVALID_HANDLE_VALUE ? Handle() : Handle(device);
}

struct ChildHandles {
    Handle input = inheritable(STD_INPUT_HANDLE);
    Handle output = inheritable(STD_OUTPUT_HANDLE);
    Handle error = inheritable(STD_ERROR_HANDLE);
};

Result<Handle> create_process(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                              ChildHandles& handles) {
    std::wstring command_line = widen(windows_command_line(path_to_utf8(program), arguments));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = handles.input.get();
    startup.hStdOutput = handles.output.get();
    startup.hStdError = handles.error.get();
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                          nullptr, nullptr, &startup, &info)) {
        return unexpected(last_os_error());
    }
    ::CloseHandle(info.hThread);
    return Handle(info.hProcess);
}

Result<std::uint32_t> wait_for(const Handle& process) {
    if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return unexpected(last_os_error());
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.get(), &code)) return unexpected(last_os_error());
    return static_cast<std::uint32_t>(code);
}

}  // namespace

Result<std::filesystem::path> find_program(std::string_view bare_name) {
    const std::wstring file_name = widen(bare_name) + L".exe";
    for (const auto& folder : search_folders()) {
        // A relative entry (".", "bin", "\bin", "C:bin") would search from the current folder or drive.
        if (!folder.is_absolute()) continue;
        auto candidate = folder / file_name;
        if (is_file(candidate)) return candidate;
    }
    return unexpected(Error{"program not found"});
}

Result<std::uint32_t> run_program(std::string_view bare_name, const std::vector<std::string>& arguments) {
    const auto program = find_program(bare_name);
    if (!program) return unexpected(program.error());
    ChildHandles handles;
    const auto process = create_process(*program, arguments, handles);
    if (!process) return unexpected(process.error());
    return wait_for(*process);
}

Result<CapturedRun> run_program_capturing_output(std::string_view bare_name,
                                                 const std::vector<std::string>& arguments) {
    const auto program = find_program(bare_name);
    if (!program) return unexpected(program.error());
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) return unexpected(last_os_error());
    Handle reader(read_end);
    ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    ChildHandles handles;
    handles.output = Handle(write_end);
    handles.error = null_device();
    const auto process = create_process(*program, arguments, handles);
    handles.output.reset();  // the child holds the only write end now, so reading ends with it
    if (!process) return unexpected(process.error());
    CapturedRun run;
    std::array<char, 4096> buffer{};
    DWORD count = 0;
    while (::ReadFile(reader.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr) && count > 0) {
        run.standard_output.append(buffer.data(), count);
    }
    const auto code = wait_for(*process);
    if (!code) return unexpected(code.error());
    run.exit_code = *code;
    return run;
}

Result<void> start_detached(const std::filesystem::path& program) {
    ChildHandles handles;
    const auto process = create_process(program, {}, handles);
    if (!process) return unexpected(process.error());
    return {};
}

Result<std::filesystem::path> current_program_path() {
    std::wstring buffer(MAX_PATH, L'\0');
    while (true) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return unexpected(last_os_error());
        if (length < buffer.size()) {
            buffer.resize(length);
            return std::filesystem::path(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace zarn::platform
