#pragma once

#include <filesystem>
#include <string_view>

#include "platform/result.h"

// File operations whose failures carry the system's own text ("... (os error N)").
namespace zarn::platform {

// Creates the folder and every missing parent; a folder that is already there is no error.
Result<void> create_folders(const std::filesystem::path& folder);

// Removes one file, also when it is marked read-only. A link is removed itself.
Result<void> remove_file(const std::filesystem::path& file);

// Removes a folder with everything in it. Links inside (symbolic links, junctions) are
// removed themselves and never entered, so nothing outside the folder is touched; read-only
// files are removed too. A link given as `folder` is removed itself.
Result<void> remove_tree(const std::filesystem::path& folder);

// Copies the file's bytes over `to`, creating it or replacing what it held.
Result<void> copy_file_over(const std::filesystem::path& from, const std::filesystem::path& to);

// Writes the bytes as the file's whole content, creating it or emptying it first.
Result<void> write_whole_file(const std::filesystem::path& file, std::string_view bytes);

// Whether the path names an existing regular file; links are followed, a folder is not a file.
bool is_existing_file(const std::filesystem::path& path);

// Whether anything exists at the path; links are followed.
bool path_exists(const std::filesystem::path& path);

}  // namespace zarn::platform
