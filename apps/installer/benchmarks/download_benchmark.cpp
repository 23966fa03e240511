// Serves one package from a loopback server and times the download road (with its SHA-256 and
// a proxy that drops the reports) against `curl -s -o FILE URL` followed by `sha256sum FILE`,
// then shows the road's peak resident memory for a small and a large package.
//
//   download_benchmark [MiB of the large package, default 1024]

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "engine/download.h"
#include "platform/sha256.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace {

using namespace zarn;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kMiB = 1024 * 1024;

// The package repeats one mebibyte of varied bytes, so that serving it costs no memory.
const std::string& block() {
    static const std::string bytes = [] {
        std::string b(kMiB, '\0');
        std::uint32_t x = 2463534242u;
        for (auto& c : b) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            c = static_cast<char>(x);
        }
        return b;
    }();
    return bytes;
}

std::string package_digest(std::uint64_t mebibytes) {
    platform::Sha256 digest;
    for (std::uint64_t i = 0; i < mebibytes; ++i) digest.update(block().data(), block().size());
    return digest.finish_hex();
}

class DroppingSink : public EventSink {
public:
    std::optional<UiEvent> post(UiEvent) override { return std::nullopt; }
};

// Peak resident memory of this process since the last reset, in KiB (Linux).
long peak_resident_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

void reset_peak_resident() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Served {
    test::LoopbackServer server;
    std::uint64_t mebibytes;

    explicit Served(std::uint64_t size_mib) : mebibytes(size_mib) {
        const std::string manifest = R"({"version":"bench","downloads":{"windows_x64":{"url":"/zarn.exe","sha256":")" +
                                     package_digest(size_mib) + R"(","size":)" + std::to_string(size_mib * kMiB) + "}}}";
        server.route("/api/client/update/manifest", [manifest](test::Reply& reply) { reply.send(200, manifest); });
        server.route("/zarn.exe", [size_mib](test::Reply& reply) {
            if (!reply.head(200, {}, size_mib * kMiB)) return;
            for (std::uint64_t i = 0; i < size_mib; ++i) {
                if (!reply.write(block())) return;
            }
        });
        server.start();
    }
};

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs the road once; its wall time in seconds, or a negative value when it failed.
double time_road(const Served& served, const std::filesystem::path& target) {
    const Proxy proxy(std::make_shared<DroppingSink>());
    const auto start = Clock::now();
    const bool ok = download_client(proxy, served.server.base_url(), target);
    return ok ? seconds_since(start) : -1.0;
}

double time_curl_and_sha256sum(const Served& served, const std::filesystem::path& file) {
    const std::string command = "curl -s -o '" + file.string() + "' '" + served.server.base_url() +
                                "/zarn.exe' && sha256sum '" + file.string() + "' > /dev/null";
    const auto start = Clock::now();
    return std::system(command.c_str()) == 0 ? seconds_since(start) : -1.0;
}

void print_rate(const char* what, std::uint64_t mebibytes, double seconds) {
    std::printf("%-34s %8.1f MiB/s  (%.2f s)\n", what, static_cast<double>(mebibytes) / seconds, seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t large = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::uint64_t small = 16;
    test::TempDir dir;

    std::printf("package: %llu MiB from 127.0.0.1\n", static_cast<unsigned long long>(large));
    Served big(large);
    const double road = time_road(big, dir / "zarn.exe");
    std::filesystem::remove(dir / "zarn.exe");
    const double pair = time_curl_and_sha256sum(big, dir / "curl.exe");
    std::filesystem::remove(dir / "curl.exe");
    if (road < 0 || pair < 0) {
        std::fprintf(stderr, "a download failed (road %s, curl %s)\n", road < 0 ? "failed" : "ok",
                     pair < 0 ? "failed" : "ok");
        return 1;
    }
    print_rate("download road with SHA-256:", large, road);
    print_rate("curl -s -o, then sha256sum:", large, pair);
    std::printf("%-34s %8.2f\n", "road / (curl + sha256sum):", pair / road);

    for (const std::uint64_t size : {small, large}) {
        Served served(size);
        reset_peak_resident();
        const long before = peak_resident_kib();
        const double seconds = time_road(served, dir / "zarn.exe");
        const long peak = peak_resident_kib();
        std::filesystem::remove(dir / "zarn.exe");
        if (seconds < 0) {
            std::fprintf(stderr, "the road failed on %llu MiB\n", static_cast<unsigned long long>(size));
            return 1;
        }
        std::printf("peak resident, %5llu MiB package: %8ld KiB (%ld KiB before the road)\n",
                    static_cast<unsigned long long>(size), peak, before);
    }
    return 0;
}
