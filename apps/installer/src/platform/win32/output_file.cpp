#include "platform/output_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/os_error.h"

namespace zarn::platform {

struct OutputFile::Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
};

OutputFile::OutputFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;
OutputFile::~OutputFile() { (void)close(); }

Result<OutputFile> OutputFile::create(const std::filesystem::path& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return unexpected(last_os_error());
    return OutputFile(std::make_unique<Handle>(Handle{file}));
}

Result<void> OutputFile::write_all(const char* bytes, std::size_t size) {
    while (size > 0) {
        const DWORD slice = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(handle_->file, bytes, slice, &written, nullptr)) return unexpected(last_os_error());
        bytes += written;
        size -= written;
    }
    return {};
}

Result<void> OutputFile::close() {
    if (!handle_ || handle_->file == INVALID_HANDLE_VALUE) return {};
    const HANDLE file = handle_->file;
    handle_->file = INVALID_HANDLE_VALUE;
    if (!::CloseHandle(file)) return unexpected(last_os_error());
    return {};
}

Result<void> move_file_over(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return unexpected(last_os_error());
    }
    return {};
}

}  // namespace zarn::platform
