// list_slots_test.cpp -- list images loaded into their slots, read and freed, against the file
// system of the Wine prefix.

#include <cstring>

#include <gtest/gtest.h>
#include <windows.h>

#include "install/install_list.h"
#include "list_image/make_list_image.h"
#include "support/test_support.h"
#include "support/win_test_support.h"

class ListSlots : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(enter_folder(scratch.path(), &previous)); }
    void TearDown() override
    {
        free_install_list(&slot);
        SetCurrentDirectoryA(previous.c_str());
    }

    // Writes a list with the given names, sized from files made in "src\", and its image.
    void make_image(const char* image_name, const std::vector<std::string>& names)
    {
        std::string list;
        for (size_t i = 0; i < names.size(); i++) {
            write_file("src/" + names[i], Bytes(100 * (i + 1), 'x'));
            list += names[i] + "\r\n";
        }
        write_text("list.txt", list);
        ListImageReport report;
        ASSERT_EQ(LIST_IMAGE_OK,
                  make_list_image("list.txt", "src\\", image_name, &report, nullptr, nullptr));
    }

    ScratchFolder scratch;
    std::string previous;
    InstallList* slot = nullptr;
};

TEST_F(ListSlots, LoadsTheImageUnderItsFileName)
{
    make_image("typical_install_list.install", {"a.dat", "maps\\b.map", "maps\\c d.map"});
    ASSERT_TRUE(load_install_list(&slot, "typical_install_list.install"));
    ASSERT_NE(nullptr, slot);

    char expected_name[LIST_NAME_BYTES] = "typical_install_list.install";
    EXPECT_EQ(0, std::memcmp(expected_name, slot->list_name, LIST_NAME_BYTES));
    EXPECT_EQ(3, list_count(slot));
    EXPECT_EQ(600, list_total_size(slot));
    EXPECT_STREQ("maps\\c d.map", list_entry(slot, 2)->name);
    EXPECT_EQ(200, list_entry(slot, 1)->size);
    // The file itself keeps zeros in the name field.
    Bytes on_disk = read_file("typical_install_list.install");
    ASSERT_GE(on_disk.size(), (size_t)LIST_NAME_BYTES);
    EXPECT_EQ(Bytes(LIST_NAME_BYTES, 0), Bytes(on_disk.begin(), on_disk.begin() + LIST_NAME_BYTES));
}

TEST_F(ListSlots, SecondLoadKeepsTheFirstImageAndFreeingIsIdempotent)
{
    make_image("exe_install_list.install", {"trv99hw.exe", "trv99sw.exe"});
    ASSERT_TRUE(load_install_list(&slot, "exe_install_list.install"));
    InstallList* first = slot;
    make_image("exe_install_list.install", {"only.exe"});
    EXPECT_TRUE(load_install_list(&slot, "exe_install_list.install"));
    EXPECT_EQ(first, slot);
    EXPECT_EQ(2, list_count(slot));

    free_install_list(&slot);
    EXPECT_EQ(nullptr, slot);
    free_install_list(&slot);
    EXPECT_EQ(nullptr, slot);
    ASSERT_TRUE(load_install_list(&slot, "exe_install_list.install"));
    EXPECT_EQ(1, list_count(slot));
}

TEST_F(ListSlots, EmptyListLoadsWithNoEntries)
{
    make_image("maximum_install_list.install", {});
    ASSERT_TRUE(load_install_list(&slot, "maximum_install_list.install"));
    EXPECT_EQ(0, list_count(slot));
    EXPECT_EQ(0, list_total_size(slot));
}

TEST_F(ListSlots, MalformedOrUnreadableImagesLeaveTheSlotEmpty)
{
    Bytes good(LIST_HEADER_BYTES + LIST_ENTRY_BYTES, 0);
    good[LIST_COUNT_OFFSET] = 1;
    good[LIST_HEADER_BYTES] = 'a';
    Bytes negative = good;
    std::memset(&negative[LIST_COUNT_OFFSET], 0xFF, 4);
    Bytes truncated(good.begin(), good.end() - 1);
    Bytes longer = good;
    longer.push_back(0);
    Bytes unterminated = good;
    std::memset(&unterminated[LIST_HEADER_BYTES], 'a', LIST_NAME_BYTES);
    const struct {
        const char* name;
        Bytes image;
    } cases[] = {
        {"empty file", Bytes()},
        {"negative count", negative},
        {"truncated", truncated},
        {"longer than its count", longer},
        {"name without terminator", unterminated},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file("bad.install", c.image);
        EXPECT_FALSE(load_install_list(&slot, "bad.install"));
        EXPECT_EQ(nullptr, slot);
    }
    EXPECT_FALSE(load_install_list(&slot, "missing.install"));
    EXPECT_EQ(nullptr, slot);

    write_file("held.install", good);
    HANDLE held = hold_exclusively("held.install");
    EXPECT_FALSE(load_install_list(&slot, "held.install"));
    EXPECT_EQ(nullptr, slot);
    CloseHandle(held);
    EXPECT_TRUE(load_install_list(&slot, "held.install"));
}
