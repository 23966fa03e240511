#include "platform/command_line.h"

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

}  // namespace zarn::platform
