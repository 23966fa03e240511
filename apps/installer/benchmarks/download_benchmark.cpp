// Serves one package from a loopback server and times, on that one server, the download road
// (with its SHA-256 and a proxy that drops the reports) against the usual tools doing the same
// work: `curl -s -o FILE URL` then `sha256sum FILE`, `wget -q -O FILE URL` then
// `sha256sum FILE`, and the one-pass `curl -s URL | tee FILE | openssl dgst -sha256`. A tool
// that is missing is skipped with a line. Then it shows the road's peak resident memory for a
// small and a large package.
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
#include <vector>

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

bool tool_exists(const std::string& name) {
    return std::system(("command -v " + name + " > /dev/null 2>&1").c_str()) == 0;
}

// A shell command line that downloads `url` into `file` and hashes it, as people do by hand.
struct Rival {
    const char* label;
    std::vector<std::string> tools;
    std::string (*command)(const std::string& url, const std::string& file);
};

const Rival kRivals[] = {
    {"curl -o, then sha256sum", {"curl", "sha256sum"},
     [](const std::string& url, const std::string& file) {
         return "curl -s -o '" + file + "' '" + url + "' && sha256sum '" + file + "' > /dev/null";
     }},
    {"wget -O, then sha256sum", {"wget", "sha256sum"},
     [](const std::string& url, const std::string& file) {
         return "wget -q -O '" + file + "' '" + url + "' && sha256sum '" + file + "' > /dev/null";
     }},
    {"curl | tee | openssl dgst -sha256", {"curl", "tee", "openssl"},
     [](const std::string& url, const std::string& file) {
         return "set -o pipefail; curl -s '" + url + "' | tee '" + file + "' | openssl dgst -sha256 > /dev/null";
     }},
};

// The rival's wall time in seconds, or a negative value when it failed.
double time_rival(const Rival& rival, const Served& served, const std::filesystem::path& file) {
    const std::string line = rival.command(served.server.base_url() + "/zarn.exe", file.string());
    const std::string command = "bash -c \"" + line + "\"";
    const auto start = Clock::now();
    const bool ok = std::system(command.c_str()) == 0;
    const double seconds = seconds_since(start);
    std::filesystem::remove(file);
    return ok ? seconds : -1.0;
}

std::string missing_tool(const Rival& rival) {
    for (const auto& tool : rival.tools) {
        if (!tool_exists(tool)) return tool;
    }
    return "";
}

void print_rate(const char* what, std::uint64_t mebibytes, double seconds) {
    std::printf("%-36s %8.1f MiB/s  (%.2f s)\n", what, static_cast<double>(mebibytes) / seconds, seconds);
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
    if (road < 0) {
        std::fprintf(stderr, "the download road failed\n");
        return 1;
    }
    print_rate("download road with SHA-256", large, road);
    struct Timed {
        const char* label;
        double seconds;
    };
    std::vector<Timed> rivals;
    for (const auto& rival : kRivals) {
        if (const auto missing = missing_tool(rival); !missing.empty()) {
            std::printf("%-36s skipped: %s is not installed\n", rival.label, missing.c_str());
            continue;
        }
        const double seconds = time_rival(rival, big, dir / "rival.exe");
        if (seconds < 0) {
            std::printf("%-36s failed\n", rival.label);
            continue;
        }
        print_rate(rival.label, large, seconds);
        rivals.push_back({rival.label, seconds});
    }
    // Above 1, the road is ahead.
    std::printf("ratios, the rival's time over the road's:\n");
    for (const auto& rival : rivals) std::printf("  road vs %-32s %6.2f\n", rival.label, rival.seconds / road);

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
