// entry_crc_test.cpp -- the CRC-32 of each entry as an unpack writes it (unpack_archive_checked),
// and what it catches: every single-bit flip of an archive that changes what it unpacks to.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/archive_ops.h"
#include "archive/crc32.h"
#include "support/test_support.h"

namespace {

uint32_t crc_of(const Bytes& bytes) { return crc32_update(0, bytes.data(), bytes.size()); }

TEST(Crc32, MatchesTheKnownValuesInAnyPieces)
{
    EXPECT_EQ(0u, crc_of(Bytes()));
    EXPECT_EQ(0xE8B7BE43u, crc_of(bytes_of("a")));
    EXPECT_EQ(0xCBF43926u, crc_of(bytes_of("123456789")));
    EXPECT_EQ(0x414FA339u, crc_of(bytes_of("The quick brown fox jumps over the lazy dog")));
    const Bytes bytes = random_bytes(10000, 3);
    for (size_t split : {size_t(0), size_t(1), size_t(4095), size_t(9999)}) {
        uint32_t crc = crc32_update(0, bytes.data(), split);
        EXPECT_EQ(crc_of(bytes), crc32_update(crc, bytes.data() + split, bytes.size() - split));
    }
}

struct Entry {
    int64_t size;
    uint32_t crc;
    std::string path;
};

int record_entry(int64_t byte_count, uint32_t crc, const char* path, void* user_value)
{
    static_cast<std::vector<Entry>*>(user_value)->push_back(Entry{byte_count, crc, path});
    return 0;
}

// unpack_archive_checked into `directory`; the result, and each entry as reported.
int unpack_checked(const std::string& archive, const std::string& list,
                   const std::string& directory, std::vector<Entry>* entries)
{
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, "%s", directory.c_str());
    return unpack_archive_checked(archive.c_str(), list.c_str(), buffer, sizeof buffer, entries,
                                  nullptr, record_entry);
}

// A few files of each kind of content, packed.
struct SmallArchive {
    ScratchFolder scratch;
    std::vector<std::string> names = {"text.txt", "random.bin", "empty.dat", "runs.dat"};
    std::vector<Bytes> contents = {text_bytes(700, 4), random_bytes(200, 5), Bytes(),
                                   run_bytes(600, 6)};
    Bytes archive;

    SmallArchive()
    {
        std::string list;
        for (size_t i = 0; i < names.size(); i++) {
            write_file(scratch / ("in/" + names[i]), contents[i]);
            list += names[i] + "\n";
        }
        write_text(scratch / "list.txt", list);
        char buffer[1024];
        std::snprintf(buffer, sizeof buffer, "%s", (scratch / "in/").c_str());
        pack_archive(buffer, sizeof buffer, (scratch / "list.txt").c_str(),
                     (scratch / "a.qbr").c_str(), nullptr, nullptr);
        archive = read_file(scratch / "a.qbr");
    }
};

TEST(UnpackChecked, GivesEachEntrysSizeAndCrcAsWritten)
{
    SmallArchive small;
    ASSERT_FALSE(small.archive.empty());
    std::vector<Entry> entries;
    ASSERT_EQ(ARCHIVE_OK, unpack_checked(small.scratch / "a.qbr", small.scratch / "list.txt",
                                         small.scratch / "out/", &entries));
    ASSERT_EQ(small.names.size(), entries.size());
    for (size_t i = 0; i < entries.size(); i++) {
        SCOPED_TRACE(small.names[i]);
        EXPECT_EQ(static_cast<int64_t>(small.contents[i].size()), entries[i].size);
        EXPECT_EQ(crc_of(small.contents[i]), entries[i].crc);
        EXPECT_EQ(small.scratch / ("out/" + small.names[i]), entries[i].path);
        EXPECT_TRUE(small.contents[i] == read_file(entries[i].path));
    }
}

// Every bit of the archive flipped in turn: each flip that changes what the archive unpacks to
// (a file's bytes, or an unpack that fails) is refused, by the decoder or by an entry's size or
// CRC that differs from its file's.
TEST(UnpackChecked, RefusesEverySingleBitFlipThatChangesContent)
{
    SmallArchive small;
    ASSERT_FALSE(small.archive.empty());
    const std::string flipped = small.scratch / "flipped.qbr";
    const std::string out = small.scratch / "out/";
    int flips = 0, changing = 0, refused = 0, missed = 0;
    for (size_t bit = 0; bit < small.archive.size() * 8; bit++) {
        Bytes bytes = small.archive;
        bytes[bit / 8] ^= static_cast<uint8_t>(1 << bit % 8);
        write_file(flipped, bytes);
        std::vector<Entry> entries;
        int result = unpack_checked(flipped, small.scratch / "list.txt", out, &entries);
        bool changed = result != ARCHIVE_OK, differs = result != ARCHIVE_OK;
        for (size_t i = 0; i < entries.size(); i++) {
            changed = changed || read_file(entries[i].path) != small.contents[i];
            differs = differs ||
                      entries[i].size != static_cast<int64_t>(small.contents[i].size()) ||
                      entries[i].crc != crc_of(small.contents[i]);
        }
        flips++;
        changing += changed;
        refused += differs;
        if (changed && !differs && ++missed <= 5)
            ADD_FAILURE() << "bit " << bit << " changes content and is not refused";
    }
    EXPECT_EQ(0, missed);
    EXPECT_GT(changing, flips / 2);
    std::printf("flips %d, changing content %d, refused %d (archive of %zu bytes)\n", flips,
                changing, refused, small.archive.size());
    RecordProperty("flips", flips);
    RecordProperty("changing", changing);
    RecordProperty("refused", refused);
}

}  // namespace
