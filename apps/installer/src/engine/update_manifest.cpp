#include "engine/update_manifest.h"

#include <array>
#include <utility>

namespace zarn {
namespace {

constexpr std::array<json::Field, 2> kManifestFields{{
    {"version"},
    {"downloads", false, false},  // absent: no packages
}};

constexpr std::array<json::Field, 3> kArtifactFields{{{"url"}, {"sha256"}, {"size"}}};

}  // namespace

Result<UpdateArtifact> deserialize_update_artifact(json::Reader& reader) {
    UpdateArtifact artifact;
    const auto read = json::read_record(reader, "struct UpdateArtifact", kArtifactFields, [&](std::size_t field) {
        switch (field) {
            case 0: return json::assign(artifact.url, reader.read_string());
            case 1: return json::assign(artifact.sha256, reader.read_string());
            default: return json::assign(artifact.size, reader.read_u64());
        }
    });
    if (!read) return unexpected(read.error());
    return artifact;
}

Result<UpdateManifest::Downloads> deserialize_downloads(json::Reader& reader) {
    if (auto opened = reader.open("a map", false); !opened) return unexpected(opened.error());
    UpdateManifest::Downloads downloads;
    while (true) {
        auto key = reader.next_key();
        if (!key) return unexpected(key.error());
        if (!*key) break;
        if (auto colon = reader.read_colon(); !colon) return unexpected(colon.error());
        auto artifact = deserialize_update_artifact(reader);
        if (!artifact) return unexpected(artifact.error());
        downloads.insert_or_assign(std::move(**key), std::move(*artifact));
    }
    if (auto closed = reader.close_object(); !closed) return unexpected(closed.error());
    return downloads;
}

Result<UpdateManifest> deserialize_update_manifest(platform::ByteStream& body) {
    json::Reader reader(body);
    UpdateManifest manifest;
    const auto read = json::read_record(reader, "struct UpdateManifest", kManifestFields, [&](std::size_t field) {
        if (field == 0) return json::assign(manifest.version, reader.read_string());
        return json::assign(manifest.downloads, deserialize_downloads(reader));
    });
    if (!read) return unexpected(read.error());
    if (auto end = reader.read_end(); !end) return unexpected(end.error());
    return manifest;
}

}  // namespace zarn
