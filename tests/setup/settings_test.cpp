// settings_test.cpp -- the settings key tested, read, written and deleted in the real registry
// of the Wine prefix, including the partial configurations an earlier install can leave.

#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "install/settings.h"
#include "common/installer_state.h"

static const char KEY[] = "SOFTWARE\\Orbwell\\TRV 99";

static void remove_settings_key()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orbwell\\TRV 99\\Install");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orbwell\\TRV 99\\Location Of Data Files");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, KEY);
}

static void stage_value(const char* subkey, const char* name, DWORD type, const void* data,
                        DWORD bytes)
{
    std::string path = std::string(KEY) + "\\" + subkey;
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_WRITE, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, (const BYTE*)data, bytes));
    RegCloseKey(key);
}

static void stage_text(const char* subkey, const char* name, const std::string& text)
{
    stage_value(subkey, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
}

// The stored data of a value; empty when it is missing.
static std::string stored(const char* subkey, const char* name)
{
    std::string path = std::string(KEY) + "\\" + subkey;
    char data[1024];
    DWORD bytes = sizeof data;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, nullptr,
                     data, &bytes) != ERROR_SUCCESS)
        return std::string();
    return std::string(data, bytes);
}

// What the registry keeps of a 256-byte text field that setup writes: the whole field on the NT
// family; on the 95 family, which stores a string by its text, the text and one NUL.
static std::string kept_field(const std::string& text)
{
    if (GetVersion() & 0x80000000)
        return text + std::string(1, '\0');
    return text + std::string(256 - text.size(), '\0');
}

static bool key_exists(const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        remove_settings_key();
        std::memset(install_destination_path, 0, sizeof install_destination_path);
        std::memset(location_path, 0, sizeof location_path);
        install_type = 0;
    }
    void TearDown() override { remove_settings_key(); }

    void stage_complete(const char* destination, int32_t type, const char* location)
    {
        stage_text("Install", "install_destination_path", destination);
        stage_value("Install", "install_type", REG_DWORD, &type, sizeof type);
        stage_text("Location Of Data Files", "location_path", location);
    }
};

TEST_F(Settings, WithoutTheKeyNothingIsPresentReadOrDeleted)
{
    EXPECT_FALSE(installation_present());
    EXPECT_FALSE(read_settings());
    EXPECT_STREQ("", install_destination_path);
    EXPECT_FALSE(delete_settings());
}

TEST_F(Settings, CompleteKeyIsReadAndRewrittenAsAWholeField)
{
    stage_complete("D:\\Games\\trv", 1, "D:\\Games\\trv\\data");
    ASSERT_TRUE(installation_present());
    ASSERT_TRUE(read_settings());
    EXPECT_STREQ("D:\\Games\\trv", install_destination_path);
    EXPECT_EQ(1, install_type);
    EXPECT_STREQ("D:\\Games\\trv\\data", location_path);

    ASSERT_TRUE(write_settings());
    EXPECT_EQ(kept_field("D:\\Games\\trv"), stored("Install", "install_destination_path"));
    EXPECT_EQ(std::string("\1\0\0\0", 4), stored("Install", "install_type"));
    EXPECT_EQ(std::string("D:\\Games\\trv\\data", 18), stored("Location Of Data Files",
                                                              "location_path"));
}

TEST_F(Settings, PartialKeysKeepEveryValueThatWasRead)
{
    // What a first install leaves: the destination and an empty "Location Of Data Files".
    std::strcpy(install_destination_path, "C:\\trv");
    ASSERT_TRUE(write_settings());
    EXPECT_TRUE(key_exists("SOFTWARE\\Orbwell\\TRV 99\\Location Of Data Files"));
    std::memset(install_destination_path, 0, sizeof install_destination_path);
    EXPECT_TRUE(installation_present());
    EXPECT_FALSE(read_settings());
    EXPECT_STREQ("C:\\trv", install_destination_path);
    EXPECT_EQ(0, install_type);

    // No "Install" subkey at all: the location is still read.
    remove_settings_key();
    stage_text("Location Of Data Files", "location_path", "C:\\trv\\data");
    EXPECT_FALSE(read_settings());
    EXPECT_STREQ("C:\\trv\\data", location_path);
}

TEST_F(Settings, ValuesLargerThanTheirFieldsFailToRead)
{
    // The failed read leaves the field terminated whatever it held before.
    std::memset(install_destination_path, 'u', sizeof install_destination_path);
    stage_complete(std::string(300, 'p').c_str(), 0, "C:\\trv\\data");
    EXPECT_FALSE(read_settings());
    EXPECT_LT(strnlen(install_destination_path, sizeof install_destination_path), 256u);
    EXPECT_STREQ("C:\\trv\\data", location_path);

    remove_settings_key();
    const uint8_t eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    stage_complete("C:\\trv", 0, "C:\\trv\\data");
    stage_value("Install", "install_type", REG_BINARY, eight, sizeof eight);
    EXPECT_FALSE(read_settings());
    EXPECT_STREQ("C:\\trv", install_destination_path);

    // Four bytes of another type are taken as the install type.
    const uint8_t four[4] = {1, 0, 0, 0};
    stage_value("Install", "install_type", REG_BINARY, four, sizeof four);
    EXPECT_TRUE(read_settings());
    EXPECT_EQ(1, install_type);
}

TEST_F(Settings, TextsStayTerminatedInsideTheirFields)
{
    // 256 bytes of text without a terminator: the read stops one short of the field's end.
    std::string unterminated(256, 'q');
    stage_complete("C:\\trv", 0, "x");
    stage_value("Install", "install_destination_path", REG_BINARY, unterminated.data(), 256);
    stage_value("Location Of Data Files", "location_path", REG_BINARY, unterminated.data(), 256);
    EXPECT_TRUE(read_settings());
    EXPECT_EQ(std::string(255, 'q'), install_destination_path);
    EXPECT_EQ(std::string(255, 'q'), location_path);
}

TEST_F(Settings, WriteStoresNothingOfAnEarlierLongerText)
{
    std::memset(install_destination_path, 'z', sizeof install_destination_path - 1);
    install_destination_path[sizeof install_destination_path - 1] = '\0';
    std::memcpy(install_destination_path, "E:\\trv", 7);
    ASSERT_TRUE(write_settings());
    EXPECT_EQ(kept_field("E:\\trv"), stored("Install", "install_destination_path"));
}

TEST_F(Settings, DeleteRemovesTheKeyWithItsSubkeysButNotTheCompanyKey)
{
    stage_complete("C:\\trv", 0, "C:\\trv\\data");
    ASSERT_TRUE(delete_settings());
    EXPECT_FALSE(installation_present());
    EXPECT_TRUE(key_exists("SOFTWARE\\Orbwell"));
    EXPECT_FALSE(delete_settings());
}
