#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_stream.h"
#include "platform/result.h"

// A strict pull reader of one JSON text (RFC 8259), shared by the decoders of the update
// manifest and of the page's messages. It holds one buffer of the stream, never the document;
// it reads values of the kinds the caller asks for and skips the rest, which must still be
// well-formed. Every error reads "{what} at line {line} column {column}", where the column counts the
// bytes of the line read so far, the byte looked at included.
namespace zarn::json {

// What peek_token shows once the stream has ended.
inline constexpr int kEnd = -1;

// Arrays and objects open at once, skipped values included.
inline constexpr std::size_t kMaxDepth = 128;

// Whether the values that skip_value passes over count toward kMaxDepth.
enum class SkippedDepth { Limited, Unlimited };

class Reader {
public:
    explicit Reader(platform::ByteStream& stream, SkippedDepth skipped_depth = SkippedDepth::Limited)
        : stream_(stream), skipped_depth_(skipped_depth) {}
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Skips white space and shows the next byte (0-255) without taking it; kEnd at the end.
    Result<int> peek_token();
    // Takes the byte that peek_token showed.
    void take() { has_lookahead_ = false; }

    // The text with the reader's position appended.
    Error error(std::string_view what) const;
    Unexpected<Error> fail(std::string_view what) const { return unexpected(error(what)); }

    // Values of one kind; any other value is "invalid type: {found}, expected {expected}".
    Result<std::string> read_string(std::string_view expected = "a string");
    Result<std::optional<std::string>> read_string_or_null();
    Result<bool> read_bool();
    Result<std::uint64_t> read_u64();
    // Reads any well-formed value, however nested (within the depth limit unless the reader
    // was made with SkippedDepth::Unlimited), and drops it.
    Result<void> skip_value();
    // Only white space may follow, up to the end of the stream.
    Result<void> read_end();

    enum class Container { Object, Array };
    // Takes the "{" (or, when `array_form`, the "[") that opens a value described as `expected`.
    Result<Container> open(std::string_view expected, bool array_form);
    // Within an object: the next key, read but not its colon; none at the closing "}".
    Result<std::optional<std::string>> next_key();
    Result<void> read_colon();
    // Within an array: whether another element follows.
    Result<bool> next_element();
    // Takes the closing bracket; anything else where it belongs is an error.
    Result<void> close_object();
    Result<void> close_array();

private:
    struct Number;

    // "invalid type: {found}, expected {expected}" for the value at hand, which is read; or the
    // error that reading it gave.
    Error invalid_type(std::string_view expected);

    Result<int> fetch();
    Result<int> next_byte();
    Result<void> read_literal_rest(std::string_view rest);
    Result<void> read_string_body(std::string* kept);
    Result<void> read_escape(std::string* kept);
    Result<void> read_unicode_escape(std::string& kept);
    Result<std::uint16_t> read_hex_escape();
    Result<Number> read_number(bool keep);
    Result<void> skip_scalar(int first);
    Result<void> open_taken(int bracket, bool limited = true);
    // Within an object: whether a key follows, read into `kept` unless it is null.
    Result<bool> next_key_into(std::string* kept);

    platform::ByteStream& stream_;
    SkippedDepth skipped_depth_;
    std::array<char, 4096> buffer_{};
    std::size_t buffered_ = 0;
    std::size_t position_ = 0;
    bool ended_ = false;
    bool has_lookahead_ = false;
    unsigned char lookahead_ = 0;
    std::uint64_t line_ = 1;
    std::uint64_t column_ = 0;
    struct Open {
        bool object;
        bool first;  // nothing read from it yet
    };
    std::vector<Open> open_;
};

// One field of a record and when its absence is an error.
struct Field {
    std::string_view key;
    bool required_in_object = true;
    bool required_in_array = true;
};

// Reads a record, e.g. "struct UpdateArtifact", in its object form or its array form (the
// fields by position). `read_field(i)` reads the value of fields[i]. A field's key read a second
// time is an error at once; other keys' values are skipped. Fields left absent keep whatever
// the caller set before.
Result<void> read_record(Reader& reader, std::string_view name, std::span<const Field> fields,
                         const std::function<Result<void>(std::size_t)>& read_field);

// Stores a read value, or passes its error on.
template <class T, class U>
Result<void> assign(T& target, Result<U> value) {
    if (!value) return unexpected(value.error());
    target = std::move(*value);
    return {};
}

}  // namespace zarn::json
