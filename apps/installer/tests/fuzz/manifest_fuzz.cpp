// libFuzzer target: the update manifest decoder on arbitrary bodies. Besides what the
// sanitizers catch, the answer must not depend on how the body is cut into reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/update_manifest.h"
#include "support/sliced_stream.h"

namespace {

bool same(const zarn::Result<zarn::UpdateManifest>& a, const zarn::Result<zarn::UpdateManifest>& b) {
    if (a.has_value() != b.has_value()) return false;
    return a ? *a == *b : a.error() == b.error();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    zarn::platform::MemoryByteStream whole(body);
    const auto at_once = zarn::deserialize_update_manifest(whole);
    zarn::test::SlicedStream slices(body, 1 + size % 7);
    const auto in_slices = zarn::deserialize_update_manifest(slices);
    if (!same(at_once, in_slices)) std::abort();
    return 0;
}
