#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarn::platform {

// The Windows command line for a program and its arguments, by the convention that
// CommandLineToArgvW and the C runtime read back: the program is always quoted; an argument
// that is empty or holds a blank or a tab is quoted; a double quote is escaped with a
// backslash and the backslashes before a double quote or the closing quote are doubled.
std::string windows_command_line(std::string_view program, const std::vector<std::string>& arguments);

// The folders of a Windows PATH value, in order, as Windows' command prompt reads them: split
// at each ";" outside double quotes, then every double quote removed, as no name can hold one. So
// "C:\Program Files\Tools" and C:\"Program Files"\Tools name the same folder, and "D:\a;b" is
// one folder. Empty entries are left out.
std::vector<std::string> windows_path_list_folders(std::string_view path_list);

}  // namespace zarn::platform
