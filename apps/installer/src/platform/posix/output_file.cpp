#include "platform/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/os_error.h"

namespace zarn::platform {

struct OutputFile::Handle {
    int fd = -1;
};

OutputFile::OutputFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;
OutputFile::~OutputFile() { (void)close(); }

Result<OutputFile> OutputFile::create(const std::filesystem::path& path) {
    // What is written this way is a program, to be started like one once in place.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0777);
    if (fd < 0) return unexpected(last_os_error());
    return OutputFile(std::make_unique<Handle>(Handle{fd}));
}

Result<void> OutputFile::write_all(const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(handle_->fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return unexpected(last_os_error());
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

Result<void> OutputFile::close() {
    if (!handle_ || handle_->fd < 0) return {};
    const int fd = handle_->fd;
    handle_->fd = -1;
    if (::close(fd) != 0) return unexpected(last_os_error());
    return {};
}

Result<void> move_file_over(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) return unexpected(last_os_error());
    return {};
}

}  // namespace zarn::platform
