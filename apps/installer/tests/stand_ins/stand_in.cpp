// A stand-in for a program that tests must not run for real ("powershell", "taskkill", the
// ZARN client). It appends one JSON line describing how it was started to the file named by
// ZARN_STANDIN_LOG, writes the file named by ZARN_STANDIN_{NAME}_OUTPUT to its standard
// output, writes ZARN_STANDIN_{NAME}_ERROR to its standard error, and exits with
// ZARN_STANDIN_{NAME}_EXIT (0 when unset).
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace {

std::string narrow(const wchar_t* wide) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
    return text;
}

std::string variable(const std::string& name) {
    const std::wstring wide_name(name.begin(), name.end());
    wchar_t buffer[32768];
    const DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), buffer, 32768);
    return length == 0 || length >= 32768 ? std::string() : narrow(buffer);
}

std::filesystem::path path_of(const std::string& utf8) {
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size - 1 : 0), L'\0');
    if (size > 1) ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), size);
    return wide;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(narrow(argv[i]));
    const std::string program = std::filesystem::path(argv[0]).stem().string();
    const std::string command_line = narrow(::GetCommandLineW());
    const std::string folder = narrow(std::filesystem::current_path().c_str());
    ::_setmode(::_fileno(stdout), _O_BINARY);
#else
namespace {

std::string variable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value == nullptr ? std::string() : std::string(value);
}

std::filesystem::path path_of(const std::string& utf8) { return utf8; }

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string program = std::filesystem::path(argv[0]).stem().string();
    const std::string command_line;
    const std::string folder = std::filesystem::current_path().string();
#endif
    std::string upper = program;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    const std::string log = variable("ZARN_STANDIN_LOG");
    if (!log.empty()) {
        nlohmann::json record{{"program", program}, {"args", arguments}, {"cwd", folder}};
        if (!command_line.empty()) record["command_line"] = command_line;
        std::ofstream(path_of(log), std::ios::app | std::ios::binary) << record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    }
    const std::string output = variable("ZARN_STANDIN_" + upper + "_OUTPUT");
    if (!output.empty()) {
        std::ifstream in(path_of(output), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::cout << bytes << std::flush;
    }
    const std::string complaint = variable("ZARN_STANDIN_" + upper + "_ERROR");
    if (!complaint.empty()) std::cerr << complaint << std::flush;
    const std::string code = variable("ZARN_STANDIN_" + upper + "_EXIT");
    return code.empty() ? 0 : std::atoi(code.c_str());
}
