#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace zarn::platform {
namespace {

std::string digest_in_slices(const std::string& bytes, std::size_t slice) {
    Sha256 digest;
    for (std::size_t at = 0; at < bytes.size(); at += slice) {
        digest.update(bytes.data() + at, std::min(slice, bytes.size() - at));
    }
    return digest.finish_hex();
}

TEST(Sha256, GivesTheStandardDigestsWhateverTheSlices) {
    struct Case {
        std::string bytes;
        std::string hex;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 20));
        for (const std::size_t slice : {std::size_t{1}, std::size_t{7}, std::size_t{32'768}, std::size_t{1'000'000}}) {
            EXPECT_EQ(digest_in_slices(c.bytes, slice), c.hex) << "slices of " << slice;
        }
    }
}

}  // namespace
}  // namespace zarn::platform
