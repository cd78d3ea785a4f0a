// destination_test.cpp -- which folders the install accepts as its destination and the uninstall
// accepts as a folder to delete in: one rule for both, so that nothing the uninstall reads from a
// damaged or foreign settings key reaches a drive's root or the Windows folder.

#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "common/game_texts.h"
#include "install/destination.h"

static std::string windows_folder()
{
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    return length > 0 && length < sizeof folder ? folder : "";
}

static std::string system_folder()
{
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    return length > 0 && length < sizeof folder ? folder : "";
}

static std::string upper(std::string text)
{
    for (char& c : text)
        c = c >= 'a' && c <= 'z' ? (char)(c - 32) : c;
    return text;
}

TEST(Destination, InstallAndUninstallAcceptTheSameFolders)
{
    const std::string windows = windows_folder();
    const std::string system = system_folder();
    ASSERT_GE(windows.size(), 4u) << "the Windows folder should be a folder on a drive";
    const char* const on_a_drive = TEXT_NOT_ON_A_DRIVE;
    const char* const in_windows = TEXT_WINDOWS_FOLDER;
    const struct {
        std::string folder;
        const char* refusal;  // of both; null: accepted
    } rows[] = {
        {"C:\\trv", nullptr},
        {"c:\\TRV Games\\trv", nullptr},
        {"D:\\games\\trv\\", nullptr},
        {"C:\\trv\\data", nullptr},
        {"C:\\trv.v1\\a b", nullptr},
        {windows + "games", nullptr},          // a sibling whose name begins the same
        {"C:\\", on_a_drive},
        {"C:", on_a_drive},
        {"C:trv", on_a_drive},
        {"\\trv", on_a_drive},
        {"trv", on_a_drive},
        {"C:\\\\trv", on_a_drive},
        {"C:/trv", on_a_drive},
        {"C:\\trv\\..\\windows", on_a_drive},
        {"C:\\trv\\.\\data", on_a_drive},
        {"C:\\trv/..", on_a_drive},
        {"C:\\windows\\system32\\..", on_a_drive},
        {"C:\\trv.", on_a_drive},              // Windows trims it to C:\trv's name
        {"C:\\trv \\data", on_a_drive},
        {windows, in_windows},
        {upper(windows), in_windows},
        {windows + "\\", in_windows},
        {windows + "\\Fonts", in_windows},
        {windows + "/Temp/trv", in_windows},
        {system, in_windows},
        {system + "\\drivers\\trv", in_windows},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder);
        const char* uninstall = installed_folder_refusal(row.folder.c_str());
        const char* install = destination_refusal(row.folder.c_str());
        EXPECT_STREQ(row.refusal, uninstall);
        EXPECT_STREQ(row.refusal, install);
    }
    EXPECT_STREQ(TEXT_NO_DESTINATION, destination_refusal(""));
}
