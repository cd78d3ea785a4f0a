// golden_vectors_test.cpp -- the archives a freshly started lzss writes must match the golden
// sizes and SHA-256 digests of tests/data/vectors/vectors.tsv, and unpack to their inputs.
//
// Each row gets its own lzss process: the codec's window carries over from entry to entry within
// a process, so only the first archive of a process is comparable with the golden values.

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/sha256.h"
#include "support/test_support.h"

namespace {

struct GoldenArchive {
    std::string name;
    std::string input_folder;  // "inputs" (in the repository) or "canterbury" (shared corpus)
    std::vector<std::string> names;
    size_t archive_bytes;
    std::string archive_sha256;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const GoldenArchive& row, std::ostream* out) { *out << row.name; }

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    return parts;
}

std::vector<GoldenArchive> load_golden_archives()
{
    std::vector<GoldenArchive> rows;
    std::ifstream table(TEST_DATA_DIR "/vectors/vectors.tsv");
    std::string line;
    std::getline(table, line);  // column names
    while (std::getline(table, line)) {
        std::vector<std::string> fields = split(line, '\t');
        if (fields.size() != 5)
            continue;
        rows.push_back({fields[0], fields[1], split(fields[2], ' '),
                        static_cast<size_t>(std::stoul(fields[3])), fields[4]});
    }
    return rows;
}

std::string input_folder_path(const std::string& folder)
{
    if (folder == "inputs")
        return TEST_DATA_DIR "/vectors/inputs/";
    return SHARED_DIR "/corpus/canterbury/";
}

class GoldenVectors : public ::testing::TestWithParam<GoldenArchive> {};

TEST(Sha256, MatchesStandardDigests)
{
    // One block, and a message whose padding needs a second block.
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
              sha256_hex(bytes_of("abc")));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              sha256_hex(bytes_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")));
}

TEST(GoldenVectors, TableIsComplete)
{
    EXPECT_EQ(25u, load_golden_archives().size());
}

TEST_P(GoldenVectors, PackMatchesAndUnpackRestoresInputs)
{
    const GoldenArchive& row = GetParam();
    const std::string inputs = input_folder_path(row.input_folder);
    for (const std::string& name : row.names) {
        if (!file_exists(inputs + name))
            LEAVE_WITHOUT_INPUT("input " << inputs << name
                                << " is missing (the shared corpus is not beside the repository)");
    }

    ScratchFolder scratch;
    std::string list;
    for (const std::string& name : row.names)
        list += name + "\n";
    write_text(scratch / "list.txt", list);

    const std::string archive = scratch / "golden.qbr";
    ProgramRun pack = run_program(LZSS_PROGRAM, {inputs, scratch / "list.txt", archive},
                                  scratch.path());
    ASSERT_EQ(0, pack.status) << pack.err;
    Bytes packed = read_file(archive);
    EXPECT_EQ(row.archive_bytes, packed.size());
    EXPECT_EQ(row.archive_sha256, sha256_hex(packed));

    ProgramRun unpack = run_program(LZSS_PROGRAM, {archive, scratch / "list.txt", scratch / "out/"},
                                    scratch.path());
    ASSERT_EQ(0, unpack.status) << unpack.err;
    for (const std::string& name : row.names) {
        SCOPED_TRACE(name);
        bool exists = false;
        Bytes restored = read_file(scratch / ("out/" + name), &exists);
        ASSERT_TRUE(exists);
        EXPECT_TRUE(read_file(inputs + name) == restored);
    }
}

std::string row_test_name(const ::testing::TestParamInfo<GoldenArchive>& info)
{
    std::string name;
    for (char c : info.param.name)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, GoldenVectors, ::testing::ValuesIn(load_golden_archives()),
                         row_test_name);

}  // namespace
