#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>

#include "platform/result.h"

// A file written front to back while its content arrives, and its final move into place.
// Failures carry the system's own text ("... (os error N)").
namespace zarn::platform {

class OutputFile {
public:
    // Opens the file for writing, creating it or emptying it; others may read, write and
    // delete it meanwhile. A file it creates may be run as a program (POSIX: mode 0777 less
    // the umask).
    static Result<OutputFile> create(const std::filesystem::path& path);

    OutputFile(OutputFile&&) noexcept;
    OutputFile& operator=(OutputFile&&) noexcept;
    ~OutputFile();

    // Writes every byte, continuing after partial writes.
    Result<void> write_all(const char* bytes, std::size_t size);
    // Closes the file; its last buffered writes may fail here. Closing twice does nothing.
    Result<void> close();

    struct Handle;

private:
    explicit OutputFile(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> handle_;
};

// Moves the file to `to`, replacing a file that is there, in one step where the system can.
Result<void> move_file_over(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace zarn::platform
