#include "engine/install_folder.h"

#include "engine/folder_text.h"
#include "engine/user_folders.h"
#include "platform/path_text.h"

namespace zarn {

std::filesystem::path chosen_install_folder(const std::optional<std::string>& folder_text) {
    // The trim only decides whether a folder was given; what was given is used untouched.
    if (folder_text && !is_blank(*folder_text)) return platform::path_from_utf8(*folder_text);
    return default_install_dir();
}

}  // namespace zarn
