#pragma once

#include <filesystem>

namespace zarn::test {

// Makes `link` a symbolic link to the folder `target`. Wine cannot make Windows links, so
// there a Unix one is made, which Wine shows as a reparse point. False when neither works.
bool make_folder_link(const std::filesystem::path& link, const std::filesystem::path& target);

// Makes `link` a symbolic link to the file `target`; false when the platform refuses.
bool make_file_link(const std::filesystem::path& link, const std::filesystem::path& target);

// Wine follows every link it is asked to open, even when told not to, so it can delete a link
// only by deleting its target.
bool running_under_wine();

}  // namespace zarn::test
