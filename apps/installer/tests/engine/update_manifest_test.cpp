#include "engine/update_manifest.h"

#include <gtest/gtest.h>

#include <ostream>
#include <variant>

#include "support/sliced_stream.h"

namespace zarn {

void PrintTo(const UpdateManifest& manifest, std::ostream* out) {
    *out << "{version \"" << manifest.version << "\", downloads {";
    for (const auto& [key, artifact] : manifest.downloads) {
        *out << " \"" << key << "\": [\"" << artifact.url << "\", \"" << artifact.sha256 << "\", " << artifact.size
             << "]";
    }
    *out << " }}";
}

namespace {

using test::SlicedStream;

using Expected = std::variant<UpdateManifest, std::string>;

struct Case {
    const char* what;
    std::string json;
    Expected expected;
};

UpdateManifest manifest(std::string version, UpdateManifest::Downloads downloads = {}) {
    return {std::move(version), std::move(downloads)};
}

std::string nested_arrays(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

const UpdateArtifact kPackage{"/files/zarn.exe", "AbC123", 52428800};

std::vector<Case> cases() {
    return {
        // What decodes.
        {"version alone", R"({"version":"1.4.0"})", manifest("1.4.0")},
        {"array with the version alone", R"(["1.4.0"])", manifest("1.4.0")},
        {"full object", R"({"version":"1.4.0","downloads":{"windows_x64":{"url":"/files/zarn.exe","sha256":"AbC123","size":52428800}}})",
         manifest("1.4.0", {{"windows_x64", kPackage}})},
        {"array forms with white space everywhere",
         " [ \"1.4.0\" ,\n\t{ \"windows_x64\" : [ \"/files/zarn.exe\" , \"AbC123\" , 52428800 ] } ]\r\n ",
         manifest("1.4.0", {{"windows_x64", kPackage}})},
        {"empty texts and other platforms", R"({"downloads":{"linux":{"url":"","sha256":"","size":0}},"version":""})",
         manifest("", {{"linux", {"", "", 0}}})},
        {"keys and texts unescaped",
         R"({"vers\u0069on":"\"1\\2\/\n\u0416\ud83d\ude00","downloads":{"w\u0069n":["a","b",1]}})",
         manifest("\"1\\2/\n\xD0\x96\xF0\x9F\x98\x80", {{"win", {"a", "b", 1}}})},
        {"the later windows_x64 wins",
         R"({"version":"1","downloads":{"windows_x64":{"url":"old","sha256":"1","size":1},"windows_x64":["new","2",2]}})",
         manifest("1", {{"windows_x64", {"new", "2", 2}}})},
        {"other keys skipped at any depth, also repeated",
         R"({"x":[1,-2.5e-3,{"a":[true,false,null]}],"version":"1","x":{"\u00e9":"\ud800"},"downloads":{"w":{"size":7,"extra":[{}],"url":"u","sha256":"s","extra":{"k":[]}}}})",
         manifest("1", {{"w", {"u", "s", 7}}})},
        {"keys inside skipped values read like any other string",
         R"({"x":{"\ud800":1,"y":[{"\udc00\ud800":{}}]},"version":"1","downloads":{"w":{"url":"u","sha256":"s","size":1,"z":{"\udfff":0}}}})",
         manifest("1", {{"w", {"u", "s", 1}}})},
        {"largest size", R"({"version":"1","downloads":{"w":["u","s",18446744073709551615]}})",
         manifest("1", {{"w", {"u", "s", 18446744073709551615u}}})},
        {"128 levels, counting skipped values", R"({"version":"1","x":)" + nested_arrays(127) + "}", manifest("1")},

        // Records missing fields or holding them twice.
        {"downloads without version", R"({"downloads":{}})", "missing field `version` at line 1 column 16"},
        {"version only in capitals", R"({"VERSION":"1"})", "missing field `version` at line 1 column 15"},
        {"version twice, equal", R"({"version":"1", "version":"1"})", "duplicate field `version` at line 1 column 26"},
        {"downloads twice", R"({"downloads":{},"downloads":{}})", "duplicate field `downloads` at line 1 column 28"},
        {"artifact without size", R"({"version":"1","downloads":{"w":{"url":"u","sha256":"s"}}})",
         "missing field `size` at line 1 column 56"},
        {"empty artifact reports url first", R"({"version":"1","downloads":{"w":{}}})",
         "missing field `url` at line 1 column 34"},
        {"url twice", R"({"version":"1","downloads":{"w":{"url":"u","url":"u"}}})",
         "duplicate field `url` at line 1 column 49"},
        {"empty manifest array", "[ ]", "invalid length 0, expected struct UpdateManifest with 2 elements at line 1 column 3"},
        {"artifact array of one", R"(["1",{"w":["u"]}])",
         "invalid length 1, expected struct UpdateArtifact with 3 elements at line 1 column 15"},
        {"artifact array of two", R"(["1",{"w":["u","s"]}])",
         "invalid length 2, expected struct UpdateArtifact with 3 elements at line 1 column 19"},
        {"third manifest element", R"(["1",{},3])", "trailing characters at line 1 column 9"},
        {"fourth artifact element", R"(["1",{"w":["u","s",1,2]}])", "trailing characters at line 1 column 22"},
        {"trailing comma in an array form", R"(["1",{},])", "trailing comma at line 1 column 9"},

        // Values of the wrong kind.
        {"manifest as a number", " 5 ", "invalid type: integer `5`, expected struct UpdateManifest at line 1 column 3"},
        {"manifest as a text", R"("a\"b\n")",
         R"(invalid type: string "a\"b\n", expected struct UpdateManifest at line 1 column 8)"},
        {"manifest as null", "null", "invalid type: null, expected struct UpdateManifest at line 1 column 4"},
        {"version as a number", R"({"version":1.0})", "invalid type: floating point `1.0`, expected a string at line 1 column 15"},
        {"downloads as an array", R"({"version":"1","downloads":[]})",
         "invalid type: sequence, expected a map at line 1 column 28"},
        {"artifact as true", R"({"version":"1","downloads":{"w":true}})",
         "invalid type: boolean `true`, expected struct UpdateArtifact at line 1 column 36"},
        {"size as a text", R"(["1",{"w":["u","s","5"]}])", R"(invalid type: string "5", expected u64 at line 1 column 22)"},
        {"size with a fraction", R"(["1",{"w":["u","s",1.5]}])",
         "invalid type: floating point `1.5`, expected u64 at line 1 column 23"},
        {"size with an exponent", R"(["1",{"w":["u","s",1e3]}])",
         "invalid type: floating point `1000.0`, expected u64 at line 1 column 23"},
        {"negative size", R"(["1",{"w":["u","s",-1]}])", "invalid value: integer `-1`, expected u64 at line 1 column 22"},
        {"negative zero size", R"(["1",{"w":["u","s",-0]}])",
         "invalid type: floating point `-0.0`, expected u64 at line 1 column 22"},
        {"size past u64", R"(["1",{"w":["u","s",18446744073709551616]}])",
         "invalid type: floating point `18446744073709552000.0`, expected u64 at line 1 column 40"},
        {"size past double", R"(["1",{"w":["u","s",1e400]}])", "number out of range at line 1 column 25"},
        {"size as null", R"(["1",{"w":["u","s",null]}])", "invalid type: null, expected u64 at line 1 column 23"},

        // Malformed JSON and what follows the manifest.
        {"empty body", "", "EOF while parsing a value at line 1 column 0"},
        {"white space only", " \n ", "EOF while parsing a value at line 2 column 1"},
        {"text after the manifest", "{\"version\":\"1\"}\n x", "trailing characters at line 2 column 2"},
        {"second manifest", R"({"version":"1"}{})", "trailing characters at line 1 column 16"},
        {"not a value", "{\"version\":\"1\",\"x\":@}", "expected value at line 1 column 20"},
        {"misspelt literal", R"({"x":nul,"version":"1"})", "expected ident at line 1 column 9"},
        {"trailing comma in an object", R"({"version":"1",})", "trailing comma at line 1 column 16"},
        {"missing colon", R"({"version" "1"})", "expected `:` at line 1 column 12"},
        {"missing comma", R"({"version":"1" "x":1})", "expected `,` or `}` at line 1 column 16"},
        {"key not a string", R"({version:"1"})", "key must be a string at line 1 column 2"},
        {"leading zero", R"({"x":01,"version":"1"})", "invalid number at line 1 column 7"},
        {"bare minus", R"({"x":-,"version":"1"})", "invalid number at line 1 column 7"},
        {"bad escape", R"({"version":"\x"})", "invalid escape at line 1 column 14"},
        {"lone surrogate", R"({"version":"\udc00"})", "lone leading surrogate in hex escape at line 1 column 18"},
        {"lone surrogate in a key of the manifest", R"({"\ud800":1,"version":"1"})",
         "unexpected end of hex escape at line 1 column 9"},
        {"lone surrogate in a platform key", R"({"version":"1","downloads":{"\udc00":["u","s",1]}})",
         "lone leading surrogate in hex escape at line 1 column 35"},
        {"control character in a text", "{\"version\":\"a\tb\"}", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 14"},
        {"text not UTF-8", "{\"version\":\"\xFF\"}", "invalid unicode code point at line 1 column 14"},
        {"stream ends inside the object", R"({"version":"1")", "EOF while parsing an object at line 1 column 14"},
        {"stream ends inside a text", R"({"version":"1)", "EOF while parsing a string at line 1 column 13"},
        {"stream ends inside an array", R"(["1")", "EOF while parsing a list at line 1 column 4"},
        {"129 levels", R"({"version":"1","x":)" + nested_arrays(128) + "}", "recursion limit exceeded at line 1 column 147"},
        {"129 levels of records", R"({"version":"1","downloads":{"w":{"x":)" + nested_arrays(126) + "}}}",
         "recursion limit exceeded at line 1 column 163"},
    };
}

Expected decode(platform::ByteStream& stream) {
    auto decoded = deserialize_update_manifest(stream);
    if (!decoded) return decoded.error().text;
    return std::move(*decoded);
}

TEST(UpdateManifest, DecodesOrWordsTheErrorWithItsPosition) {
    for (const auto& c : cases()) {
        platform::MemoryByteStream whole(c.json);
        EXPECT_EQ(decode(whole), c.expected) << c.what;
        // Slices of one byte put every token across a read boundary.
        SlicedStream bytewise(c.json, 1);
        EXPECT_EQ(decode(bytewise), c.expected) << c.what << ", read byte by byte";
    }
}

TEST(UpdateManifest, ValuesLongerThanTheReadBufferDecode) {
    const std::string version(10000, 'v');
    const std::string json = "{\"x\":\"" + std::string(9000, 'x') + "\",\"version\":\"" + version + "\"}";
    platform::MemoryByteStream stream(json);
    EXPECT_EQ(decode(stream), Expected(manifest(version)));
}

TEST(UpdateManifest, AFailedReadIsADecodingError) {
    SlicedStream broken(R"({"version":"1","downl)", 8, "connection reset");
    EXPECT_EQ(decode(broken), Expected("connection reset at line 1 column 21"));
}

TEST(UpdateManifest, NothingIsReadPastTheEndOfTheStream) {
    // A stream that fails once asked again after its end: the manifest decodes all the same.
    SlicedStream once(R"({"version":"1"})", 64);
    class EndsOnce : public platform::ByteStream {
    public:
        explicit EndsOnce(platform::ByteStream& inner) : inner_(inner) {}
        Result<std::size_t> read(char* buffer, std::size_t size) override {
            if (ended_) return unexpected(Error{"read after the end"});
            auto count = inner_.read(buffer, size);
            ended_ = count && *count == 0;
            return count;
        }

    private:
        platform::ByteStream& inner_;
        bool ended_ = false;
    } stream(once);
    EXPECT_EQ(decode(stream), Expected(manifest("1")));
}

}  // namespace
}  // namespace zarn
