// file_list_test.cpp -- list lines, suffixes and the safety test of stored names.

#include <cstdio>
#include <cstring>
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
        // The line end is not kept, so it needs no room: a name fits as it would at the end.
        {"fills the room, with its line feed", "1234567890\n", LIST_NAME},
        {"last line without line feed fills the room", "1234567890", LIST_NAME},
        {"one character too many", "12345678901\n", LIST_TOO_LONG},
        {"one too many at the end", "12345678901", LIST_TOO_LONG},
        {"fills the room, with CR LF", "1234567890\r\n", LIST_NAME},
        {"one too many before CR LF", "12345678901\r\n", LIST_TOO_LONG},
        {"last line with a CR fills the room", "1234567890\r", LIST_NAME},
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

TEST(InstallableNameProblem, LeavesRoomInSetupsPathsAndTakesTheListsCharacters)
{
    const std::string longest(248, 'n'), one_more(249, 'n');
    const struct {
        std::string name;
        size_t working_path_chars;
        NameCharacters characters;
        NameProblem problem;
    } cases[] = {
        {longest, 7, NAMES_PRINTABLE_ASCII, NAME_OK},  // "C:\trv\" + 248 + terminator: 256
        {one_more, 7, NAMES_PRINTABLE_ASCII, NAME_TOO_LONG_TO_INSTALL},
        {"sub\\" + std::string(244, 'n'), 7, NAMES_PRINTABLE_ASCII, NAME_OK},
        {"a.txt", 250, NAMES_PRINTABLE_ASCII, NAME_OK},
        {"a.txt", 251, NAMES_PRINTABLE_ASCII, NAME_TOO_LONG_TO_INSTALL},
        {"a.txt", 300, NAMES_PRINTABLE_ASCII, NAME_TOO_LONG_TO_INSTALL},
        {"Docs\\Cr\xc3\xa9" "dits.txt", 7, NAMES_PRINTABLE_ASCII, NAME_NOT_ASCII},
        {"Docs\\Cr\xe9" "dits.txt", 7, NAMES_CODE_PAGE, NAME_OK},
        {"~ tilde ~.txt", 7, NAMES_PRINTABLE_ASCII, NAME_OK},
        // The rule for every stored name comes first.
        {"..\\x", 7, NAMES_PRINTABLE_ASCII, NAME_OUTSIDE},
        {"a\\.\\b", 7, NAMES_CODE_PAGE, NAME_DOT_PART},
        {"a.txt.", 7, NAMES_PRINTABLE_ASCII, NAME_TRAILING_DOT_OR_BLANK},
        {"\xEF\xBB\xBF" "a.txt", 7, NAMES_CODE_PAGE, NAME_BYTE_ORDER_MARK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 40));
        EXPECT_EQ(installable_name_problem(c.name.c_str(), c.working_path_chars, c.characters),
                  c.problem);
    }
    EXPECT_EQ(std::strlen(DEFAULT_INSTALL_WORKING_PATH) + longest_installable_name(7) + 1,
              size_t(INSTALL_PATH_CHARS));
}

TEST(SameInstalledName, FoldsWhatWindowsFolds)
{
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"data\\a.txt", "DATA\\A.TXT", true}, {"data/a.txt", "data\\a.txt", true},
        {"a.txt", "a.txt", true},               {"a.txt", "a.txt2", false},
        {"a.txt2", "a.txt", false},             {"a.txt", "b.txt", false},
        {"[a]", "{a}", false},  // '[' and '{' differ by 0x20 but are not letters
        {"", "", true},                         {"a", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " | " + c.b);
        EXPECT_EQ(same_installed_name(c.a, c.b), c.same);
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

TEST(EntryNameProblem, RefusesWhatLeavesTheFolderOrNoWindowsCanCreate)
{
    const struct {
        const char* name;
        NameProblem problem;
    } cases[] = {
        {"a.dat", NAME_OK},              {"data\\a.dat", NAME_OK},     {"data/a.dat", NAME_OK},
        {"a..b", NAME_OK},               {"..a", NAME_OK},              {" lead.txt", NAME_OK},
        {"caf\xe9.txt", NAME_OK},        // a code page's letter: the list's bytes are the name
        {"", NAME_EMPTY},                {"\\a", NAME_ABSOLUTE},       {"/etc/passwd", NAME_ABSOLUTE},
        {"\\\\server\\x", NAME_ABSOLUTE}, {"C:a", NAME_ABSOLUTE},   {"C:\\a", NAME_ABSOLUTE},
        {"..", NAME_OUTSIDE},            {"..\\a", NAME_OUTSIDE},      {"a\\..\\..\\b", NAME_OUTSIDE},
        {"a/../b", NAME_OUTSIDE},        {"a\\..", NAME_OUTSIDE},      {"a\\...\\b", NAME_OUTSIDE},
        {"a\\.. \\b", NAME_OUTSIDE},     {"a\\. .\\b", NAME_OUTSIDE},
        {"a\\.\\b", NAME_DOT_PART},      {".", NAME_DOT_PART},          {". \\x", NAME_DOT_PART},
        {"a\\\\b", NAME_EMPTY_PART},     {"dir\\", NAME_EMPTY_PART},   {"a//b", NAME_EMPTY_PART},
        // Windows devices, as any part, with or without an extension.
        {"nul", NAME_DEVICE},            {"data\\CON", NAME_DEVICE},   {"Aux.dat", NAME_DEVICE},
        {"maps/com1/x", NAME_DEVICE},    {"LPT9 .txt", NAME_DEVICE},    {"prn.tar.gz", NAME_DEVICE},
        {"com1.txt\\a", NAME_DEVICE},
        {"com0", NAME_OK},               {"lpt10", NAME_OK},            {"console", NAME_OK},
        {"nul_", NAME_OK},               {"a.nul", NAME_OK},
        // Windows takes a device's name before a colon too, and CONIN$ and CONOUT$.
        {"nul:", NAME_DEVICE},           {"sub\\aux:", NAME_DEVICE},   {"NUL:.txt", NAME_DEVICE},
        {"con .txt:", NAME_DEVICE},      {"a/com1:x", NAME_DEVICE},     {"conin$", NAME_DEVICE},
        {"CONOUT$.log", NAME_DEVICE},    {"conin", NAME_OK},            {"com", NAME_OK},
        // Characters no Windows name may hold.
        {"a<b.txt", NAME_BAD_CHARACTER}, {"c.txt:d", NAME_BAD_CHARACTER}, {"a>b", NAME_BAD_CHARACTER},
        {"say \"hi\"", NAME_BAD_CHARACTER}, {"a|b", NAME_BAD_CHARACTER}, {"what?", NAME_BAD_CHARACTER},
        {"*.txt", NAME_BAD_CHARACTER},   {"tab\there", NAME_BAD_CHARACTER}, {"del\x7f", NAME_BAD_CHARACTER},
        {"sub\\a\x01", NAME_BAD_CHARACTER},
        // Windows strips a trailing dot or blank, so the file would have another name.
        {"x.", NAME_TRAILING_DOT_OR_BLANK},  {"Credits.txt.", NAME_TRAILING_DOT_OR_BLANK},
        {"Extra \\a.txt", NAME_TRAILING_DOT_OR_BLANK}, {"a.txt ", NAME_TRAILING_DOT_OR_BLANK},
        // A list saved with a byte order mark: it would be part of the first name.
        {"\xEF\xBB\xBFreadme.txt", NAME_BYTE_ORDER_MARK}, {"\xEF\xBB", NAME_OK},
        {"a\\\xEF\xBB\xBF", NAME_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(entry_name_problem(c.name), c.problem) << name_problem_text(entry_name_problem(c.name));
        EXPECT_EQ(is_safe_entry_name(c.name), c.problem == NAME_OK);
    }
}
