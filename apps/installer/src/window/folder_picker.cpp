#include "window/folder_picker.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "engine/folder_text.h"
#include "engine/path_join.h"
#include "engine/powershell.h"
#include "platform/ascii.h"
#include "platform/path_text.h"
#include "platform/process.h"
#include "platform/unicode.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFolderName = "ZARN";

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool ends_in_separator(std::string_view text) { return !text.empty() && is_separator(text.back()); }

// Where the component that starts at `from` ends: at the next separator or the text's end.
std::size_t component_end(std::string_view path, std::size_t from) {
    while (from < path.size() && !is_separator(path[from])) ++from;
    return from;
}

// Past `count` components after `from`, each with the one separator that follows it.
std::size_t past_components(std::string_view path, std::size_t from, int count) {
    for (int i = 0; i < count && from < path.size(); ++i) {
        from = component_end(path, from);
        if (from < path.size()) ++from;
    }
    return from;
}

// How much of the text is its root, with the one separator after it. A share is a root with
// its server ("\\server\share"); a device path ("\\?\", "\\.\") has its device as its root,
// or "UNC\server\share" after the prefix.
std::size_t root_length(std::string_view path) {
    const bool two_separators = path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]);
    if (two_separators) {
        const bool device = path.size() >= 4 && (path[2] == '?' || path[2] == '.') && is_separator(path[3]);
        if (!device) return past_components(path, 2, 2);
        const std::size_t device_start = 4;
        const std::string_view device_name = path.substr(device_start, component_end(path, device_start) - device_start);
        return past_components(path, device_start, platform::equal_ignoring_ascii_case(device_name, "UNC") ? 3 : 1);
    }
    if (starts_with_drive(path)) {
        return path.size() >= 3 && is_separator(path[2]) ? 3 : 2;
    }
    return !path.empty() && is_separator(path[0]) ? 1 : 0;
}

// The last name's place in the text: trailing separators and "." components passed over.
struct NamePlace {
    std::size_t start;
    std::size_t end;
};

std::optional<NamePlace> last_name_place(std::string_view path) {
    const std::size_t root = root_length(path);
    std::size_t end = path.size();
    while (true) {
        while (end > root && is_separator(path[end - 1])) --end;
        if (end <= root) return std::nullopt;
        std::size_t start = end;
        while (start > root && !is_separator(path[start - 1])) --start;
        if (path.substr(start, end - start) != ".") return NamePlace{start, end};
        end = start;
    }
}

bool something_exists_at(const fs::path& path) {
    std::error_code error;
    return !path.empty() && fs::exists(path, error);
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

std::optional<std::string_view> last_folder_name(std::string_view path) {
    const auto place = last_name_place(path);
    if (!place) return std::nullopt;
    return path.substr(place->start, place->end - place->start);
}

std::optional<std::string> parent_folder(std::string_view path) {
    const auto place = last_name_place(path);
    if (!place) return std::nullopt;
    const std::size_t root = root_length(path);
    std::size_t end = place->start;
    while (end > root && is_separator(path[end - 1])) --end;
    if (end == 0) return std::nullopt;
    return std::string(path.substr(0, end));
}

std::string dialog_start_folder(const std::optional<std::string>& install_dir) {
    if (!install_dir || is_blank(*install_dir)) return {};
    // Tested as received: the trimming above only decides whether anything was given.
    if (something_exists_at(platform::path_from_utf8(*install_dir))) return *install_dir;
    const auto parent = parent_folder(*install_dir);
    if (parent && something_exists_at(platform::path_from_utf8(*parent))) return *parent;
    return {};
}

std::optional<std::string> folder_from_answer(std::string_view output) {
    const std::string text = platform::utf8_lossy(output);
    const std::string answer(trim_white_space(text));
    if (answer.empty()) return std::nullopt;
    const auto name = last_folder_name(answer);
    if (name && platform::equal_ignoring_ascii_case(*name, kFolderName)) return answer;
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
