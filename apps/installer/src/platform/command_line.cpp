#include "platform/command_line.h"

#include <utility>

namespace zarn::platform {
namespace {

void append_quoted(std::string& line, std::string_view argument) {
    line += '"';
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') backslashes = backslashes * 2 + 1;
        line.append(backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

void append_argument(std::string& line, std::string_view argument) {
    const bool needs_quotes = argument.empty() || argument.find_first_of(" \t") != std::string_view::npos;
    if (needs_quotes) {
        append_quoted(line, argument);
        return;
    }
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            line += c;
            continue;
        }
        if (c == '"') line.append(backslashes + 1, '\\');
        backslashes = 0;
        line += c;
    }
}

}  // namespace

std::string windows_command_line(std::string_view program, const std::vector<std::string>& arguments) {
    std::string line;
    append_quoted(line, program);
    for (const auto& argument : arguments) {
        line += ' ';
        append_argument(line, argument);
    }
    return line;
}

std::vector<std::string> windows_path_list_folders(std::string_view path_list) {
    std::vector<std::string> folders;
    std::string folder;
    bool quoted = false;
    for (char c : path_list) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            if (!folder.empty()) folders.push_back(std::move(folder));
            folder.clear();
        } else {
            folder += c;
        }
    }
    if (!folder.empty()) folders.push_back(std::move(folder));
    return folders;
}

}  // namespace zarn::platform
