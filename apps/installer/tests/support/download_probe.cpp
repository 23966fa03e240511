// A whole download as the setup program makes it: the DLL search restricted first, as its
// main does, then the manifest and a package fetched over WinHTTP from a loopback server and
// the package's SHA-256 checked with BCrypt. The setup program itself can only reach the
// update server built into it; this program lets a test plant DLLs beside it and in its
// current folder and see that the download road takes none of them. Prints "downloaded" and
// ends with status 0 when the package arrived and matched its digest.
#include <cstdio>
#include <string>

#include "engine/download.h"
#include "platform/dll_search.h"
#include "platform/sha256.h"
#include "support/loopback_server.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace {

constexpr char kPackage[] = "zarn client";
constexpr char kPackageSha256[] = "ec36a2506f808efbb57a345f729386600883b599716ce0aa4e116d716efc9e6b";

// The server publishes the digest it works out itself, before the download starts. That binds
// BCrypt before WinHTTP is used, which matters under Wine: its WinHTTP binds crypt32 through a
// search that ignores the restriction, and crypt32 then takes bcrypt.dll from this program's
// folder unless it is loaded already. On Windows both are mapped from the system's KnownDLLs.
std::string published_digest() {
    zarn::platform::Sha256 digest;
    digest.update(kPackage, sizeof kPackage - 1);
    return digest.finish_hex();
}

int download() {
    const std::string digest = published_digest();
    if (digest != kPackageSha256) {
        std::fprintf(stderr, "the digest of the package came out as \"%s\"\n", digest.c_str());
        return 1;
    }
    zarn::test::LoopbackServer server;
    server.route("/api/client/update/manifest", [digest](zarn::test::Reply& reply) {
        reply.send(200, R"({"version":"1.2.3","downloads":{"windows_x64":{"url":"/zarn.exe","sha256":")" + digest +
                            R"(","size":11}}})");
    });
    server.route("/zarn.exe", [](zarn::test::Reply& reply) { reply.send(200, kPackage); });
    server.start();
    const zarn::test::TempDir folder;
    zarn::test::Recorder recorder;
    if (!zarn::download_client(recorder.proxy, server.base_url(), folder / "zarn.exe")) {
        for (const auto& report : zarn::test::progress_reports(recorder.sink->events())) {
            std::fprintf(stderr, "%d %s: %s\n", report.pct, report.step.c_str(), report.note.c_str());
        }
        return 1;
    }
    std::puts("downloaded");
    return 0;
}

}  // namespace

int main() {
    if (auto restricted = zarn::platform::restrict_dll_search_to_system_folder(); !restricted) {
        std::fprintf(stderr, "the DLL search could not be restricted: %s\n", restricted.error().text.c_str());
        return 2;
    }
    return download();
}
