#include "window/folder_picker.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/folder_text.h"
#include "engine/powershell.h"
#include "platform/path_text.h"
#include "platform/process.h"
#include "platform/unicode.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFolderName = "ZARN";

// The append rule of the answer looks for either slash, whatever the platform.
bool ends_in_separator(std::string_view text) { return !text.empty() && (text.back() == '\\' || text.back() == '/'); }

// What the platform's paths take as a separator: "/" always, "\" on Windows.
bool is_path_separator(fs::path::value_type c) {
    return c == fs::path::value_type('/') || c == fs::path::preferred_separator;
}

// "D:\Apps\" names the folder Apps; a root keeps its separator, as it has no name to expose.
fs::path without_trailing_separators(const fs::path& path) {
    auto text = path.native();
    const auto root_length = path.root_path().native().size();
    while (text.size() > root_length && is_path_separator(text.back())) text.pop_back();
    return text;
}

bool something_exists_at(const fs::path& path) {
    std::error_code error;
    return !path.empty() && fs::exists(path, error);
}

bool equals_ascii_case_insensitive(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string picker_script(const std::string& start_folder) {
    const std::string quoted = quote_for_powershell(platform::path_from_utf8(start_folder));
    return "[Console]::OutputEncoding = [System.Text.Encoding]::UTF8; "
           "Add-Type -AssemblyName System.Windows.Forms; "
           "$d = New-Object System.Windows.Forms.FolderBrowserDialog; "
           "$d.Description = 'Выберите папку для установки ZARN'; "
           "$d.ShowNewFolderButton = $true; "
           "if ('" + quoted + "' -ne '' -and (Test-Path '" + quoted + "')) { $d.SelectedPath = '" + quoted + "' }; "
           "if ($d.ShowDialog() -eq [System.Windows.Forms.DialogResult]::OK) { [Console]::Write($d.SelectedPath) }";
}

}  // namespace

std::string dialog_start_folder(const std::optional<std::string>& install_dir) {
    if (!install_dir || is_blank(*install_dir)) return {};
    // Tested as received: the trimming above only decides whether anything was given.
    const fs::path given = platform::path_from_utf8(*install_dir);
    if (something_exists_at(given)) return *install_dir;
    const fs::path named = without_trailing_separators(given);
    if (!named.has_relative_path()) return {};
    const fs::path parent = named.parent_path();
    if (something_exists_at(parent)) return platform::path_to_utf8(parent);
    return {};
}

std::optional<std::string> folder_from_answer(std::string_view output) {
    const std::string text = platform::utf8_lossy(output);
    const std::string answer(trim_white_space(text));
    if (answer.empty()) return std::nullopt;
    const fs::path named = without_trailing_separators(platform::path_from_utf8(answer));
    if (named.has_relative_path() &&
        equals_ascii_case_insensitive(platform::path_to_utf8(named.filename()), kFolderName)) {
        return answer;
    }
    const std::string separator = ends_in_separator(answer) ? "" : std::string(1, char(fs::path::preferred_separator));
    return answer + separator + std::string(kFolderName);
}

void browse_install_dir(std::optional<std::string> install_dir, Proxy proxy) {
    const std::string script = picker_script(dialog_start_folder(install_dir));
    const auto run = platform::run_program_capturing_output(
        "powershell", {"-NoProfile", "-STA", "-WindowStyle", "Hidden", "-Command", script});
    // The exit status says nothing useful: a cancelled dialog and a failed PowerShell both
    // print nothing, and either way the page only needs its button back.
    std::optional<std::string> dir = run ? folder_from_answer(run->standard_output) : std::nullopt;
    static_cast<void>(proxy.post(SetDir{std::move(dir)}));
}

}  // namespace zarn
