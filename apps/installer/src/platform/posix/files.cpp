#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/os_error.h"

namespace zarn::platform {
namespace {

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now, so that a failure of the close itself can be reported.
    Result<void> close() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return unexpected(last_os_error());
        return {};
    }

private:
    int fd_;
};

bool is_folder(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// 0, or the error code of the failed mkdir.
int make_folder(const std::filesystem::path& folder) { return ::mkdir(folder.c_str(), 0777) == 0 ? 0 : errno; }

Result<void> write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const auto written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return unexpected(last_os_error());
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

// The names in an open folder, without "." and "..". Takes its own copy of the descriptor.
Result<std::vector<std::string>> entry_names(int folder_fd) {
    const int copy = ::fcntl(folder_fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return unexpected(last_os_error());
    DIR* listing = ::fdopendir(copy);
    if (listing == nullptr) {
        const auto error = last_os_error();
        ::close(copy);
        return unexpected(error);
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    const int read_error = errno;
    ::closedir(listing);
    if (read_error != 0) return unexpected(os_error(read_error));
    return names;
}

void keep_first(Result<void>& first, Result<void> outcome) {
    if (first && !outcome) first = std::move(outcome);
}

// Empties the folder open as `folder_fd`. Every entry is looked at without following links,
// and sub-folders are opened with O_NOFOLLOW, so a link put in place meanwhile is not entered
// either. Goes on past failures and gives the first.
Result<void> remove_contents(int folder_fd) {
    auto names = entry_names(folder_fd);
    if (!names) return unexpected(names.error());
    Result<void> first;
    for (const auto& name : *names) {
        struct stat info {};
        if (::fstatat(folder_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            keep_first(first, unexpected(last_os_error()));
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            Descriptor child(::openat(folder_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!child.valid()) {
                keep_first(first, unexpected(last_os_error()));
                continue;
            }
            keep_first(first, remove_contents(child.get()));
            if (::unlinkat(folder_fd, name.c_str(), AT_REMOVEDIR) != 0) keep_first(first, unexpected(last_os_error()));
        } else if (::unlinkat(folder_fd, name.c_str(), 0) != 0) {
            keep_first(first, unexpected(last_os_error()));
        }
    }
    return first;
}

}  // namespace

Result<void> create_folders(const std::filesystem::path& folder) {
    if (folder.empty()) return {};
    int code = make_folder(folder);
    if (code == ENOENT) {
        const auto parent = folder.parent_path();
        if (parent.empty() || parent == folder) return unexpected(os_error(code));
        if (auto parents = create_folders(parent); !parents) return parents;
        code = make_folder(folder);
    }
    if (code == 0 || is_folder(folder)) return {};
    return unexpected(os_error(code));
}

Result<void> remove_file(const std::filesystem::path& file) {
    // Unlinking needs no write permission on the file itself, so read-only files go as well.
    if (::unlink(file.c_str()) != 0) return unexpected(last_os_error());
    return {};
}

Result<void> remove_tree(const std::filesystem::path& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return unexpected(last_os_error());
    if (S_ISLNK(info.st_mode)) return remove_file(folder);
    Descriptor open_folder(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!open_folder.valid()) return unexpected(last_os_error());
    Result<void> first = remove_contents(open_folder.get());
    if (::rmdir(folder.c_str()) != 0) keep_first(first, unexpected(last_os_error()));
    return first;
}

Result<void> copy_file_over(const std::filesystem::path& from, const std::filesystem::path& to) {
    Descriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.valid()) return unexpected(last_os_error());
    struct stat source_info {};
    if (::fstat(source.get(), &source_info) != 0) return unexpected(last_os_error());
    if (S_ISDIR(source_info.st_mode)) return unexpected(os_error(EISDIR));
    struct stat target_info {};
    if (::stat(to.c_str(), &target_info) == 0 && target_info.st_dev == source_info.st_dev &&
        target_info.st_ino == source_info.st_ino) {
        // Opening the target would empty the source: the copy is already there.
        return {};
    }
    const mode_t mode = source_info.st_mode & 07777;
    Descriptor target(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (!target.valid()) return unexpected(last_os_error());
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const auto count = ::read(source.get(), buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            return unexpected(last_os_error());
        }
        if (count == 0) break;
        if (auto written = write_all(target.get(), buffer.data(), static_cast<std::size_t>(count)); !written) {
            return written;
        }
    }
    if (::fchmod(target.get(), mode) != 0) return unexpected(last_os_error());
    return target.close();
}

Result<void> write_whole_file(const std::filesystem::path& file, std::string_view bytes) {
    Descriptor target(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!target.valid()) return unexpected(last_os_error());
    if (auto written = write_all(target.get(), bytes.data(), bytes.size()); !written) return written;
    return target.close();
}

bool is_existing_file(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool path_exists(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace zarn::platform
