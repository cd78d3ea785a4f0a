// file_list_test.cpp -- list lines, suffixes and the safety test of stored names.

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "archive/file_list.h"
#include "archive/host_files.h"
#include "support/test_support.h"

TEST(CollapseWhitespace, KeepsOneSeparatorBetweenWords)
{
    const struct {
        const char* input;
        const char* expected;
    } cases[] = {
        {"", ""},
        {"   ", ""},
        {"data\\a.dat", "data\\a.dat"},
        {"  data\\a.dat  \r\n", "data\\a.dat"},
        {"two  words", "two words"},
        {"\ttabs\t\tand\vmore\f", "tabs and more"},
        {" a b ", "a b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::string text = c.input;
        collapse_whitespace(&text[0], ' ');
        EXPECT_STREQ(text.c_str(), c.expected);
    }
}

TEST(HasSuffix, MatchesEachLetterInEitherCase)
{
    const struct {
        const char* text;
        bool expected;
    } cases[] = {
        {"out.qbr", true}, {"OUT.QBR", true}, {"out.Qbr", true}, {"out.qBR", true},
        {".qbr", true},    {"qbr", false},    {"out.bin", false}, {"out.qbr.bak", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(has_suffix(c.text, ".qbr", ".QBR"), c.expected);
    }
    EXPECT_TRUE(has_suffix("out\\", "\\", nullptr));
    EXPECT_FALSE(has_suffix("out", "\\", nullptr));
}

TEST(ReadListName, StopsAtTheFirstBlankLineOrTheEnd)
{
    ScratchFolder scratch;
    write_text(scratch / "list.txt", "  data\\a.dat  \r\nsecond  name\nlast\n   \nafter blank\n");
    HostFile* list = open_host_file((scratch / "list.txt").c_str());
    ASSERT_NE(list, nullptr);
    char name[64];
    EXPECT_EQ(read_list_name(list, name, sizeof name), LIST_NAME);
    EXPECT_STREQ(name, "data\\a.dat");
    EXPECT_EQ(read_list_name(list, name, sizeof name), LIST_NAME);
    EXPECT_STREQ(name, "second name");
    EXPECT_EQ(read_list_name(list, name, sizeof name), LIST_NAME);
    EXPECT_STREQ(name, "last");
    EXPECT_EQ(read_list_name(list, name, sizeof name), LIST_END);
    close_host_file(list);
}

TEST(ReadListName, RefusesALineLongerThanTheRoom)
{
    ScratchFolder scratch;
    const struct {
        const char* name;
        std::string text;
        ListLine expected;
    } cases[] = {
        {"fits with its line feed", "123456789\n", LIST_NAME},
        {"last line without line feed fills the room", "1234567890", LIST_NAME},
        {"one character too many", "12345678901\n", LIST_TOO_LONG},
        {"line feed does not fit", "1234567890\n", LIST_TOO_LONG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_text(scratch / "list.txt", c.text);
        HostFile* list = open_host_file((scratch / "list.txt").c_str());
        ASSERT_NE(list, nullptr);
        char name[11];
        EXPECT_EQ(read_list_name(list, name, sizeof name), c.expected);
        close_host_file(list);
    }
}

TEST(ReadListName, ReportsAListThatCannotBeRead)
{
#ifdef __linux__
    HostFile* memory = open_host_file("/proc/self/mem");  // opens, but reading at 0 fails
    ASSERT_NE(memory, nullptr);
    char name[64];
    EXPECT_EQ(read_list_name(memory, name, sizeof name), LIST_READ_FAILED);
    close_host_file(memory);
#else
    GTEST_SKIP() << "no file here opens but cannot be read";
#endif
}

TEST(IsSafeEntryName, RefusesNamesThatLeaveTheFolderOrNameADevice)
{
    const struct {
        const char* name;
        bool safe;
    } cases[] = {
        {"a.dat", true},           {"data\\a.dat", true},       {"data/a.dat", true},
        {"a..b", true},            {"..a", true},                {"a\\.\\b", true},
        {"", false},               {"\\a", false},               {"/etc/passwd", false},
        {"\\\\server\\x", false},  {"C:a", false},               {"C:\\a", false},
        {"..", false},             {"..\\a", false},             {"a\\..\\..\\b", false},
        {"a/../b", false},         {"a\\..", false},             {"a\\...\\b", false},
        {"a\\.. \\b", false},
        // Windows devices, as any component, with or without an extension.
        {"nul", false},            {"data\\CON", false},       {"Aux.dat", false},
        {"maps/com1/x", false},    {"LPT9 .txt", false},         {"prn.tar.gz", false},
        {"com0", true},            {"lpt10", true},              {"console", true},
        {"nul_", true},            {"a.nul", true},
        // Windows takes a device's name before a colon too, and CONIN$ and CONOUT$.
        {"nul:", false},           {"sub\\aux:", false},         {"NUL:.txt", false},
        {"con .txt:", false},      {"a/com1:x", false},          {"conin$", false},
        {"CONOUT$.log", false},    {"conin", true},              {"com", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(is_safe_entry_name(c.name), c.safe);
    }
}
