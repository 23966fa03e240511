#include "platform/gzip_body.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "platform/ascii.h"

namespace zarn::platform {

namespace {

constexpr std::size_t kCompressedChunk = 32'768;
// zlib counts in `uInt`; a read never asks for more than this at once.
constexpr std::size_t kMostPerInflate = 1u << 30;

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

class GzipBody final : public ByteStream {
public:
    GzipBody(std::unique_ptr<ByteStream> raw, std::string url) : raw_(std::move(raw)), url_(std::move(url)) {
        // 16 + the largest window: a gzip wrapper, whose CRC-32 and length zlib checks.
        ready_ = ::inflateInit2(&inflater_, 16 + MAX_WBITS) == Z_OK;
    }
    ~GzipBody() override {
        if (ready_) ::inflateEnd(&inflater_);
    }
    GzipBody(const GzipBody&) = delete;
    GzipBody& operator=(const GzipBody&) = delete;

    Result<std::size_t> read(char* buffer, std::size_t size) override {
        if (!ready_) return unexpected(damaged());
        if (ended_ || size == 0) return std::size_t{0};
        for (;;) {
            if (inflater_.avail_in == 0) {
                auto refilled = refill();
                if (!refilled) return unexpected(refilled.error());
                if (!*refilled) return finish_without_marker();
            }
            const auto produced = inflate_into(buffer, std::min(size, kMostPerInflate));
            if (!produced) return unexpected(produced.error());
            if (*produced > 0 || ended_) return *produced;
        }
    }

private:
    // Reads the next compressed bytes; false at the end of the raw body.
    Result<bool> refill() {
        const auto count = raw_->read(compressed_.data(), compressed_.size());
        if (!count) return unexpected(count.error());
        inflater_.next_in = reinterpret_cast<Bytef*>(compressed_.data());
        inflater_.avail_in = static_cast<uInt>(*count);
        raw_bytes_ += *count;
        return *count > 0;
    }

    Result<std::size_t> inflate_into(char* buffer, std::size_t size) {
        inflater_.next_out = reinterpret_cast<Bytef*>(buffer);
        inflater_.avail_out = static_cast<uInt>(size);
        const int result = ::inflate(&inflater_, Z_NO_FLUSH);
        const std::size_t produced = size - inflater_.avail_out;
        if (result == Z_STREAM_END) {
            // What follows the end marker is not part of the body.
            ended_ = true;
            return produced;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) return unexpected(damaged());
        return produced;
    }

    // An empty body carries no gzip stream at all and is taken as empty; any other body
    // that stops before the end marker was cut short.
    Result<std::size_t> finish_without_marker() {
        if (raw_bytes_ == 0) {
            ended_ = true;
            return std::size_t{0};
        }
        return unexpected(damaged());
    }

    Error damaged() const { return Error{url_ + ": the gzip body is damaged or incomplete"}; }

    std::unique_ptr<ByteStream> raw_;
    std::string url_;
    z_stream inflater_{};
    bool ready_ = false;
    bool ended_ = false;
    std::uint64_t raw_bytes_ = 0;
    std::vector<char> compressed_ = std::vector<char>(kCompressedChunk);
};

}  // namespace

bool is_gzip_encoding(std::string_view content_encoding) {
    const auto name = trimmed(content_encoding);
    return equal_ignoring_ascii_case(name, "gzip") || equal_ignoring_ascii_case(name, "x-gzip");
}

std::unique_ptr<ByteStream> decoded_body(std::unique_ptr<ByteStream> raw, std::string_view content_encoding,
                                         std::string url) {
    if (!is_gzip_encoding(content_encoding)) return raw;
    return std::make_unique<GzipBody>(std::move(raw), std::move(url));
}

}  // namespace zarn::platform
