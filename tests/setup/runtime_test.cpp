// runtime_test.cpp -- setup.exe's own memory routines and command-line step (the bodies that
// runtime.cpp gives their C names), and the bounds of its text copying and formatting, natively.
//
// Built with -fno-tree-loop-distribute-patterns, as runtime.cpp is, so that the loops under test
// stay loops and do not become calls of the C library's routines.

#include "common/runtime_routines.h"
#include "common/text.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// format_text's formatter in this program: vsnprintf, cut where wvsprintfA cuts. A text of 1023
// characters or more comes back as its first 1023 and the count 1023 (Windows; Wine says 1024),
// so a text of exactly 1023 characters cannot be told from a cut one.
int format_limited(char* text, const char* format, va_list arguments)
{
    int length = vsnprintf(text, TEXT_FORMAT_LIMIT, format, arguments);
    if (length < 0)
        return length;
    return length < TEXT_FORMAT_LIMIT - 1 ? length : TEXT_FORMAT_LIMIT - 1;
}

namespace {

typedef std::vector<unsigned char> Bytes;

const size_t LENGTHS[] = {0, 1, 2, 3, 4, 7, 8, 9, 15, 16, 17, 31, 33, 255, 256, 4095, 4096, 4097};
const unsigned char GUARD = 0xA5;
const size_t MARGIN = 32;   // guard bytes around every block, beyond any alignment or shift

// Distinct neighbours, period 251: a byte copied from the wrong place shows.
Bytes pattern(size_t size)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; i++)
        bytes[i] = (unsigned char)(i % 251 + 1);
    return bytes;
}

TEST(RuntimeRoutines, CopyAndFillMatchTheModelAtEveryLengthAndAlignment)
{
    for (size_t length : LENGTHS) {
        for (size_t from_at = 0; from_at < 8; from_at++) {
            for (size_t to_at = 0; to_at < 8; to_at++) {
                SCOPED_TRACE(testing::Message() << "length " << length << ", source at "
                                                << from_at << ", destination at " << to_at);
                const Bytes source = pattern(length + MARGIN);
                const size_t start = MARGIN / 2 + to_at;
                Bytes copied(length + MARGIN, GUARD);
                Bytes filled(length + MARGIN, GUARD);
                Bytes expected_copy(length + MARGIN, GUARD);
                Bytes expected_fill(length + MARGIN, GUARD);
                for (size_t i = 0; i < length; i++) {
                    expected_copy[start + i] = source[from_at + i];
                    expected_fill[start + i] = 0x3C;
                }
                EXPECT_EQ(&copied[start], copy_bytes(&copied[start], &source[from_at], length));
                EXPECT_EQ(&filled[start], fill_bytes(&filled[start], 0x73C, length));
                EXPECT_TRUE(copied == expected_copy);
                EXPECT_TRUE(filled == expected_fill);
                if (HasFailure())
                    return;   // one case is enough to read
            }
        }
    }
}

// The destination before the source, on it, and after it (where a forward copy would read bytes
// it has already overwritten), by whole and broken words, and apart.
TEST(RuntimeRoutines, MoveMatchesTheModelWhenBlocksOverlapEitherWay)
{
    for (size_t length : LENGTHS) {
        const long apart = (long)length + 8;
        const long shifts[] = {-apart, -9, -8, -1, 0, 1, 3, 8, 9, apart};
        const size_t base = length + 2 * MARGIN;
        const Bytes before = pattern(2 * base + length);
        for (long shift : shifts) {
            for (size_t from_at = 0; from_at < 8; from_at++) {
                for (size_t to_at = 0; to_at < 8; to_at++) {
                    SCOPED_TRACE(testing::Message() << "length " << length << ", shift " << shift
                                                    << ", source at " << from_at
                                                    << ", destination at " << to_at);
                    const size_t from = base + from_at;
                    const size_t to = (size_t)((long)base + shift) + to_at;
                    Bytes bytes = before;
                    Bytes expected = before;
                    for (size_t i = 0; i < length; i++)
                        expected[to + i] = before[from + i];
                    EXPECT_EQ(&bytes[to], move_bytes(&bytes[to], &bytes[from], length));
                    EXPECT_TRUE(bytes == expected);
                    if (HasFailure())
                        return;
                }
            }
        }
    }
}

struct CompareRow {
    const char* name;
    const char* first;
    const char* second;
    size_t count;
    int sign;
};

TEST(RuntimeRoutines, CompareOrdersByTheFirstDifferingByteTakenUnsigned)
{
    const CompareRow rows[] = {
        {"nothing compared", "a", "b", 0, 0},
        {"equal", "abcdef", "abcdef", 6, 0},
        {"difference past the count", "abcdex", "abcdey", 5, 0},
        {"smaller in the last byte", "abcdex", "abcdey", 6, -1},
        {"larger in the first byte", "b", "a", 1, 1},
        {"first difference decides", "axz", "bxa", 3, -1},
        {"a byte above 0x7f is larger", "a\x80", "a\x7f", 2, 1},
        {"a zero byte is compared, not an end", "a\0b", "a\0c", 3, -1},
    };
    for (const CompareRow& row : rows) {
        SCOPED_TRACE(row.name);
        int result = compare_bytes(row.first, row.second, row.count);
        EXPECT_EQ(row.sign, (result > 0) - (result < 0));
    }
}

struct FindRow {
    const char* name;
    int value;
    size_t count;
    long found_at;   // -1: not found
};

TEST(RuntimeRoutines, FindByteGivesTheFirstMatchWithinTheCount)
{
    const unsigned char bytes[] = {'a', 'b', 0xFF, 'b', 'z'};
    const FindRow rows[] = {
        {"first byte", 'a', 5, 0},
        {"first of two", 'b', 5, 1},
        {"last byte", 'z', 5, 4},
        {"just past the count", 'z', 4, -1},
        {"absent", 'q', 5, -1},
        {"nothing searched", 'a', 0, -1},
        {"value taken as unsigned char", 0x1FF, 5, 2},
    };
    for (const FindRow& row : rows) {
        SCOPED_TRACE(row.name);
        const void* found = find_byte(bytes, row.value, row.count);
        const void* expected = row.found_at < 0 ? nullptr : bytes + row.found_at;
        EXPECT_EQ(expected, found);
    }
}

TEST(RuntimeRoutines, TextLengthCountsToTheTerminator)
{
    const std::string texts[] = {"", "a", "a b\tc", std::string(4097, 'x')};
    for (const std::string& text : texts) {
        std::vector<char> exact(text.begin(), text.end());
        exact.push_back('\0');
        EXPECT_EQ(text.size(), text_length(exact.data()));
    }
}

struct CommandLineRow {
    const char* line;
    const char* arguments;   // what is left after the program's name
};

TEST(RuntimeCommandLine, SkipsTheProgramNameAndTheBlanksBehindIt)
{
    const CommandLineRow rows[] = {
        {"", ""},
        {"setup.exe", ""},
        {"setup.exe   ", ""},
        {"setup.exe /a b", "/a b"},
        {"setup.exe\t/a", "/a"},
        {"setup.exe \t \t/a", "/a"},
        {"set\tup.exe /a", "up.exe /a"},
        {"\"C:\\Program Files\\setup.exe\" /a b", "/a b"},
        {"\"C:\\Program Files\\setup.exe\"\t/a", "/a"},
        {"\"C:\\Program Files\\setup.exe\"", ""},
        {"\"C:\\Program Files\\setup.exe\" \t ", ""},
        {"\"C:\\a\tb\\setup.exe\" /a", "/a"},
        {"\"C:\\Program Files\\setup.exe /a", ""},
        {"\"", ""},
        {"\"\" /a", "/a"},
        {"\"C:\\a b\\setup.exe\"x /a", "x /a"},
    };
    for (const CommandLineRow& row : rows) {
        SCOPED_TRACE(row.line);
        // Exactly the line and its terminator, so that reading past it is caught.
        std::vector<char> line(row.line, row.line + strlen(row.line) + 1);
        const char* arguments = after_program_name(line.data());
        EXPECT_STREQ(row.arguments, arguments);
        EXPECT_EQ(strlen(row.line) - strlen(row.arguments), (size_t)(arguments - line.data()));
    }
}

// Runs `write` on a buffer of `capacity` bytes followed by guard bytes, and checks that none of
// them changed; gives the buffer back.
template <typename Write>
std::string write_guarded(size_t capacity, Write write, bool* result)
{
    std::vector<char> buffer(capacity + MARGIN, (char)GUARD);
    *result = write(buffer.data(), capacity);
    for (size_t i = capacity; i < buffer.size(); i++) {
        if (buffer[i] != (char)GUARD) {
            ADD_FAILURE() << "byte " << i << " written, past a capacity of " << capacity;
            break;
        }
    }
    if (capacity > 0 && memchr(buffer.data(), '\0', capacity) == nullptr)
        ADD_FAILURE() << "no terminator within the capacity";
    return capacity > 0 ? std::string(buffer.data()) : std::string();
}

struct BoundsRow {
    size_t capacity;
    size_t length;   // of the text to copy or format
    bool fits;
};

// A text fits when it and its terminator do; one that does not leaves an empty text.
const BoundsRow COPY_BOUNDS[] = {
    {1, 0, true},   {1, 1, false},  {1, 2, false},
    {2, 1, true},   {2, 2, false},  {2, 3, false},
    {16, 15, true}, {16, 16, false}, {16, 17, false},
    {256, 255, true}, {256, 256, false}, {256, 257, false},
    {0, 0, false},  {0, 1, false},
};

TEST(CopyText, CopiesUpToOneLessThanTheCapacityAndRefusesMore)
{
    for (const BoundsRow& row : COPY_BOUNDS) {
        SCOPED_TRACE(testing::Message() << "capacity " << row.capacity << ", length "
                                        << row.length);
        const std::string source(row.length, 'p');
        bool copied = false;
        std::string text = write_guarded(
            row.capacity,
            [&](char* dest, size_t capacity) { return copy_text(dest, capacity, source.c_str()); },
            &copied);
        EXPECT_EQ(row.fits, copied);
        EXPECT_EQ(row.fits ? source : std::string(), text);
    }
}

// wsprintfA's limit as well as the caller's: 1022 characters are the most any capacity takes.
const BoundsRow FORMAT_BOUNDS[] = {
    {2048, 1021, true}, {2048, 1022, true}, {2048, 1023, false}, {2048, 1024, false},
    {2048, 1500, false},
    {1023, 1022, true}, {1022, 1022, false}, {1024, 1023, false},
    {100, 99, true},    {100, 100, false},  {100, 101, false},
    {2, 1, true},       {1, 1, false},      {0, 1, false},
};

TEST(FormatText, FormatsUpToTheCapacityAndWsprintfsLimitAndRefusesMore)
{
    for (const BoundsRow& row : FORMAT_BOUNDS) {
        SCOPED_TRACE(testing::Message() << "capacity " << row.capacity << ", length "
                                        << row.length);
        // A name and a one-digit number: the format's own work counts as well.
        const std::string name(row.length - 1, 'n');
        bool formatted = false;
        std::string text = write_guarded(
            row.capacity,
            [&](char* dest, size_t capacity) {
                return format_text(dest, capacity, "%s%u", name.c_str(), 7u);
            },
            &formatted);
        EXPECT_EQ(row.fits, formatted);
        EXPECT_EQ(row.fits ? name + "7" : std::string(), text);
    }
}

}  // namespace
