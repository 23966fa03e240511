#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/byte_stream.h"

namespace zarn::platform {

// The body as the caller reads it: the raw body when `content_encoding` names no gzip, else
// the gzip stream undone read by read. Both HTTP agents hand their bodies out through here,
// so that a damaged or cut gzip stream is told the same way on every build: a stream that
// ends before its end marker, or whose CRC or length does not match, is a failed read
// ("{url}: …").
std::unique_ptr<ByteStream> decoded_body(std::unique_ptr<ByteStream> raw, std::string_view content_encoding,
                                         std::string url);

// "gzip" and its old name "x-gzip", in any case, blanks around them passed over.
bool is_gzip_encoding(std::string_view content_encoding);

}  // namespace zarn::platform
