// list_image_format_test.cpp -- which list images are accepted, and the images that listimage
// makes from file lists.

#include <cstring>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "list_image/make_list_image.h"
#include "support/test_support.h"

static void put_le32(Bytes* image, size_t offset, int32_t value)
{
    for (int i = 0; i < 4; i++)
        (*image)[offset + i] = (uint8_t)((uint32_t)value >> (8 * i));
}

static int32_t le32_at(const Bytes& image, size_t offset)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; i++)
        value |= (uint32_t)image[offset + i] << (8 * i);
    return (int32_t)value;
}

// A well-formed image of `count` entries named "file0", "file1", ...
static Bytes image_of(int32_t count)
{
    Bytes image(LIST_HEADER_BYTES + (size_t)count * LIST_ENTRY_BYTES, 0);
    put_le32(&image, LIST_COUNT_OFFSET, count);
    for (int32_t i = 0; i < count; i++) {
        std::string name = "file" + std::to_string(i);
        std::memcpy(&image[LIST_HEADER_BYTES + (size_t)i * LIST_ENTRY_BYTES], name.data(),
                    name.size());
    }
    return image;
}

TEST(ListImage, AcceptsOnlyImagesWhoseSizeMatchesTheirCount)
{
    struct Case {
        const char* name;
        Bytes image;
        bool valid;
    };
    Bytes negative = image_of(0);
    put_le32(&negative, LIST_COUNT_OFFSET, -1);
    Bytes huge = image_of(1);
    put_le32(&huge, LIST_COUNT_OFFSET, 0x7FFFFFFF);
    Bytes truncated = image_of(3);
    truncated.pop_back();
    Bytes longer = image_of(2);
    longer.push_back(0);
    Bytes unterminated = image_of(2);
    std::memset(&unterminated[LIST_HEADER_BYTES + LIST_ENTRY_BYTES], 'a', LIST_NAME_BYTES);
    Bytes full_name = image_of(1);
    std::memset(&full_name[LIST_HEADER_BYTES], 'a', LIST_NAME_BYTES - 1);
    // Names that would lead the uninstall out of the installed folder.
    auto named = [](const char* name) {
        Bytes image = image_of(2);
        std::memset(&image[LIST_HEADER_BYTES + LIST_ENTRY_BYTES], 0, LIST_NAME_BYTES);
        std::memcpy(&image[LIST_HEADER_BYTES + LIST_ENTRY_BYTES], name, std::strlen(name));
        return image;
    };
    const Case cases[] = {
        {"empty file", Bytes(), false},
        {"shorter than the header", Bytes(LIST_HEADER_BYTES - 1, 0), false},
        {"no entries", image_of(0), true},
        {"three entries", image_of(3), true},
        {"negative count", negative, false},
        {"count far beyond the file", huge, false},
        {"one byte short", truncated, false},
        {"one byte too many", longer, false},
        {"name without terminator", unterminated, false},
        {"name of 255 characters", full_name, true},
        {"empty name", named(""), false},
        {"absolute name", named("\\windows\\system.ini"), false},
        {"drive prefix", named("C:autoexec.bat"), false},
        {"parent folder", named("data\\..\\..\\boot.ini"), false},
        {"dots inside a name", named("data\\..more\\a..b"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.valid, list_image_is_valid(c.image.data(), c.image.size()));
    }
}

TEST(ListImage, NamesTheImageAfterTheList)
{
    const struct {
        const char* list;
        const char* image;
    } cases[] = {
        {"typical_install_list.txt", "typical_install_list.install"},
        {"out\\exe_install_list.txt", "out\\exe_install_list.install"},
        {"lists.v2\\names", "lists.v2\\names.install"},
        {"a.b.txt", "a.b.install"},
    };
    for (const auto& c : cases) {
        char image[64];
        ASSERT_TRUE(list_image_name(c.list, image, sizeof image));
        EXPECT_STREQ(c.image, image);
    }
    char tiny[12];
    EXPECT_FALSE(list_image_name("list.txt", tiny, sizeof tiny));
}

class MakeListImage : public ::testing::Test {
protected:
    ListImageResult make(const std::string& list_text, int options = 0)
    {
        write_text(scratch / "list.txt", list_text);
        return make_list_image((scratch / "list.txt").c_str(), (scratch / "src/").c_str(),
                               (scratch / "list.install").c_str(), &report, nullptr, nullptr,
                               options);
    }
    Bytes image() { return read_file(scratch / "list.install"); }

    ScratchFolder scratch;
    ListImageReport report;
};

TEST_F(MakeListImage, RecordsNamesSizesAndTotalInListOrder)
{
    write_file(scratch / "src/b.dat", Bytes(300, 7));
    write_file(scratch / "src/sub dir/a.txt", Bytes(5000, 1));
    write_file(scratch / "src/empty", Bytes());
    ASSERT_EQ(LIST_IMAGE_OK, make("b.dat\r\nabsent.bin\nsub dir\\a.txt\nempty"));

    Bytes made = image();
    ASSERT_TRUE(list_image_is_valid(made.data(), made.size()));
    EXPECT_EQ(Bytes(LIST_NAME_BYTES, 0), Bytes(made.begin(), made.begin() + LIST_NAME_BYTES));
    EXPECT_EQ(4, le32_at(made, LIST_COUNT_OFFSET));
    EXPECT_EQ(5300, le32_at(made, LIST_TOTAL_SIZE_OFFSET));
    EXPECT_EQ(0, le32_at(made, LIST_TOTAL_SIZE_OFFSET + 4));
    const struct {
        const char* name;
        int32_t size;
    } entries[] = {{"b.dat", 300}, {"absent.bin", 0}, {"sub dir\\a.txt", 5000}, {"empty", 0}};
    for (int i = 0; i < 4; i++) {
        const uint8_t* entry = &made[LIST_HEADER_BYTES + (size_t)i * LIST_ENTRY_BYTES];
        Bytes expected_name(LIST_NAME_BYTES, 0);
        std::memcpy(expected_name.data(), entries[i].name, std::strlen(entries[i].name));
        EXPECT_EQ(expected_name, Bytes(entry, entry + LIST_NAME_BYTES)) << entries[i].name;
        EXPECT_EQ(entries[i].size, le32_at(made, LIST_HEADER_BYTES + (size_t)i * LIST_ENTRY_BYTES +
                                                     LIST_ENTRY_SIZE_OFFSET));
    }
    EXPECT_EQ(1, report.missing_files);
}

TEST_F(MakeListImage, EmptyListGivesABareHeader)
{
    ASSERT_EQ(LIST_IMAGE_OK, make(""));
    EXPECT_EQ(Bytes(LIST_HEADER_BYTES, 0), image());
    ASSERT_EQ(LIST_IMAGE_OK, make("\n\n"));
    EXPECT_EQ(Bytes(LIST_HEADER_BYTES, 0), image());
}

// The first blank line ends a list, as for unpack_archive; blank lines behind it do no harm.
TEST_F(MakeListImage, AcceptsWhatSetupInstallsAsSpelled)
{
    write_file(scratch / "src/a", Bytes(3, 1));
    write_file(scratch / "src/Cr\xe9" "dits.txt", Bytes(2, 1));
    // (No file of 248 characters: Windows' ANSI calls take no such path under the scratch folder.)
    std::string longest(248, 'n');
    const struct {
        const char* what;
        std::string list;
        int options;
        int32_t count;
    } cases[] = {
        {"trailing blank lines", "a\n\n\n", LIST_IMAGE_ONLY_COMPLETE, 1},
        {"blanks alone end the list", "a\r\n \t\r\n", LIST_IMAGE_ONLY_COMPLETE, 1},
        {"a code page's byte, with --code-page", "Cr\xe9" "dits.txt\na\n",
         LIST_IMAGE_CODE_PAGE_NAMES | LIST_IMAGE_ONLY_COMPLETE, 2},
        {"248 characters, the most under C:\\trv", longest + "\n", 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(LIST_IMAGE_OK, make(c.list, c.options));
        Bytes made = image();
        ASSERT_TRUE(list_image_is_valid(made.data(), made.size()));
        EXPECT_EQ(c.count, le32_at(made, LIST_COUNT_OFFSET));
        std::string first = c.list.substr(0, c.list.find_first_of("\r\n"));
        EXPECT_EQ(0, std::memcmp(&made[LIST_HEADER_BYTES], first.c_str(), first.size() + 1));
    }
}

TEST_F(MakeListImage, RefusesListsThatUnpackingWouldReadDifferently)
{
    write_file(scratch / "src/data/a.txt", Bytes(1, 1));
    const std::string too_long(249, 'n');
    const struct {
        std::string list;
        int options;
        ListImageResult result;
        int32_t line;
        NameProblem problem;  // the rule for installable names the line breaks, if it is one
        int32_t other_line;   // the blank line, or the earlier line of the same name
    } cases[] = {
        {"a\n\nb\n", 0, LIST_IMAGE_AFTER_BLANK_LINE, 3, NAME_OK, 2},
        {"a\n \t\n\nb\n", 0, LIST_IMAGE_AFTER_BLANK_LINE, 4, NAME_OK, 2},
        {"a\n b\n", 0, LIST_IMAGE_BAD_NAME, 2, NAME_OK, 0},
        {"a \n", 0, LIST_IMAGE_BAD_NAME, 1, NAME_TRAILING_DOT_OR_BLANK, 0},
        {"two  blanks\n", 0, LIST_IMAGE_BAD_NAME, 1, NAME_OK, 0},
        {"tab\there\n", 0, LIST_IMAGE_BAD_NAME, 1, NAME_BAD_CHARACTER, 0},
        {"..\\outside\n", 0, LIST_IMAGE_BAD_NAME, 1, NAME_OUTSIDE, 0},
        {"C:\\absolute\n", 0, LIST_IMAGE_BAD_NAME, 1, NAME_ABSOLUTE, 0},
        {"\\rooted\n", 0, LIST_IMAGE_BAD_NAME, 1, NAME_ABSOLUTE, 0},
        {"a\nsound\\Nul.wav\n", 0, LIST_IMAGE_BAD_NAME, 2, NAME_DEVICE, 0},
        {"a<b.txt\n", 0, LIST_IMAGE_BAD_NAME, 1, NAME_BAD_CHARACTER, 0},
        {"a\nc.txt:d\n", 0, LIST_IMAGE_BAD_NAME, 2, NAME_BAD_CHARACTER, 0},
        {"x.\n", 0, LIST_IMAGE_BAD_NAME, 1, NAME_TRAILING_DOT_OR_BLANK, 0},
        {"com1.txt\\a\n", 0, LIST_IMAGE_BAD_NAME, 1, NAME_DEVICE, 0},
        {"a\\.\\b\n", 0, LIST_IMAGE_BAD_NAME, 1, NAME_DOT_PART, 0},
        {"\xEF\xBB\xBF" "a\n", LIST_IMAGE_CODE_PAGE_NAMES, LIST_IMAGE_BAD_NAME, 1,
         NAME_BYTE_ORDER_MARK, 0},
        {"a\nCr\xC3\xA9" "dits.txt\n", 0, LIST_IMAGE_BAD_NAME, 2, NAME_NOT_ASCII, 0},
        {"x\n" + too_long + "\n", 0, LIST_IMAGE_BAD_NAME, 2, NAME_TOO_LONG_TO_INSTALL, 0},
        // Longer than an image can hold, and its first 256 characters end in a dot.
        {"x\n" + std::string(255, 'n') + "." + std::string(44, 'n') + "\n", 0,
         LIST_IMAGE_BAD_NAME, 2, NAME_TOO_LONG_TO_INSTALL, 0},
        {"data\\a.txt\nb\ndata/A.TXT\n", 0, LIST_IMAGE_NAMED_TWICE, 3, NAME_OK, 1},
        {"a.txt\nb\nc\nA.txt\n", 0, LIST_IMAGE_NAMED_TWICE, 4, NAME_OK, 1},
        {"b\n\xC9.txt\n\xC9.TXT\n", LIST_IMAGE_CODE_PAGE_NAMES, LIST_IMAGE_NAMED_TWICE, 3,
         NAME_OK, 2},
        {"a\ndata\n", 0, LIST_IMAGE_FOLDER, 2, NAME_OK, 0},
        {"data\\a.txt\nabsent\n", 0, LIST_IMAGE_FILES_MISSING, 2, NAME_OK, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list.substr(0, 40));
        write_text(scratch / "list.install", "earlier");
        EXPECT_EQ(c.result, make(c.list, c.options | LIST_IMAGE_ONLY_COMPLETE));
        EXPECT_EQ(c.line, report.line);
        EXPECT_EQ(c.problem, report.name_problem);
        EXPECT_EQ(c.other_line, report.other_line);
        EXPECT_EQ(bytes_of("earlier"), image());
    }
}

TEST_F(MakeListImage, MissingListIsReportedAndWritesNothing)
{
    ListImageResult result =
        make_list_image((scratch / "none.txt").c_str(), (scratch / "src/").c_str(),
                        (scratch / "list.install").c_str(), &report, nullptr, nullptr);
    EXPECT_EQ(LIST_IMAGE_LIST_UNREADABLE, result);
    EXPECT_FALSE(file_exists(scratch / "list.install"));
}

#ifndef _WIN32
// The image is written to a partial file of its own: a leftover or a link at IMAGE.partial is
// neither followed nor emptied, and the image still takes its place.
TEST_F(MakeListImage, NeverWritesThroughWhatStandsAtThePartialName)
{
    write_file(scratch / "src/a.dat", Bytes(10, 1));
    write_text(scratch / "victim.txt", "keep me");
    ASSERT_EQ(0, symlink((scratch / "victim.txt").c_str(), (scratch / "list.install.partial").c_str()));
    ASSERT_EQ(LIST_IMAGE_OK, make("a.dat\n"));
    EXPECT_EQ(bytes_of("keep me"), read_file(scratch / "victim.txt"));
    EXPECT_EQ(size_t(LIST_HEADER_BYTES + LIST_ENTRY_BYTES), image().size());
    EXPECT_FALSE(file_exists(scratch / "list.install.partial2"));
}
#endif
