#include "engine/folder_text.h"

#include <gtest/gtest.h>

#include <string>

namespace zarn {
namespace {

struct Character {
    const char* name;
    std::string utf8;
    bool white_space;
};

// Every Unicode White_Space character, and characters and bytes that look like one but are kept.
const Character kCharacters[] = {
    {"U+0009", "\t", true},
    {"U+000A", "\n", true},
    {"U+000B", "\v", true},
    {"U+000C", "\f", true},
    {"U+000D", "\r", true},
    {"U+0020", " ", true},
    {"U+0085", "\u0085", true},
    {"U+00A0", "\u00A0", true},
    {"U+1680", "\u1680", true},
    {"U+2000", "\u2000", true},
    {"U+2001", "\u2001", true},
    {"U+2002", "\u2002", true},
    {"U+2003", "\u2003", true},
    {"U+2004", "\u2004", true},
    {"U+2005", "\u2005", true},
    {"U+2006", "\u2006", true},
    {"U+2007", "\u2007", true},
    {"U+2008", "\u2008", true},
    {"U+2009", "\u2009", true},
    {"U+200A", "\u200A", true},
    {"U+2028", "\u2028", true},
    {"U+2029", "\u2029", true},
    {"U+202F", "\u202F", true},
    {"U+205F", "\u205F", true},
    {"U+3000", "\u3000", true},
    // Invisible or separating, yet no white space.
    {"U+200B", "\u200B", false},
    {"U+180E", "\u180E", false},
    {"U+FEFF", "\uFEFF", false},
    {"U+001C", "\x1C", false},
    {"U+001D", "\x1D", false},
    {"U+001E", "\x1E", false},
    {"U+001F", "\x1F", false},
    {"U+0000", std::string(1, '\0'), false},
    // Bytes that only a lax decoder would take for white space.
    {"overlong U+0020", "\xC0\xA0", false},
    {"overlong U+0085", "\xE0\x82\x85", false},
    {"overlong U+00A0", "\xE0\x82\xA0", false},
    {"continuation byte of U+0085", "\x85", false},
    {"continuation byte of U+00A0", "\xA0", false},
    {"U+3000 cut short", "\xE3\x80", false},
    {"U+2000 without its lead", "\x80\x80", false},
};

TEST(FolderText, TrimsTheWhiteSpaceCharactersAndKeepsTheirLookAlikes) {
    const std::string folder = "D:\\Программы\\ZARN";
    for (const auto& c : kCharacters) {
        SCOPED_TRACE(c.name);
        const std::string& x = c.utf8;
        if (c.white_space) {
            EXPECT_EQ(trim_white_space(x + folder), folder);
            EXPECT_EQ(trim_white_space(folder + x), folder);
            EXPECT_EQ(trim_white_space(x + x + " " + folder + "\t" + x), folder);
            // Only the ends are trimmed.
            EXPECT_EQ(trim_white_space(x + "D:\\A" + x + "B" + x), "D:\\A" + x + "B");
            EXPECT_TRUE(is_blank(x));
            EXPECT_TRUE(is_blank(" " + x + x + "\n"));
        } else {
            EXPECT_EQ(trim_white_space(x + folder + x), x + folder + x);
            EXPECT_EQ(trim_white_space(" " + x + " "), x);
            EXPECT_EQ(trim_white_space("\u3000" + folder + x + "\u3000"), folder + x);
            EXPECT_FALSE(is_blank(x));
            EXPECT_FALSE(is_blank("\u2028" + x + "\u00A0"));
        }
    }
    EXPECT_TRUE(is_blank(""));
}

}  // namespace
}  // namespace zarn
