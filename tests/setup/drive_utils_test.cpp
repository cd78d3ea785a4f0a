// drive_utils_test.cpp -- file tests and loading, drives, free space and path joining, against
// the drives and file system of the Wine prefix, and the order of the uninstall's folder table.

#include <cstring>

#include <gtest/gtest.h>
#include <windows.h>

#include "common/text.h"
#include "install/drive_utils.h"
#include "support/test_support.h"
#include "support/win_test_support.h"

TEST(DriveUtils, FilesHeldExclusivelyOrMissingCannotBeLoaded)
{
    ScratchFolder scratch;
    const std::string data = win_path(scratch / "data.bin");
    const Bytes content = random_bytes(70000, 5);
    write_file(data, content);
    write_file(scratch / "empty.bin", Bytes());

    EXPECT_TRUE(file_exists(data.c_str()));
    uint32_t size = 0;
    void* block = load_whole_file(data.c_str(), &size);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(content.size(), size);
    EXPECT_EQ(0, std::memcmp(content.data(), block, content.size()));
    free_whole_file(block);

    const std::string missing = win_path(scratch / "missing.bin");
    EXPECT_FALSE(file_exists(missing.c_str()));
    EXPECT_EQ(nullptr, load_whole_file(missing.c_str(), &size));
    EXPECT_TRUE(file_exists(win_path(scratch / "empty.bin").c_str()));
    EXPECT_EQ(nullptr, load_whole_file(win_path(scratch / "empty.bin").c_str(), &size));

    HANDLE held = hold_exclusively(data);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(file_exists(data.c_str()));
    EXPECT_EQ(nullptr, load_whole_file(data.c_str(), &size));
    CloseHandle(held);
}

TEST(DriveUtils, FindsTheFirstDriveOfAType)
{
    char fixed = find_drive_of_type(DRIVE_FIXED);
    EXPECT_EQ((unsigned)DRIVE_FIXED, drive_type_of(fixed));
    for (char letter = 'C'; letter < fixed; letter++)
        EXPECT_NE((unsigned)DRIVE_FIXED, drive_type_of(letter)) << letter;
    // The prefix's C: is its fixed drive_c.
    EXPECT_EQ('C', fixed);
    // No drive is a RAM disk here: the answer falls back to C.
    EXPECT_EQ('C', find_drive_of_type(DRIVE_RAMDISK));
}

TEST(DriveUtils, FreeSpaceAsksOnlyTheDriveRoot)
{
    int64_t root = free_disk_bytes("C:\\");
    ASSERT_GT(root, 0);
    // The folders need not exist: only "C:\" is asked. Allow for other writers on the disk.
    int64_t deep = free_disk_bytes("C:\\no such folder\\deeper\\still");
    EXPECT_LT(std::llabs(deep - root), 256LL << 20);
    // "/" separates folders as "\\" does.
    int64_t forward = free_disk_bytes("C:/no such folder/deeper");
    EXPECT_LT(std::llabs(forward - root), 256LL << 20);
    EXPECT_GT(free_disk_bytes("C:"), 0);

    int32_t clamped = free_disk_space("C:\\trv");
    if (root > 0x7FFFFFFF)
        EXPECT_EQ(0x7FFFFFFF, clamped);
    else
        EXPECT_GT(clamped, 0);

    char unused = 0;
    for (char letter = 'Y'; letter > 'C' && unused == 0; letter--) {
        if (drive_type_of(letter) == DRIVE_NO_ROOT_DIR)
            unused = letter;
    }
    ASSERT_NE(0, unused);
    char path[] = "?:\\trv";
    path[0] = unused;
    EXPECT_EQ(-1, free_disk_bytes(path));
    EXPECT_EQ(-1, free_disk_space(path));
    EXPECT_EQ(-1, free_disk_bytes(std::string(300, 'a').c_str()));
}

TEST(DriveUtils, AppendPathComponentJoinsWithOneSeparatorOrRefuses)
{
    const struct {
        const char* path;
        const char* name;
        const char* joined;
    } cases[] = {
        {"", "trv99hw.exe", "trv99hw.exe"},
        {"C:\\trv", "data\\a.dat", "C:\\trv\\data\\a.dat"},
        {"C:\\trv\\", "a.dat", "C:\\trv\\a.dat"},
        {"C:/trv/", "a.dat", "C:/trv/a.dat"},
    };
    for (const auto& c : cases) {
        char buffer[64];
        std::memset(buffer, 'z', sizeof buffer);
        std::strcpy(buffer, c.path);
        ASSERT_TRUE(append_path_component(buffer, sizeof buffer, c.name));
        EXPECT_STREQ(c.joined, buffer);
        EXPECT_EQ('\0', buffer[std::strlen(c.joined) + 1]) << "second NUL";
    }

    // "C:\trv" + "\" + "abc" + two NULs needs 12 bytes.
    char exact[12] = "C:\\trv";
    EXPECT_TRUE(append_path_component(exact, sizeof exact, "abc"));
    char short_by_one[11] = "C:\\trv";
    EXPECT_FALSE(append_path_component(short_by_one, sizeof short_by_one, "abc"));
    EXPECT_STREQ("C:\\trv", short_by_one);
}

TEST(DriveUtils, ShorterNamesSortFirst)
{
    // Seven rows of seven lengths, none in its place, sorted by setup's own heap sort.
    char rows[7][16] = {"C:\\t\\a\\b", "C:\\t\\abcdefg", "C:\\t", "C:\\t\\abcd",
                        "C:\\t\\abcdef", "C:\\t\\a", "C:\\t\\ab"};
    sort_rows(rows, 7, sizeof rows[0], shorter_name_first);
    const char* sorted[7] = {"C:\\t", "C:\\t\\a", "C:\\t\\ab", "C:\\t\\a\\b",
                             "C:\\t\\abcd", "C:\\t\\abcdef", "C:\\t\\abcdefg"};
    for (int i = 0; i < 7; i++)
        EXPECT_STREQ(sorted[i], rows[i]) << i;
    EXPECT_EQ(0, shorter_name_first("ab", "cd"));
}
