#include "engine/strict_json.h"

#include <charconv>
#include <limits>
#include <system_error>
#include <variant>

#include "platform/unicode.h"

namespace zarn::json {

// A number as read: unsigned or negative integers while they fit, anything else a double.
struct Reader::Number {
    std::variant<std::uint64_t, std::int64_t, double> value;
};

namespace {

constexpr std::string_view kEofValue = "EOF while parsing a value";
constexpr std::string_view kEofString = "EOF while parsing a string";
constexpr std::string_view kEofList = "EOF while parsing a list";
constexpr std::string_view kEofObject = "EOF while parsing an object";
constexpr std::string_view kInvalidNumber = "invalid number";
constexpr std::string_view kInvalidEscape = "invalid escape";
constexpr std::string_view kTrailingCharacters = "trailing characters";
constexpr std::string_view kTrailingComma = "trailing comma";

bool is_white_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

template <class T>
std::string decimal(T value) {
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return std::string(text.data(), end);
}

void append_utf8(std::string& out, std::uint32_t code_point) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | (code_point >> 6));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        out += static_cast<char>(0xE0 | (code_point >> 12));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code_point >> 18));
        out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

// A double written out in full without an exponent, always with a decimal point, from the
// shortest digits that read back as the same value: 1e20 gives "100000000000000000000.0".
std::string float_text(double value) {
    std::array<char, 64> text{};
    const auto end =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::scientific).ptr;
    const std::string_view scientific(text.data(), static_cast<std::size_t>(end - text.data()));
    const auto e = scientific.find('e');
    std::string_view mantissa = scientific.substr(0, e);
    std::string sign;
    if (!mantissa.empty() && mantissa.front() == '-') {
        sign = "-";
        mantissa.remove_prefix(1);
    }
    std::string digits;
    for (const char c : mantissa) {
        if (c != '.') digits += c;
    }
    int exponent = 0;
    std::string_view exponent_text = scientific.substr(e + 1);
    if (!exponent_text.empty() && exponent_text.front() == '+') exponent_text.remove_prefix(1);
    std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);

    const int before_point = exponent + 1;
    const int count = static_cast<int>(digits.size());
    if (before_point <= 0) return sign + "0." + std::string(static_cast<std::size_t>(-before_point), '0') + digits;
    if (before_point >= count) {
        return sign + digits + std::string(static_cast<std::size_t>(before_point - count), '0') + ".0";
    }
    return sign + digits.substr(0, static_cast<std::size_t>(before_point)) + "." +
           digits.substr(static_cast<std::size_t>(before_point));
}

// A found text as the error shows it: quoted, with quotes, backslashes and control
// characters escaped.
std::string quoted_for_error(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    std::array<char, 8> hex{};
                    const auto end = std::to_chars(hex.data(), hex.data() + hex.size(), c, 16).ptr;
                    out += "\\u{" + std::string(hex.data(), end) + "}";
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

std::string describe(const std::variant<std::uint64_t, std::int64_t, double>& number) {
    if (const auto* u = std::get_if<std::uint64_t>(&number)) return "integer `" + decimal(*u) + "`";
    if (const auto* i = std::get_if<std::int64_t>(&number)) return "integer `" + decimal(*i) + "`";
    return "floating point `" + float_text(std::get<double>(number)) + "`";
}

// The sign of the decimal exponent of a number's first significant digit, for a value too
// large or too small for a double: +1, -1, or 0 when every digit is zero.
int magnitude_sign(std::string_view text) {
    const auto e = text.find_first_of("eE");
    const std::string_view mantissa = text.substr(0, e);
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view exponent_text = text.substr(e + 1);
        const bool negative = !exponent_text.empty() && exponent_text.front() == '-';
        if (!exponent_text.empty() && (exponent_text.front() == '-' || exponent_text.front() == '+')) {
            exponent_text.remove_prefix(1);
        }
        // Exponents past the range of long long only grow more certain in their sign.
        if (std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent).ec !=
            std::errc{}) {
            exponent = std::numeric_limits<long long>::max() / 2;
        }
        if (negative) exponent = -exponent;
    }
    const auto point = mantissa.find('.');
    const std::string_view whole = mantissa.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : mantissa.substr(point + 1);
    const auto first_whole = whole.find_first_not_of("-0");
    long long first = 0;
    if (first_whole != std::string_view::npos) {
        first = static_cast<long long>(whole.size() - first_whole) - 1;
    } else {
        const auto first_fraction = fraction.find_first_not_of('0');
        if (first_fraction == std::string_view::npos) return 0;
        first = -static_cast<long long>(first_fraction) - 1;
    }
    const long long position = first + exponent;
    return position >= 0 ? 1 : -1;
}

}  // namespace

Error Reader::error(std::string_view what) const {
    return Error{std::string(what) + " at line " + decimal(line_) + " column " + decimal(column_)};
}

Result<int> Reader::fetch() {
    if (has_lookahead_) return static_cast<int>(lookahead_);
    if (position_ == buffered_) {
        if (ended_) return kEnd;
        auto read = stream_.read(buffer_.data(), buffer_.size());
        if (!read) return fail(read.error().text);
        if (*read == 0) {
            ended_ = true;
            return kEnd;
        }
        buffered_ = *read;
        position_ = 0;
    }
    lookahead_ = static_cast<unsigned char>(buffer_[position_++]);
    has_lookahead_ = true;
    if (lookahead_ == '\n') {
        ++line_;
        column_ = 0;
    } else {
        ++column_;
    }
    return static_cast<int>(lookahead_);
}

Result<int> Reader::next_byte() {
    auto c = fetch();
    if (c && *c != kEnd) take();
    return c;
}

Result<int> Reader::peek_token() {
    while (true) {
        auto c = fetch();
        if (!c || !is_white_space(*c)) return c;
        take();
    }
}

Result<void> Reader::read_literal_rest(std::string_view rest) {
    for (const char expected : rest) {
        auto c = next_byte();
        if (!c) return unexpected(c.error());
        if (*c == kEnd) return fail(kEofValue);
        if (*c != static_cast<unsigned char>(expected)) return fail("expected ident");
    }
    return {};
}

// After the opening quote; `kept` receives the unescaped text, or nothing when skipping.
Result<void> Reader::read_string_body(std::string* kept) {
    while (true) {
        auto c = next_byte();
        if (!c) return unexpected(c.error());
        if (*c == kEnd) return fail(kEofString);
        if (*c == '"') break;
        if (*c == '\\') {
            if (auto escape = read_escape(kept); !escape) return escape;
        } else if (*c < 0x20) {
            return fail("control character (\\u0000-\\u001F) found while parsing a string");
        } else if (kept) {
            *kept += static_cast<char>(*c);
        }
    }
    if (kept && !platform::is_valid_utf8(*kept)) return fail("invalid unicode code point");
    return {};
}

Result<void> Reader::read_escape(std::string* kept) {
    auto c = next_byte();
    if (!c) return unexpected(c.error());
    if (*c == kEnd) return fail(kEofString);
    char unescaped = 0;
    switch (*c) {
        case '"': unescaped = '"'; break;
        case '\\': unescaped = '\\'; break;
        case '/': unescaped = '/'; break;
        case 'b': unescaped = '\b'; break;
        case 'f': unescaped = '\f'; break;
        case 'n': unescaped = '\n'; break;
        case 'r': unescaped = '\r'; break;
        case 't': unescaped = '\t'; break;
        case 'u':
            if (kept) return read_unicode_escape(*kept);
            if (auto hex = read_hex_escape(); !hex) return unexpected(hex.error());
            return {};
        default: return fail(kInvalidEscape);
    }
    if (kept) *kept += unescaped;
    return {};
}

Result<std::uint16_t> Reader::read_hex_escape() {
    std::uint16_t value = 0;
    for (int i = 0; i < 4; ++i) {
        auto c = next_byte();
        if (!c) return unexpected(c.error());
        if (*c == kEnd) return fail(kEofString);
        int digit = 0;
        if (*c >= '0' && *c <= '9') {
            digit = *c - '0';
        } else if (*c >= 'a' && *c <= 'f') {
            digit = *c - 'a' + 10;
        } else if (*c >= 'A' && *c <= 'F') {
            digit = *c - 'A' + 10;
        } else {
            return fail(kInvalidEscape);
        }
        value = static_cast<std::uint16_t>(value * 16 + digit);
    }
    return value;
}

// After "\u": one code point, a surrogate pair written as two escapes.
Result<void> Reader::read_unicode_escape(std::string& kept) {
    auto first = read_hex_escape();
    if (!first) return unexpected(first.error());
    if (*first >= 0xDC00 && *first <= 0xDFFF) return fail("lone leading surrogate in hex escape");
    if (*first < 0xD800 || *first > 0xDBFF) {
        append_utf8(kept, *first);
        return {};
    }
    for (const char expected : std::string_view("\\u")) {
        auto c = next_byte();
        if (!c) return unexpected(c.error());
        if (*c == kEnd) return fail(kEofString);
        if (*c != expected) return fail("unexpected end of hex escape");
    }
    auto second = read_hex_escape();
    if (!second) return unexpected(second.error());
    if (*second < 0xDC00 || *second > 0xDFFF) return fail("lone leading surrogate in hex escape");
    append_utf8(kept, 0x10000 + ((static_cast<std::uint32_t>(*first) - 0xD800) << 10) +
                          (static_cast<std::uint32_t>(*second) - 0xDC00));
    return {};
}

// At the number's first byte, "-" or a digit. Reads it whole, also the byte after it, and
// only works out its value when `keep`.
Result<Reader::Number> Reader::read_number(bool keep) {
    std::string text;
    auto append = [&](int c) {
        if (keep) text += static_cast<char>(c);
    };
    auto digits = [&]() -> Result<bool> {
        bool any = false;
        while (true) {
            auto c = fetch();
            if (!c) return unexpected(c.error());
            if (!is_digit(*c)) return any;
            append(*c);
            take();
            any = true;
        }
    };
    // The integer part and the exponent each need at least one digit.
    auto first_digit = [&]() -> Result<int> {
        auto c = next_byte();
        if (!c) return unexpected(c.error());
        if (*c == kEnd) return fail(kEofValue);
        if (!is_digit(*c)) return fail(kInvalidNumber);
        append(*c);
        return *c;
    };

    auto c = fetch();
    if (!c) return unexpected(c.error());
    if (*c == '-') {
        append(*c);
        take();
    }
    const auto leading = first_digit();
    if (!leading) return unexpected(leading.error());
    if (*leading == '0') {
        auto after = fetch();
        if (!after) return unexpected(after.error());
        if (is_digit(*after)) return fail(kInvalidNumber);
    } else if (auto more = digits(); !more) {
        return unexpected(more.error());
    }
    bool integer = true;
    c = fetch();
    if (!c) return unexpected(c.error());
    if (*c == '.') {
        integer = false;
        append(*c);
        take();
        auto any = digits();
        if (!any) return unexpected(any.error());
        if (!*any) {
            auto after = fetch();
            if (!after) return unexpected(after.error());
            return fail(*after == kEnd ? kEofValue : kInvalidNumber);
        }
        c = fetch();
        if (!c) return unexpected(c.error());
    }
    if (*c == 'e' || *c == 'E') {
        integer = false;
        append(*c);
        take();
        c = fetch();
        if (!c) return unexpected(c.error());
        if (*c == '+' || *c == '-') {
            append(*c);
            take();
        }
        if (auto first = first_digit(); !first) return unexpected(first.error());
        if (auto more = digits(); !more) return unexpected(more.error());
    }
    if (!keep) return Number{};

    const char* const begin = text.data();
    const char* const end = text.data() + text.size();
    if (integer && text.front() != '-') {
        std::uint64_t value = 0;
        if (std::from_chars(begin, end, value).ec == std::errc{}) return Number{value};
    } else if (integer && text != "-0") {
        std::int64_t value = 0;
        if (std::from_chars(begin, end, value).ec == std::errc{}) return Number{value};
    }
    double value = 0;
    if (std::from_chars(begin, end, value).ec == std::errc::result_out_of_range) {
        if (magnitude_sign(text) > 0) return fail("number out of range");
        value = text.front() == '-' ? -0.0 : 0.0;
    }
    return Number{value};
}

Error Reader::invalid_type(std::string_view expected) {
    auto c = peek_token();
    if (!c) return c.error();
    std::string found;
    switch (*c) {
        case kEnd: return error(kEofValue);
        case 'n':
        case 't':
        case 'f': {
            const std::string_view literal = *c == 'n' ? "null" : *c == 't' ? "true" : "false";
            take();
            if (auto rest = read_literal_rest(literal.substr(1)); !rest) return rest.error();
            found = *c == 'n' ? "null" : "boolean `" + std::string(literal) + "`";
            break;
        }
        case '"': {
            take();
            std::string text;
            if (auto body = read_string_body(&text); !body) return body.error();
            found = "string " + quoted_for_error(text);
            break;
        }
        case '[': found = "sequence"; break;
        case '{': found = "map"; break;
        default: {
            if (*c != '-' && !is_digit(*c)) return error("expected value");
            auto number = read_number(true);
            if (!number) return number.error();
            found = describe(number->value);
        }
    }
    return error("invalid type: " + found + ", expected " + std::string(expected));
}

Result<std::string> Reader::read_string(std::string_view expected) {
    auto c = peek_token();
    if (!c) return unexpected(c.error());
    if (*c != '"') return unexpected(invalid_type(expected));
    take();
    std::string text;
    if (auto body = read_string_body(&text); !body) return unexpected(body.error());
    return text;
}

Result<std::optional<std::string>> Reader::read_string_or_null() {
    auto c = peek_token();
    if (!c) return unexpected(c.error());
    if (*c == 'n') {
        take();
        if (auto rest = read_literal_rest("ull"); !rest) return unexpected(rest.error());
        return std::optional<std::string>{};
    }
    auto text = read_string();
    if (!text) return unexpected(text.error());
    return std::optional<std::string>(std::move(*text));
}

Result<bool> Reader::read_bool() {
    auto c = peek_token();
    if (!c) return unexpected(c.error());
    if (*c != 't' && *c != 'f') return unexpected(invalid_type("a boolean"));
    take();
    const bool value = *c == 't';
    if (auto rest = read_literal_rest(value ? "rue" : "alse"); !rest) return unexpected(rest.error());
    return value;
}

Result<std::uint64_t> Reader::read_u64() {
    auto c = peek_token();
    if (!c) return unexpected(c.error());
    if (*c != '-' && !is_digit(*c)) return unexpected(invalid_type("u64"));
    auto number = read_number(true);
    if (!number) return unexpected(number.error());
    if (const auto* value = std::get_if<std::uint64_t>(&number->value)) return *value;
    if (std::holds_alternative<std::int64_t>(number->value)) {
        return fail("invalid value: " + describe(number->value) + ", expected u64");
    }
    return fail("invalid type: " + describe(number->value) + ", expected u64");
}

Result<void> Reader::skip_scalar(int first) {
    switch (first) {
        case kEnd: return fail(kEofValue);
        case '"': take(); return read_string_body(nullptr);
        case 'n': take(); return read_literal_rest("ull");
        case 't': take(); return read_literal_rest("rue");
        case 'f': take(); return read_literal_rest("alse");
        default:
            if (first != '-' && !is_digit(first)) return fail("expected value");
            if (auto number = read_number(false); !number) return unexpected(number.error());
            return {};
    }
}

// Without recursion, so that no input can reach deeper into the machine's stack than the
// depth limit allows into the reader's own.
Result<void> Reader::skip_value() {
    const std::size_t outer_depth = open_.size();
    while (true) {
        auto c = peek_token();
        if (!c) return unexpected(c.error());
        if (*c == '{' || *c == '[') {
            if (auto opened = open_taken(*c, skipped_depth_ == SkippedDepth::Limited); !opened) return opened;
        } else if (auto scalar = skip_scalar(*c); !scalar) {
            return scalar;
        }
        // Close what has ended, then go on with the next member or element, if any.
        while (open_.size() > outer_depth) {
            if (open_.back().object) {
                auto key = next_key_into(nullptr);
                if (!key) return unexpected(key.error());
                if (*key) {
                    if (auto colon = read_colon(); !colon) return colon;
                    break;
                }
                if (auto closed = close_object(); !closed) return closed;
            } else {
                auto more = next_element();
                if (!more) return unexpected(more.error());
                if (*more) break;
                if (auto closed = close_array(); !closed) return closed;
            }
        }
        if (open_.size() == outer_depth) return {};
    }
}

Result<void> Reader::read_end() {
    auto c = peek_token();
    if (!c) return unexpected(c.error());
    if (*c != kEnd) return fail(kTrailingCharacters);
    return {};
}

// At a shown "{" or "[": takes it unless the depth limit forbids.
Result<void> Reader::open_taken(int bracket, bool limited) {
    if (limited && open_.size() >= kMaxDepth) return fail("recursion limit exceeded");
    take();
    open_.push_back({bracket == '{', true});
    return {};
}

Result<Reader::Container> Reader::open(std::string_view expected, bool array_form) {
    auto c = peek_token();
    if (!c) return unexpected(c.error());
    if (*c == kEnd) return fail(kEofValue);
    if (*c != '{' && !(array_form && *c == '[')) return unexpected(invalid_type(expected));
    if (auto opened = open_taken(*c); !opened) return unexpected(opened.error());
    return *c == '{' ? Container::Object : Container::Array;
}

Result<std::optional<std::string>> Reader::next_key() {
    std::string key;
    auto found = next_key_into(&key);
    if (!found) return unexpected(found.error());
    if (!*found) return std::optional<std::string>{};
    return std::optional<std::string>(std::move(key));
}

// A key that nobody looks at is passed over like any other string: escapes that stand for no
// character reject it only where its text is kept.
Result<bool> Reader::next_key_into(std::string* kept) {
    auto c = peek_token();
    if (!c) return unexpected(c.error());
    if (*c == kEnd) return fail(kEofObject);
    if (*c == '}') return false;
    if (open_.back().first) {
        open_.back().first = false;
        if (*c != '"') return fail("key must be a string");
    } else if (*c == ',') {
        take();
        c = peek_token();
        if (!c) return unexpected(c.error());
        if (*c == '}') return fail(kTrailingComma);
        if (*c == kEnd) return fail(kEofValue);
        if (*c != '"') return fail("key must be a string");
    } else {
        return fail("expected `,` or `}`");
    }
    take();
    if (auto body = read_string_body(kept); !body) return unexpected(body.error());
    return true;
}

Result<void> Reader::read_colon() {
    auto c = peek_token();
    if (!c) return unexpected(c.error());
    if (*c == kEnd) return fail(kEofObject);
    if (*c != ':') return fail("expected `:`");
    take();
    return {};
}

Result<bool> Reader::next_element() {
    auto c = peek_token();
    if (!c) return unexpected(c.error());
    if (*c == kEnd) return fail(kEofList);
    if (*c == ']') return false;
    if (open_.back().first) {
        open_.back().first = false;
        return true;
    }
    if (*c != ',') return fail("expected `,` or `]`");
    take();
    c = peek_token();
    if (!c) return unexpected(c.error());
    if (*c == ']') return fail(kTrailingComma);
    if (*c == kEnd) return fail(kEofValue);
    return true;
}

namespace {

// The closing bracket where a container must end: a comma there is a trailing comma when the
// bracket follows it, else trailing characters.
Result<void> close_container(Reader& reader, char bracket, std::string_view eof) {
    auto c = reader.peek_token();
    if (!c) return unexpected(c.error());
    if (*c == bracket) {
        reader.take();
        return {};
    }
    if (*c == kEnd) return reader.fail(eof);
    if (*c == ',') {
        reader.take();
        auto after = reader.peek_token();
        if (!after) return unexpected(after.error());
        return reader.fail(*after == bracket ? kTrailingComma : kTrailingCharacters);
    }
    return reader.fail(kTrailingCharacters);
}

}  // namespace

Result<void> Reader::close_object() {
    if (auto closed = close_container(*this, '}', kEofObject); !closed) return closed;
    open_.pop_back();
    return {};
}

Result<void> Reader::close_array() {
    if (auto closed = close_container(*this, ']', kEofList); !closed) return closed;
    open_.pop_back();
    return {};
}

namespace {

// An error of the record as a whole stands where the reader stops after it: past the white
// space that follows, at the next byte.
Unexpected<Error> record_error(Reader& reader, const std::string& what) {
    static_cast<void>(reader.peek_token());
    return reader.fail(what);
}

Result<void> read_members(Reader& reader, std::span<const Field> fields,
                          const std::function<Result<void>(std::size_t)>& read_field) {
    std::vector<bool> seen(fields.size(), false);
    while (true) {
        auto key = reader.next_key();
        if (!key) return unexpected(key.error());
        if (!*key) break;
        std::size_t index = 0;
        while (index < fields.size() && fields[index].key != **key) ++index;
        if (index < fields.size() && seen[index]) return record_error(reader, "duplicate field `" + **key + "`");
        if (auto colon = reader.read_colon(); !colon) return colon;
        auto value = index < fields.size() ? read_field(index) : reader.skip_value();
        if (!value) return value;
        if (index < fields.size()) seen[index] = true;
    }
    for (std::size_t index = 0; index < fields.size(); ++index) {
        if (!seen[index] && fields[index].required_in_object) {
            return record_error(reader, "missing field `" + std::string(fields[index].key) + "`");
        }
    }
    return reader.close_object();
}

Result<void> read_elements(Reader& reader, std::string_view name, std::span<const Field> fields,
                           const std::function<Result<void>(std::size_t)>& read_field) {
    for (std::size_t index = 0; index < fields.size(); ++index) {
        auto more = reader.next_element();
        if (!more) return unexpected(more.error());
        if (!*more) {
            for (std::size_t absent = index; absent < fields.size(); ++absent) {
                if (fields[absent].required_in_array) {
                    return record_error(reader, "invalid length " + decimal(absent) + ", expected " +
                                                    std::string(name) + " with " + decimal(fields.size()) +
                                                    " elements");
                }
            }
            break;
        }
        if (auto value = read_field(index); !value) return value;
    }
    return reader.close_array();
}

}  // namespace

Result<void> read_record(Reader& reader, std::string_view name, std::span<const Field> fields,
                         const std::function<Result<void>(std::size_t)>& read_field) {
    auto form = reader.open(name, true);
    if (!form) return unexpected(form.error());
    return *form == Reader::Container::Object ? read_members(reader, fields, read_field)
                                              : read_elements(reader, name, fields, read_field);
}

}  // namespace zarn::json
