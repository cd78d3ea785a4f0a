// saved_files_test.cpp -- the wildcard deletion of saved games and replays, in the file system
// of the Wine prefix: what matches goes, what does not match or does not fit stays.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "support/test_support.h"
#include "support/win_test_support.h"
#include "uninstall/uninstall_dialog.h"

namespace fs = std::filesystem;

TEST(DeleteMatchingFiles, DeletesOnlyVisibleMatches)
{
    ScratchFolder scratch;
    const std::string data = win_path(scratch / "data");
    for (const char* name : {"lap1.GAME", "lap2.game", ".hidden.GAME", "lap1.REPLAY", "x.GAMES"})
        write_text(data + "\\" + name, name);
    write_text(data + "\\deeper\\lap3.GAME", "in a folder below");

    EXPECT_EQ(2, delete_matching_files((data + "\\*.GAME").c_str()));
    EXPECT_FALSE(file_exists(data + "\\lap1.GAME"));
    EXPECT_FALSE(file_exists(data + "\\lap2.game"));
    for (const char* kept : {".hidden.GAME", "lap1.REPLAY", "x.GAMES", "deeper\\lap3.GAME"})
        EXPECT_TRUE(file_exists(data + "\\" + kept)) << kept;
    EXPECT_EQ(0, delete_matching_files((data + "\\*.GAME").c_str()));
    EXPECT_EQ(0, delete_matching_files((win_path(scratch / "none") + "\\*.GAME").c_str()));
}

TEST(DeleteMatchingFiles, PathsThatDoNotFitAreLeftAlone)
{
    ScratchFolder scratch;
    // A folder whose pattern still fits 255 characters, and a saved game in it whose full path
    // does not: it is skipped, not cut into another name.
    std::string folder = win_path(scratch / "");
    folder += std::string(240 - folder.size(), 'f');
    std::string short_name = folder + "\\a.GAME";
    std::string long_name = folder + "\\" + std::string(20, 'n') + ".GAME";
    ASSERT_LT(folder.size() + 7, 256u);
    ASSERT_GT(long_name.size(), 255u);
    // What the long path would become if it were cut to the buffer: another file.
    std::string cut = long_name.substr(0, 255);
    fs::create_directories(folder);
    write_text(short_name, "fits");
    write_text(long_name, "does not fit");
    write_text(cut, "an innocent bystander");
    EXPECT_EQ(1, delete_matching_files((folder + "\\*.GAME").c_str()));
    EXPECT_FALSE(file_exists(short_name));
    EXPECT_TRUE(file_exists(long_name));
    EXPECT_TRUE(file_exists(cut));

    // A pattern of more than 255 characters is not searched at all.
    std::string too_long = folder + "\\" + std::string(20, 'n') + "*.GAME";
    EXPECT_EQ(0, delete_matching_files(too_long.c_str()));
    EXPECT_TRUE(file_exists(long_name));
}
