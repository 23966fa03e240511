# Writes a C++ source that holds a file's bytes as the text returned by zarn::embedded_page().
#   cmake -DINPUT=index.html -DOUTPUT=embedded_page.cpp -P embed_page.cmake
# The bytes go into an array, not a string literal: compilers limit the length of a literal
# (MSVC to about 16 KB each), never that of an array.
file(READ "${INPUT}" page_hex HEX)
string(LENGTH "${page_hex}" hex_length)
math(EXPR page_size "${hex_length} / 2")
# Sixteen bytes a line, each written as 0xNN.
string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])"
       "\\1\n    " page_bytes "${page_hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," page_bytes "${page_bytes}")
file(WRITE "${OUTPUT}" "// Made by the build from index.html; edit that file, not this one.
#include \"page/embedded_page.h\"

namespace zarn {

namespace {
// The page's bytes and a terminating zero, which also keeps the array from being empty.
constexpr unsigned char kPage[] = {
    ${page_bytes}0x00};
static_assert(sizeof kPage == ${page_size} + 1);
}  // namespace

std::string_view embedded_page() {
    return {reinterpret_cast<const char*>(kPage), sizeof kPage - 1};
}

}  // namespace zarn
")
