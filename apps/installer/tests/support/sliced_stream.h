#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/byte_stream.h"

namespace zarn::test {

// Hands out its bytes in slices of a chosen size, then ends, or fails with `failure`: a body
// as a network delivers it.
class SlicedStream : public platform::ByteStream {
public:
    SlicedStream(std::string_view bytes, std::size_t slice, std::optional<std::string> failure = std::nullopt)
        : rest_(bytes), slice_(slice), failure_(std::move(failure)) {}
    Result<std::size_t> read(char* buffer, std::size_t size) override {
        if (rest_.empty() && failure_) return unexpected(Error{*failure_});
        const std::size_t count = std::min({size, slice_, rest_.size()});
        rest_.copy(buffer, count);
        rest_.remove_prefix(count);
        return count;
    }

private:
    std::string_view rest_;
    std::size_t slice_;
    std::optional<std::string> failure_;
};

}  // namespace zarn::test
