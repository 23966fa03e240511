#include "page/embedded_page.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace zarn {
namespace {

std::string page_file() {
#ifdef _WIN32
    // Under Wine the build tree's Unix paths are reached through drive Z:.
    return std::string("Z:") + ZARN_PAGE_FILE;
#else
    return ZARN_PAGE_FILE;
#endif
}

TEST(EmbeddedPage, IsTheFileByteForByte) {
    const std::string file = test::read_file(page_file());
    ASSERT_FALSE(file.empty());
    // Compared as a whole: a dropped, added or re-encoded byte anywhere (the Cyrillic texts
    // included) fails here.
    EXPECT_EQ(embedded_page().size(), file.size());
    EXPECT_TRUE(embedded_page() == file);
}

}  // namespace
}  // namespace zarn
