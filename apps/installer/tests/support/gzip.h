#pragma once

#include <string>

namespace zarn::test {

// `bytes` as one gzip stream, as a server would send them with "Content-Encoding: gzip".
std::string gzip(const std::string& bytes);

// Bytes that compress, but not to nothing.
std::string varied_text(std::size_t size);

}  // namespace zarn::test
