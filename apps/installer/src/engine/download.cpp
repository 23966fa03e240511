#include "engine/download.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/client_files.h"
#include "engine/path_join.h"
#include "engine/update_manifest.h"
#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/http_agent.h"
#include "platform/output_file.h"
#include "platform/sha256.h"

namespace zarn {

namespace {

constexpr std::string_view kManifestPath = "/api/client/update/manifest";
constexpr std::string_view kPlatformKey = "windows_x64";
constexpr std::size_t kReadSize = 32'768;
constexpr std::uint8_t kBandBase = 30;
constexpr std::uint64_t kBandSpan = 38;

std::string_view without_trailing_slashes(std::string_view text) {
    while (!text.empty() && text.back() == '/') text.remove_suffix(1);
    return text;
}

std::string_view without_leading_slashes(std::string_view text) {
    while (!text.empty() && text.front() == '/') text.remove_prefix(1);
    return text;
}

// The package is streamed beside the client and only moved over it once its digest matched,
// so that a failed download never destroys an installed client. It is named by the same
// joining rule as the client, so that the clean-ups of install and uninstall find it.
std::filesystem::path partial_download_path(const std::filesystem::path& target) {
    return join_path(joined_base(target), client::kPartialDownload);
}

void discard(const std::filesystem::path& file) { (void)platform::remove_file(file); }

struct Failure {
    std::uint8_t pct;
    std::string_view step;
    std::string note;
};

class DownloadRoad {
public:
    DownloadRoad(const Proxy& proxy, std::string_view base_url, const std::filesystem::path& target,
                 const platform::HttpAgentSettings& settings)
        : proxy_(proxy), base_url_(base_url), target_(target), agent_(settings) {}

    bool run() {
        report(25, "Загрузка последней версии ZARN…", "Запрос манифеста обновлений…", kWorking);
        auto manifest = fetch_manifest();
        if (!manifest) {
            return fail({25, "Не удалось скачать клиент",
                         "Положите zarn.exe рядом с установщиком или убедитесь, что сервер доступен."});
        }
        const auto artifact = manifest->downloads.find(std::string(kPlatformKey));
        if (artifact == manifest->downloads.end()) {
            return fail({30, "Пакет для Windows не опубликован",
                         "Запустите scripts/build-release.ps1 или положите zarn.exe рядом с ZARN-Setup.exe."});
        }
        const std::string title = "Загрузка ZARN v" + manifest->version + "…";
        auto body = agent_.get(resolve_package_url(base_url_, artifact->second.url));
        if (!body) return fail({32, "Ошибка загрузки", body.error().text});
        return receive(**body, artifact->second, title);
    }

private:
    Result<UpdateManifest> fetch_manifest() {
        auto body = agent_.get(std::string(without_trailing_slashes(base_url_)) + std::string(kManifestPath));
        if (!body) return unexpected(body.error());
        return deserialize_update_manifest(**body);
    }

    bool receive(platform::ByteStream& body, const UpdateArtifact& artifact, const std::string& title) {
        const auto partial = partial_download_path(target_);
        auto file = platform::OutputFile::create(partial);
        if (!file) return fail({35, "Ошибка записи файла", file.error().text});

        const std::uint64_t divisor = artifact.size == 0 ? 1 : artifact.size;
        platform::Sha256 digest;
        std::vector<char> buffer(kReadSize, '\0');
        std::uint64_t downloaded = 0;
        for (;;) {
            const auto count = body.read(buffer.data(), buffer.size());
            if (!count) return fail_and_discard(*file, partial, {50, "Обрыв соединения", count.error().text});
            if (*count == 0) break;
            if (auto written = file->write_all(buffer.data(), *count); !written) {
                return fail_and_discard(*file, partial, {50, "Ошибка записи", written.error().text});
            }
            digest.update(buffer.data(), *count);
            downloaded += *count;
            report(download_percentage(downloaded, divisor), title, downloaded_note(downloaded), kWorking);
        }

        // A digest that the system could not work out (empty) matches nothing, not even a
        // manifest's empty "sha256".
        const auto actual = digest.finish_hex();
        if (actual.empty() || !platform::equal_ignoring_ascii_case(actual, artifact.sha256)) {
            return fail_and_discard(*file, partial,
                                    {68, "Ошибка проверки SHA-256", "Контрольная сумма файла не совпала"});
        }
        auto placed = file->close();
        if (placed) placed = platform::move_file_over(partial, target_);
        if (!placed) return fail_and_discard(*file, partial, {35, "Ошибка записи файла", placed.error().text});
        return true;
    }

    bool fail_and_discard(platform::OutputFile& file, const std::filesystem::path& partial, const Failure& failure) {
        (void)file.close();
        discard(partial);
        return fail(failure);
    }

    bool fail(const Failure& failure) {
        report(failure.pct, failure.step, failure.note, kError);
        return false;
    }

    void report(std::uint8_t pct, std::string_view step, std::string_view note, std::string_view state) {
        send_progress(proxy_, step, pct, note, state);
    }

    const Proxy& proxy_;
    std::string_view base_url_;
    const std::filesystem::path& target_;
    platform::HttpAgent agent_;
};

}  // namespace

std::uint8_t download_percentage(std::uint64_t downloaded, std::uint64_t divisor) {
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t scaled = downloaded > kMax / kBandSpan ? kMax : downloaded * kBandSpan;
    return static_cast<std::uint8_t>(kBandBase + std::min(kBandSpan, scaled / divisor));
}

std::string downloaded_note(std::uint64_t downloaded) {
    const double mebibytes = static_cast<double>(downloaded) / 1'048'576.0;
    char digits[64];
    const auto written = std::to_chars(std::begin(digits), std::end(digits), mebibytes, std::chars_format::fixed, 1);
    return std::string(digits, written.ptr) + " МБ";
}

std::string resolve_package_url(std::string_view base_url, std::string_view url) {
    if (url.substr(0, 7) == "http://" || url.substr(0, 8) == "https://") return std::string(url);
    return std::string(without_trailing_slashes(base_url)) + "/" + std::string(without_leading_slashes(url));
}

bool download_client(const Proxy& proxy, std::string_view base_url, const std::filesystem::path& target,
                     const platform::HttpAgentSettings& agent) {
    return DownloadRoad(proxy, base_url, target, agent).run();
}

}  // namespace zarn
