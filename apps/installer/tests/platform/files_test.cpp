#include "platform/files.h"

#include <gtest/gtest.h>

#include "platform/os_error.h"
#include "platform/path_text.h"
#include "support/links.h"
#include "support/temp_dir.h"

namespace zarn::platform {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;
using test::write_file;

// ENOENT and ERROR_FILE_NOT_FOUND are both 2.
constexpr int kNotFound = 2;

void make_read_only(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

bool ends_with_os_error(const std::string& text) {
    const auto open = text.rfind(" (os error ");
    return open != std::string::npos && open > 0 && text.back() == ')';
}

TEST(CreateFolders, MakesEveryMissingParentAndAcceptsAnExistingFolder) {
    TempDir temp;
    const auto deep = temp / "a" / "b c" / "Привет";
    ASSERT_TRUE(create_folders(deep));
    EXPECT_TRUE(fs::is_directory(deep));
    write_file(deep / "kept.txt", "x");
    EXPECT_TRUE(create_folders(deep));
    EXPECT_EQ(read_file(deep / "kept.txt"), "x");

    // A trailing separator names the same folder.
    const auto trailing = path_from_utf8(path_to_utf8(temp / "t" / "u") + std::string(1, char(fs::path::preferred_separator)));
    EXPECT_TRUE(create_folders(trailing));
    EXPECT_TRUE(fs::is_directory(temp / "t" / "u"));
    EXPECT_TRUE(create_folders({}));
}

TEST(CreateFolders, FailsWithTheSystemsTextWhereAFileStands) {
    TempDir temp;
    write_file(temp / "file", "content");
    for (const auto& folder : {temp / "file", temp / "file" / "below"}) {
        SCOPED_TRACE(path_to_utf8(folder));
        const auto made = create_folders(folder);
        ASSERT_FALSE(made);
        EXPECT_TRUE(ends_with_os_error(made.error().text)) << made.error().text;
    }
    EXPECT_EQ(read_file(temp / "file"), "content");
}

TEST(RemoveFile, RemovesAReadOnlyFileAndReportsAMissingOne) {
    TempDir temp;
    write_file(temp / "locked.exe", "x");
    make_read_only(temp / "locked.exe");
    EXPECT_TRUE(remove_file(temp / "locked.exe"));
    EXPECT_FALSE(fs::exists(temp / "locked.exe"));

    const auto missing = remove_file(temp / "locked.exe");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), os_error(kNotFound));

    fs::create_directory(temp / "folder");
    EXPECT_FALSE(remove_file(temp / "folder"));
    EXPECT_TRUE(fs::is_directory(temp / "folder"));
}

TEST(RemoveTree, RemovesEverythingInsideIncludingReadOnlyFiles) {
    TempDir temp;
    const auto tree = temp / "updates";
    fs::create_directories(tree / "1.2" / "deep");
    write_file(tree / "top.bin", "1");
    write_file(tree / "1.2" / "deep" / "locked.bin", "2");
    make_read_only(tree / "1.2" / "deep" / "locked.bin");
    write_file(temp / "beside.txt", "stays");

    ASSERT_TRUE(remove_tree(tree));
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ(read_file(temp / "beside.txt"), "stays");

    const auto missing = remove_tree(tree);
    ASSERT_FALSE(missing);
    EXPECT_TRUE(ends_with_os_error(missing.error().text)) << missing.error().text;
}

TEST(RemoveTree, RemovesLinksWithoutEnteringThem) {
    TempDir temp;
    const auto tree = temp / "updates";
    fs::create_directories(tree / "inner");
    fs::create_directories(temp / "elsewhere" / "sub");
    write_file(temp / "elsewhere" / "sub" / "precious.txt", "keep me");
    write_file(temp / "precious-file.txt", "keep me too");
    if (!test::make_folder_link(tree / "inner" / "to-folder", temp / "elsewhere")) GTEST_SKIP() << "no folder links";
    const bool file_link = test::make_file_link(tree / "to-file", temp / "precious-file.txt");

    const auto removed = remove_tree(tree);

    EXPECT_EQ(read_file(temp / "elsewhere" / "sub" / "precious.txt"), "keep me");
    EXPECT_EQ(read_file(temp / "precious-file.txt"), "keep me too");
    if (test::running_under_wine()) {
        // Wine opens the target whatever it is asked, so the link is left rather than the target lost.
        EXPECT_FALSE(removed);
        EXPECT_TRUE(fs::exists(temp / "elsewhere" / "sub"));
    } else {
        EXPECT_TRUE(removed) << removed.error().text;
        EXPECT_FALSE(fs::exists(tree));
    }
    if (file_link) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(tree / "to-file")));
    }
}

TEST(RemoveTree, GivenALinkRemovesOnlyTheLink) {
    if (test::running_under_wine()) GTEST_SKIP() << "Wine cannot remove a link itself";
    TempDir temp;
    fs::create_directory(temp / "target");
    write_file(temp / "target" / "a.txt", "a");
    if (!test::make_folder_link(temp / "link", temp / "target")) GTEST_SKIP() << "no folder links";
    EXPECT_TRUE(remove_tree(temp / "link"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp / "link")));
    EXPECT_EQ(read_file(temp / "target" / "a.txt"), "a");
}

TEST(CopyFileOver, CopiesCreatesAndReplaces) {
    TempDir temp;
    const std::string bytes("MZ\0\x01\xff binary", 13);
    write_file(temp / "from.exe", bytes);
    ASSERT_TRUE(copy_file_over(temp / "from.exe", temp / "new.exe"));
    EXPECT_EQ(read_file(temp / "new.exe"), bytes);

    write_file(temp / "old.exe", std::string(100000, 'o'));
    ASSERT_TRUE(copy_file_over(temp / "from.exe", temp / "old.exe"));
    EXPECT_EQ(read_file(temp / "old.exe"), bytes);
    EXPECT_EQ(read_file(temp / "from.exe"), bytes);
}

TEST(CopyFileOver, OntoItselfLeavesTheFileAsItWas) {
    TempDir temp;
    write_file(temp / "zarn.exe", "client");
    const auto same = path_from_utf8(path_to_utf8(temp.path()) + "/./zarn.exe");
    EXPECT_TRUE(copy_file_over(temp / "zarn.exe", same));
    EXPECT_EQ(read_file(temp / "zarn.exe"), "client");
}

TEST(CopyFileOver, FailsWithTheSystemsTextAndLeavesTheTarget) {
    TempDir temp;
    write_file(temp / "target.exe", "old");
    const auto missing = copy_file_over(temp / "missing.exe", temp / "target.exe");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), os_error(kNotFound));
    EXPECT_EQ(read_file(temp / "target.exe"), "old");

    write_file(temp / "from.exe", "new");
    const auto no_folder = copy_file_over(temp / "from.exe", temp / "no-such-folder" / "target.exe");
    ASSERT_FALSE(no_folder);
    EXPECT_TRUE(ends_with_os_error(no_folder.error().text)) << no_folder.error().text;
}

TEST(WriteWholeFile, CreatesOrReplacesTheWholeContent) {
    TempDir temp;
    ASSERT_TRUE(write_whole_file(temp / "config.json", "{\n  \"a\": 1\n}"));
    EXPECT_EQ(read_file(temp / "config.json"), "{\n  \"a\": 1\n}");
    ASSERT_TRUE(write_whole_file(temp / "config.json", "{}"));
    EXPECT_EQ(read_file(temp / "config.json"), "{}");
    ASSERT_TRUE(write_whole_file(temp / "config.json", ""));
    EXPECT_EQ(read_file(temp / "config.json"), "");

    const auto failed = write_whole_file(temp / "no-such-folder" / "config.json", "{}");
    ASSERT_FALSE(failed);
    EXPECT_TRUE(ends_with_os_error(failed.error().text)) << failed.error().text;
}

TEST(FileTests, TellFilesFoldersAndNothingApart) {
    TempDir temp;
    write_file(temp / "zarn.exe", "x");
    fs::create_directories(temp / "payload" / "zarn.exe");

    EXPECT_TRUE(is_existing_file(temp / "zarn.exe"));
    EXPECT_TRUE(path_exists(temp / "zarn.exe"));
    EXPECT_FALSE(is_existing_file(temp / "payload" / "zarn.exe"));
    EXPECT_TRUE(path_exists(temp / "payload" / "zarn.exe"));
    EXPECT_FALSE(is_existing_file(temp / "missing"));
    EXPECT_FALSE(path_exists(temp / "missing"));

    if (test::make_file_link(temp / "link.exe", temp / "zarn.exe")) {
        EXPECT_TRUE(is_existing_file(temp / "link.exe"));
        fs::remove(temp / "zarn.exe");
        EXPECT_FALSE(is_existing_file(temp / "link.exe"));
        EXPECT_FALSE(path_exists(temp / "link.exe"));
    }
}

}  // namespace
}  // namespace zarn::platform
