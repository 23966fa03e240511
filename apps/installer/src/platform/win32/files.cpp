#include "platform/files.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/os_error.h"

namespace zarn::platform {
namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (valid()) ::CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

private:
    HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Error error_of(DWORD code) { return os_error(static_cast<int>(code)); }

bool has(DWORD attributes, DWORD flag) { return attributes != INVALID_FILE_ATTRIBUTES && (attributes & flag) != 0; }

// Opens what the path finally names (links followed), for reading its attributes only.
Handle open_followed(const std::filesystem::path& path) {
    return Handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool is_folder(const std::filesystem::path& path) {
    const Handle handle = open_followed(path);
    BY_HANDLE_FILE_INFORMATION info{};
    return handle.valid() && ::GetFileInformationByHandle(handle.get(), &info) &&
           has(info.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
}

// 0, or the error code of the failed CreateDirectoryW.
DWORD make_folder(const std::filesystem::path& folder) {
    return ::CreateDirectoryW(folder.c_str(), nullptr) ? 0 : ::GetLastError();
}

// Runs `remove` once more with the read-only mark cleared when that mark is what refused it,
// putting the mark back should the second try fail as well.
template <class Remove>
DWORD remove_even_read_only(const std::filesystem::path& path, Remove remove) {
    if (remove()) return 0;
    const DWORD code = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (code != ERROR_ACCESS_DENIED || !has(attributes, FILE_ATTRIBUTE_READONLY)) return code;
    if (!::SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY))) return code;
    if (remove()) return 0;
    const DWORD second = ::GetLastError();
    ::SetFileAttributesW(path.c_str(), attributes);
    return second;
}

Result<void> remove_empty_folder(const std::filesystem::path& folder) {
    const DWORD code = remove_even_read_only(folder, [&] { return ::RemoveDirectoryW(folder.c_str()) != 0; });
    if (code != 0) return unexpected(error_of(code));
    return {};
}

// Deletes a symbolic link or junction itself. The handle is opened on the link, never on its
// target, and checked to be the link: where the system cannot open links themselves (it
// quietly opens the target instead), nothing is deleted.
Result<void> remove_link(const std::filesystem::path& link) {
    const Handle handle(::CreateFileW(link.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) return unexpected(last_os_error());
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        return unexpected(last_os_error());
    }
    if (!has(tag.FileAttributes, FILE_ATTRIBUTE_REPARSE_POINT)) return unexpected(error_of(ERROR_NOT_A_REPARSE_POINT));
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!::SetFileInformationByHandle(handle.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
        return unexpected(last_os_error());
    }
    return {};
}

struct Entry {
    std::wstring name;
    DWORD attributes;
};

Result<std::vector<Entry>> entries_of(const std::filesystem::path& folder) {
    const std::wstring pattern = (folder / L"*").native();
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return unexpected(last_os_error());
    std::vector<Entry> entries;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") entries.push_back({name, found.dwFileAttributes});
    } while (::FindNextFileW(search, &found));
    const DWORD code = ::GetLastError();
    ::FindClose(search);
    if (code != ERROR_NO_MORE_FILES) return unexpected(error_of(code));
    return entries;
}

void keep_first(Result<void>& first, Result<void> outcome) {
    if (first && !outcome) first = std::move(outcome);
}

// Empties a folder. A reparse point (symbolic link, junction) is removed as a link and never
// entered. Goes on past failures and gives the first.
Result<void> remove_contents(const std::filesystem::path& folder) {
    auto entries = entries_of(folder);
    if (!entries) return unexpected(entries.error());
    Result<void> first;
    for (const auto& entry : *entries) {
        const auto child = folder / entry.name;
        if (has(entry.attributes, FILE_ATTRIBUTE_REPARSE_POINT)) {
            keep_first(first, remove_link(child));
        } else if (has(entry.attributes, FILE_ATTRIBUTE_DIRECTORY)) {
            keep_first(first, remove_contents(child));
            keep_first(first, remove_empty_folder(child));
        } else {
            keep_first(first, remove_file(child));
        }
    }
    return first;
}

}  // namespace

Result<void> create_folders(const std::filesystem::path& folder) {
    if (folder.empty()) return {};
    DWORD code = make_folder(folder);
    if (code == ERROR_PATH_NOT_FOUND) {
        const auto parent = folder.parent_path();
        if (parent.empty() || parent == folder) return unexpected(error_of(code));
        if (auto parents = create_folders(parent); !parents) return parents;
        code = make_folder(folder);
    }
    if (code == 0 || is_folder(folder)) return {};
    return unexpected(error_of(code));
}

Result<void> remove_file(const std::filesystem::path& file) {
    const DWORD code = remove_even_read_only(file, [&] { return ::DeleteFileW(file.c_str()) != 0; });
    if (code != 0) return unexpected(error_of(code));
    return {};
}

Result<void> remove_tree(const std::filesystem::path& folder) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return unexpected(last_os_error());
    if (has(attributes, FILE_ATTRIBUTE_REPARSE_POINT)) return remove_link(folder);
    if (!has(attributes, FILE_ATTRIBUTE_DIRECTORY)) return unexpected(error_of(ERROR_DIRECTORY));
    Result<void> first = remove_contents(folder);
    keep_first(first, remove_empty_folder(folder));
    return first;
}

Result<void> copy_file_over(const std::filesystem::path& from, const std::filesystem::path& to) {
    const Handle source = open_followed(from);
    const Handle target = open_followed(to);
    BY_HANDLE_FILE_INFORMATION source_info{};
    BY_HANDLE_FILE_INFORMATION target_info{};
    if (source.valid() && target.valid() && ::GetFileInformationByHandle(source.get(), &source_info) &&
        ::GetFileInformationByHandle(target.get(), &target_info) &&
        source_info.dwVolumeSerialNumber == target_info.dwVolumeSerialNumber &&
        source_info.nFileIndexHigh == target_info.nFileIndexHigh &&
        source_info.nFileIndexLow == target_info.nFileIndexLow) {
        // One file under two names: the copy is already there.
        return {};
    }
    if (!::CopyFileW(from.c_str(), to.c_str(), FALSE)) return unexpected(last_os_error());
    return {};
}

Result<void> write_whole_file(const std::filesystem::path& file, std::string_view bytes) {
    // OPEN_ALWAYS and then truncating, as CREATE_ALWAYS refuses an existing hidden file.
    const Handle target(::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target.valid()) return unexpected(last_os_error());
    if (!::SetEndOfFile(target.get())) return unexpected(last_os_error());
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!::WriteFile(target.get(), data, chunk, &written, nullptr)) return unexpected(last_os_error());
        data += written;
        left -= written;
    }
    return {};
}

bool is_existing_file(const std::filesystem::path& path) {
    const Handle handle = open_followed(path);
    BY_HANDLE_FILE_INFORMATION info{};
    return handle.valid() && ::GetFileInformationByHandle(handle.get(), &info) &&
           !has(info.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
}

bool path_exists(const std::filesystem::path& path) {
    const Handle handle = open_followed(path);
    if (handle.valid()) return true;
    // A file held without sharing cannot be opened even for its attributes, yet it is there.
    return ::GetLastError() == ERROR_SHARING_VIOLATION &&
           ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace zarn::platform
