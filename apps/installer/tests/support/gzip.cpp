#include "support/gzip.h"

#include <zlib.h>

namespace zarn::test {

std::string gzip(const std::string& bytes) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string packed(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return packed;
}

std::string varied_text(std::size_t size) {
    std::string text;
    for (std::size_t i = 0; text.size() < size; ++i) text += "line " + std::to_string(i * i % 9973) + "\n";
    text.resize(size);
    return text;
}

}  // namespace zarn::test
