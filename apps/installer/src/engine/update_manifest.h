#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "engine/strict_json.h"
#include "platform/byte_stream.h"
#include "platform/result.h"

namespace zarn {

// One published package.
struct UpdateArtifact {
    std::string url;     // absolute, or relative to the update server's base URL
    std::string sha256;  // hexadecimal, any case
    std::uint64_t size = 0;
    friend bool operator==(const UpdateArtifact&, const UpdateArtifact&) = default;
};

// The update server's answer: the published client version and its package per platform key.
struct UpdateManifest {
    using Downloads = std::unordered_map<std::string, UpdateArtifact>;
    std::string version;
    Downloads downloads;  // keyed by platform, e.g. "windows_x64"
    friend bool operator==(const UpdateManifest&, const UpdateManifest&) = default;
};

// Reads the manifest from the response body, to its end: the JSON value, then only white
// space. Any other input, a failed read included, is an error worded
// "{what} at line {} column {}".
Result<UpdateManifest> deserialize_update_manifest(platform::ByteStream& body);

// The "downloads" map; a platform key given again replaces the earlier entry.
Result<UpdateManifest::Downloads> deserialize_downloads(json::Reader& reader);

// One value of the "downloads" map.
Result<UpdateArtifact> deserialize_update_artifact(json::Reader& reader);

}  // namespace zarn
