#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/byte_stream.h"

namespace zarn::test {

// Hands out its bytes in pieces of a chosen size, then ends, or fails with `failure`: a body
// as a network delivers it.
class PiecewiseStream : public platform::ByteStream {
public:
    PiecewiseStream(std::string_view bytes, std::size_t piece, std::optional<std::string> failure = std::nullopt)
        : rest_(bytes), piece_(piece), failure_(std::move(failure)) {}
    Result<std::size_t> read(char* buffer, std::size_t size) override {
        if (rest_.empty() && failure_) return unexpected(Error{*failure_});
        const std::size_t count = std::min({size, piece_, rest_.size()});
        rest_.copy(buffer, count);
        rest_.remove_prefix(count);
        return count;
    }

private:
    std::string_view rest_;
    std::size_t piece_;
    std::optional<std::string> failure_;
};

}  // namespace zarn::test
