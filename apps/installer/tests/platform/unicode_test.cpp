#include "platform/unicode.h"

#include <gtest/gtest.h>

namespace zarn::platform {
namespace {

TEST(Unicode, ReplacesWhatDoesNotConvert) {
    EXPECT_EQ(utf8_from_utf16_lossy(u"Bob\u2019s \U0001F600"), "Bob\u2019s \U0001F600");
    EXPECT_EQ(utf8_from_utf16_lossy(std::u16string{u'a', char16_t(0xD800), u'b'}), "a\uFFFDb");
    EXPECT_EQ(utf8_from_utf16_lossy(std::u16string{char16_t(0xDC00)}), "\uFFFD");
    EXPECT_EQ(utf8_lossy("ok \xd0\x9f"), "ok \u041f");
    EXPECT_EQ(utf8_lossy("a\xff" "b"), "a\uFFFDb");
    EXPECT_EQ(utf8_lossy("\xe2\x82"), "\uFFFD");
    EXPECT_EQ(utf8_lossy("\xed\xa0\x80"), "\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
    EXPECT_EQ(utf16_from_utf8_lossy("Ж\U0001F600"), u"Ж\U0001F600");
}

TEST(Unicode, ValidatesBothEncodings) {
    EXPECT_TRUE(is_valid_utf8("Установка ZARN"));
    EXPECT_FALSE(is_valid_utf8("\xc0\xaf"));
    EXPECT_TRUE(is_valid_utf16(u"\U0001F600"));
    EXPECT_FALSE(is_valid_utf16(std::u16string{u'x', char16_t(0xDBFF)}));
}

}  // namespace
}  // namespace zarn::platform
