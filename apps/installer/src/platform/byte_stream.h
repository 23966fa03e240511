#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "platform/result.h"

namespace zarn::platform {

// A source of bytes read in slices, such as a response body.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Fills up to `size` bytes; 0 means the end of the stream.
    virtual Result<std::size_t> read(char* buffer, std::size_t size) = 0;
};

// A stream over bytes held in memory, e.g. a page message.
class MemoryByteStream : public ByteStream {
public:
    explicit MemoryByteStream(std::string_view bytes) : rest_(bytes) {}
    Result<std::size_t> read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min(size, rest_.size());
        std::memcpy(buffer, rest_.data(), count);
        rest_.remove_prefix(count);
        return count;
    }

private:
    std::string_view rest_;
};

}  // namespace zarn::platform
