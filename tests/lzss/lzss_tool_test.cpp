// lzss_tool_test.cpp -- the lzss program end to end: arguments, progress lines, failure messages,
// exit statuses and what a failed run leaves on disk.
//
// Every case starts lzss as a separate process, with the test's scratch folder as the current
// folder so that the paths in its messages are short and exact. Cases that need a full disk use
// a symbolic link to /dev/full and are left out on Windows.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<std::string> Arguments;

std::string usage_text()
{
    const std::string program = LZSS_PROGRAM;
    return "lzss 2.1\n"
           "usage: " + program + " input.QBR filelist.txt outpath\\\n"
           "usage: " + program + " inpath\\ filelist.txt output.QBR\n";
}

// Every entry under `root` (files, folders, links), relative to it.
std::set<std::string> tree_of(const std::string& root)
{
    std::set<std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         it != fs::recursive_directory_iterator(); it.increment(error))
        entries.insert(fs::relative(it->path(), root).generic_string());
    return entries;
}

bool link_or_file_exists(const std::string& path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line))
        lines.push_back(line);
    return lines;
}

// The running total of a progress line: its first ten columns.
int64_t running_total(const std::string& line) { return std::stoll(line.substr(0, 10)); }

#ifndef _WIN32
// Makes `path` a link to a device on which every write fails for want of space.
void link_to_full_disk(const std::string& path)
{
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty())
        fs::create_directories(folder);
    fs::remove(path);
    fs::create_symlink("/dev/full", path);
}
#endif

const Bytes earlier_archive = bytes_of("an archive from an earlier run");

class LzssTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_folder = fs::current_path();
        fs::current_path(scratch.path());
    }
    void TearDown() override { fs::current_path(previous_folder); }

    ProgramRun lzss(const Arguments& arguments)
    {
        return run_program(LZSS_PROGRAM, arguments, logs.path());
    }

    // in/first.txt (1500 bytes of text) and in/second.bin (3000 random bytes), named in that
    // order by list.txt and packed into a.qbr by lzss.
    void make_standard_archive()
    {
        write_file("in/first.txt", first);
        write_file("in/second.bin", second);
        write_text("list.txt", "first.txt\nsecond.bin\n");
        ProgramRun pack = lzss({"in/", "list.txt", "a.qbr"});
        ASSERT_EQ(0, pack.status) << pack.err;
    }

    ScratchFolder scratch;
    ScratchFolder logs;
    fs::path previous_folder;
    const Bytes first = text_bytes(1500, 1);
    const Bytes second = random_bytes(3000, 2);
};

// A run of lzss, what is staged before it, and what it must print and return.
struct ToolCase {
    const char* name;
    std::function<void()> stage;
    Arguments arguments;
    int status;
    std::string out;
    std::string err;
};

TEST_F(LzssTool, PrintsUsageAndReturnsOneForFewerThanThreeArguments)
{
    const Arguments cases[] = {{}, {"a.qbr"}, {"a.qbr", "list.txt"}};
    for (const Arguments& arguments : cases) {
        SCOPED_TRACE(arguments.size());
        ProgramRun run = lzss(arguments);
        EXPECT_EQ(1, run.status);
        EXPECT_EQ(usage_text(), run.err);
        EXPECT_EQ("", run.out);
    }
}

TEST_F(LzssTool, PrintsUsageAndReturnsNineWhenNoModeFitsTheThirdArgument)
{
    make_standard_archive();
    const std::set<std::string> before = tree_of(".");
    const Arguments cases[] = {
        {"in/", "list.txt", "out"},        {"in/", "list.txt", "a.zip"},
        {"in/", "list.txt", "a.qbr.bak"},  {"in/", "list.txt", "a.qb"},
        {"a.qbr", "list.txt", "out"},      // unpack without the final separator
    };
    for (const Arguments& arguments : cases) {
        SCOPED_TRACE(arguments[2]);
        ProgramRun run = lzss(arguments);
        EXPECT_EQ(9, run.status);
        EXPECT_EQ(usage_text(), run.err);
        EXPECT_EQ("", run.out);
        EXPECT_EQ(before, tree_of("."));
    }
}

TEST_F(LzssTool, PacksToArchiveNamesEndingInQbrInAnyCase)
{
    write_file("in/first.txt", first);
    write_text("list.txt", "first.txt\n");
    const Arguments cases[] = {
        {"in/", "list.txt", "lower.qbr"},
        {"in/", "list.txt", "upper.QBR"},
        {"in/", "list.txt", "mixed.Qbr"},
        {"in/", "list.txt", "extra.qbr", "further", "arguments"},
    };
    Bytes reference;
    for (const Arguments& arguments : cases) {
        SCOPED_TRACE(arguments[2]);
        ProgramRun run = lzss(arguments);
        EXPECT_EQ(0, run.status);
        EXPECT_EQ("", run.err);
        Bytes archive = read_file(arguments[2]);
        EXPECT_FALSE(archive.empty());
        if (reference.empty())
            reference = archive;
        EXPECT_TRUE(reference == archive);  // each run is a fresh process
    }
}

TEST_F(LzssTool, PrintsOneProgressLinePerFileWithRunningTotalAndPathAsBuilt)
{
    write_file("in/first.txt", first);
    write_file("in/sub/empty.bin", Bytes());
    write_file("in/sub/ten.bin", random_bytes(10, 3));
    write_text("list.txt", "first.txt\nsub\\empty.bin\nsub/ten.bin\n");
    struct Folders {
        const char* input;
        const char* output;
    };
    const Folders cases[] = {{"in/", "out1/"}, {"in\\", "out2\\"}};
    for (const Folders& c : cases) {
        SCOPED_TRACE(c.output);
        const std::string in = c.input;
        const std::string out = c.output;
        ProgramRun pack = lzss({in, "list.txt", "a.qbr"});
        EXPECT_EQ(0, pack.status);
        EXPECT_EQ("", pack.err);
        EXPECT_EQ("      1500     1500 " + in + "first.txt\n"
                  "      1500        0 " + in + "sub\\empty.bin\n"
                  "      1510       10 " + in + "sub/ten.bin\n",
                  pack.out);

        ProgramRun unpack = lzss({"a.qbr", "list.txt", out});
        EXPECT_EQ(0, unpack.status);
        EXPECT_EQ("", unpack.err);
        EXPECT_EQ("      1500     1500 " + out + "first.txt\n"
                  "      1500        0 " + out + "sub\\empty.bin\n"
                  "      1510       10 " + out + "sub/ten.bin\n",
                  unpack.out);
        const std::string host_out = out.substr(0, 4) + "/";
        EXPECT_TRUE(first == read_file(host_out + "first.txt"));
        EXPECT_TRUE(file_exists(host_out + "sub/empty.bin"));
        EXPECT_TRUE(read_file("in/sub/ten.bin") == read_file(host_out + "sub/ten.bin"));
    }
}

TEST_F(LzssTool, UnpacksIntoFoldersThatDoNotExistYet)
{
    struct Entry {
        const char* list_name;
        const char* host_name;
        Bytes bytes;
    };
    const Entry entries[] = {
        {"a\\b\\c.txt", "a/b/c.txt", text_bytes(5000, 4)},
        {"a\\d.bin", "a/d.bin", random_bytes(70000, 5)},
        {"e.txt", "e.txt", Bytes()},
        {"a\\b\\f\\g.bin", "a/b/f/g.bin", run_bytes(4097, 6)},
    };
    std::string list;
    int64_t sum = 0;
    for (const Entry& e : entries) {
        write_file(std::string("in/") + e.host_name, e.bytes);
        list += std::string(e.list_name) + "\n";
        sum += static_cast<int64_t>(e.bytes.size());
    }
    write_text("list.txt", list);
    ASSERT_EQ(0, lzss({"in/", "list.txt", "a.qbr"}).status);

    ProgramRun run = lzss({"a.qbr", "list.txt", "made/on\\demand/"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("", run.err);
    std::vector<std::string> lines = lines_of(run.out);
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ(sum, running_total(lines.back()));
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.list_name);
        bool exists = false;
        EXPECT_TRUE(e.bytes == read_file(std::string("made/on/demand/") + e.host_name, &exists));
        EXPECT_TRUE(exists);
    }
}

TEST_F(LzssTool, ReportsEachUnpackFailureWithItsMessageAndStatus)
{
    make_standard_archive();
    const std::string first_line = "      1500     1500 out/first.txt\n";
    const std::string both_lines = first_line + "      4500     3000 out/second.bin\n";
    const ToolCase cases[] = {
        {"archive missing", [] {}, {"missing.qbr", "list.txt", "out/"}, 2, "",
         "Fatal compression error, could not open files missing.qbr and list.txt.\n"},
        {"list missing", [] {}, {"a.qbr", "missing.txt", "out/"}, 2, "",
         "Fatal compression error, could not open files a.qbr and missing.txt.\n"},
        {"list is a folder", [] { fs::create_directories("folder.txt"); },
         {"a.qbr", "folder.txt", "out/"}, 2, "",
         "Fatal compression error, could not open files a.qbr and folder.txt.\n"},
        {"a file where a folder must go",
         [] {
             write_text("out/blocker", "");
             write_text("deep.txt", "blocker\\deeper\\first.txt\n");
         },
         {"a.qbr", "deep.txt", "out/"}, 3, "",
         "Fatal compression error, could not create directory out/blocker.\n"},
        {"a folder where the file must go", [] { fs::create_directories("out/first.txt"); },
         {"a.qbr", "list.txt", "out/"}, 4, "",
         "Fatal decompression error, could not open file out/first.txt.\n"},
        {"list names more entries than the archive holds",
         [] { write_text("long.txt", "first.txt\nsecond.bin\nthird.txt\n"); },
         {"a.qbr", "long.txt", "out/"}, 5, both_lines,
         "Fatal decompression error, could not decompress a.qbr to out/third.txt.\n"},
        {"archive cut short",
         [] {
             Bytes whole = read_file("a.qbr");
             write_file("cut.qbr", Bytes(whole.begin(), whole.end() - 10));
         },
         {"cut.qbr", "list.txt", "out/"}, 5, first_line,
         "Fatal decompression error, could not decompress cut.qbr to out/second.bin.\n"},
#ifndef _WIN32
        {"output file on a full disk",
         [] {
             link_to_full_disk("out/second.bin");
         },
         {"a.qbr", "list.txt", "out/"}, 11, first_line,
         "Fatal decompression error, could not write file out/second.bin.\n"},
#endif
    };
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all("out");
        c.stage();
        ProgramRun run = lzss(c.arguments);
        EXPECT_EQ(c.status, run.status);
        EXPECT_EQ(c.out, run.out);
        EXPECT_EQ(c.err, run.err);
    }
}

TEST_F(LzssTool, ReportsEachPackFailureAndKeepsTheEarlierArchive)
{
    write_file("in/first.txt", first);
    write_file("in/second.bin", second);
    write_text("list.txt", "first.txt\nsecond.bin\n");
    struct PackCase {
        ToolCase run;
        bool earlier;  // an archive from an earlier run is at the target
    };
    const PackCase cases[] = {
        {{"list missing", [] {}, {"in/", "missing.txt", "a.qbr"}, 6, "",
          "Fatal compression error, could not open files missing.txt and a.qbr.\n"},
         false},
        {{"list missing, earlier archive", [] {}, {"in/", "missing.txt", "a.qbr"}, 6, "",
          "Fatal compression error, could not open files missing.txt and a.qbr.\n"},
         true},
        {{"list is a folder", [] { fs::create_directories("folder.txt"); },
          {"in/", "folder.txt", "a.qbr"}, 6, "",
          "Fatal compression error, could not open files folder.txt and a.qbr.\n"},
         true},
        {{"archive folder missing", [] {}, {"in/", "list.txt", "nowhere/a.qbr"}, 6, "",
          "Fatal compression error, could not open files list.txt and nowhere/a.qbr.\n"},
         false},
        {{"input missing after two entries",
          [] { write_text("gap.txt", "first.txt\nsecond.bin\nmissing.txt\nfirst.txt\n"); },
          {"in/", "gap.txt", "a.qbr"}, 7,
          "      1500     1500 in/first.txt\n      4500     3000 in/second.bin\n",
          "Fatal compression error, could not open file in/missing.txt.\n"},
         true},
        {{"input is a folder",
          [] {
              fs::create_directories("in/folder");
              write_text("folder-list.txt", "folder\n");
          },
          {"in/", "folder-list.txt", "a.qbr"}, 7, "",
          "Fatal compression error, could not open file in/folder.\n"},
         true},
        {{"directory without its separator", [] {}, {"in", "list.txt", "a.qbr"}, 7, "",
          "Fatal compression error, could not open file infirst.txt.\n"},
         true},
#ifndef _WIN32
        {{"archive write fails",
          [] {
              write_file("in/big.bin", random_bytes(200000, 7));
              write_text("big.txt", "big.bin\n");
              link_to_full_disk("a.qbr.partial");
          },
          {"in/", "big.txt", "a.qbr"}, 8, "",
          "Fatal compression error, could not compress in/big.bin to a.qbr.\n"},
         true},
        {{"archive fails when flushed at the end",
          [] {
              write_text("one.txt", "first.txt\n");
              link_to_full_disk("a.qbr.partial");
          },
          {"in/", "one.txt", "a.qbr"}, 10, "      1500     1500 in/first.txt\n",
          "Fatal compression error, closing QBR file a.qbr.\n"},
         true},
#endif
    };
    for (const PackCase& c : cases) {
        SCOPED_TRACE(c.run.name);
        const std::string archive = c.run.arguments[2];
        fs::remove("a.qbr");
        if (c.earlier)
            write_file(archive, earlier_archive);
        c.run.stage();
        ProgramRun run = lzss(c.run.arguments);
        EXPECT_EQ(c.run.status, run.status);
        EXPECT_EQ(c.run.out, run.out);
        EXPECT_EQ(c.run.err, run.err);
        if (c.earlier)
            EXPECT_TRUE(earlier_archive == read_file(archive));
        else
            EXPECT_FALSE(link_or_file_exists(archive));
        EXPECT_FALSE(link_or_file_exists(archive + ".partial"));
    }
}

TEST_F(LzssTool, RefusesUnsafeNamesBeforeWritingAnything)
{
    make_standard_archive();
    fs::create_directories("deep/er/out");
    const std::set<std::string> before = tree_of(".");
    const char* const names[] = {"/etc/x", "\\x", "C:x", "..\\x", "a\\..\\..\\x", "a/../../x"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        write_text("unsafe.txt", std::string("first.txt\n") + name + "\n");
        ProgramRun run = lzss({"a.qbr", "unsafe.txt", "deep/er/out/"});
        EXPECT_EQ(12, run.status);
        EXPECT_EQ("", run.out);
        EXPECT_EQ(std::string("Fatal decompression error, unsafe file name deep/er/out/") + name +
                      ".\n",
                  run.err);
        std::set<std::string> after = tree_of(".");
        after.erase("unsafe.txt");
        EXPECT_EQ(before, after);
    }
}

TEST_F(LzssTool, ExtractsNamesThatOnlyLookUnsafe)
{
    const char* const names[] = {"a..b.txt", "..x", "x..\\y.txt"};
    std::string list;
    for (const char* name : names) {
        std::string host = name;
        if (host.find('\\') != std::string::npos)
            host.replace(host.find('\\'), 1, "/");
        write_file("in/" + host, text_bytes(100, 8));
        list += std::string(name) + "\n";
    }
    write_text("list.txt", list);
    ASSERT_EQ(0, lzss({"in/", "list.txt", "a.qbr"}).status);
    ProgramRun run = lzss({"a.qbr", "list.txt", "out/"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("", run.err);
    EXPECT_TRUE(text_bytes(100, 8) == read_file("out/x../y.txt"));
    EXPECT_TRUE(file_exists("out/a..b.txt"));
    EXPECT_TRUE(file_exists("out/..x"));
}

TEST_F(LzssTool, RefusesNamesTooLongForThePathBuffer)
{
    make_standard_archive();
    write_file("a.qbr.keep", read_file("a.qbr"));
    const std::string long_name(1100, 'n');
    const std::string long_folder = std::string(1100, 'd') + "/";
    const std::string near_full_folder = std::string(1000, 'd') + "/";  // 1001 of 1024
    write_text("long.txt", "first.txt\n" + long_name + "\n");
    write_text("hundred.txt", std::string(100, 'n') + "\n");
    const std::string too_long = "Fatal compression error, file name too long in ";
    const ToolCase cases[] = {
        {"pack, list line", [] {}, {"in/", "long.txt", "b.qbr"}, 13,
         "      1500     1500 in/first.txt\n", too_long + "long.txt.\n"},
        {"unpack, list line", [] {}, {"a.qbr", "long.txt", "out/"}, 13, "",
         too_long + "long.txt.\n"},
        {"pack, input folder", [] {}, {long_folder, "list.txt", "b.qbr"}, 13, "",
         too_long + long_folder + ".\n"},
        {"unpack, output folder", [] {}, {"a.qbr", "list.txt", long_folder}, 13, "",
         too_long + long_folder + ".\n"},
        {"pack, folder and name together", [] {}, {near_full_folder, "hundred.txt", "b.qbr"}, 13,
         "", too_long + "hundred.txt.\n"},
        {"unpack, folder and name together", [] {}, {"a.qbr", "hundred.txt", near_full_folder},
         13, "", too_long + "hundred.txt.\n"},
    };
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::set<std::string> before = tree_of(".");
        ProgramRun run = lzss(c.arguments);
        EXPECT_EQ(c.status, run.status);
        EXPECT_EQ(c.out, run.out);
        EXPECT_EQ(c.err, run.err);
        EXPECT_EQ(before, tree_of("."));
        EXPECT_TRUE(read_file("a.qbr.keep") == read_file("a.qbr"));
    }
}

#ifndef _WIN32
TEST_F(LzssTool, AcceptsPathsJustShortOfThePathBuffer)
{
    // Four folders of 200 characters: "in/" + 4 * 201 = 807 characters, and a name that brings
    // the full path to 1022 characters, one line feed and the terminator short of 1024.
    std::string folders;
    for (int i = 0; i < 4; i++)
        folders += std::string(200, static_cast<char>('p' + i)) + "/";
    const std::string in = "in/" + folders;
    const std::string out = "ou/" + folders;
    const std::string name(1022 - in.size(), 'f');
    write_file(in + name, first);
    write_text("list.txt", name + "\n");

    ProgramRun pack = lzss({in, "list.txt", "a.qbr"});
    EXPECT_EQ(0, pack.status);
    EXPECT_EQ("", pack.err);
    ProgramRun unpack = lzss({"a.qbr", "list.txt", out});
    EXPECT_EQ(0, unpack.status);
    EXPECT_EQ("", unpack.err);
    EXPECT_TRUE(first == read_file(out + name));
}
#endif

TEST_F(LzssTool, RefusesToPackOrUnpackOverItsOwnFiles)
{
    make_standard_archive();
    struct SelfCase {
        const char* name;
        std::function<void()> stage;
        Arguments arguments;
        std::string named;      // the file the message must name
        std::string protected_file;
    };
    const SelfCase cases[] = {
        {"pack list names the archive",
         [] {
             write_file("in/self.qbr", earlier_archive);
             write_text("self-list.txt", "first.txt\nself.qbr\n");
         },
         {"in/", "self-list.txt", "in/self.qbr"}, "self.qbr", "in/self.qbr"},
        {"pack list is the archive", [] { write_text("both.qbr", "first.txt\n"); },
         {"in/", "both.qbr", "both.qbr"}, "both.qbr", "both.qbr"},
        {"unpack list names the archive",
         [] {
             write_file("out/a.qbr", read_file("a.qbr"));
             write_text("self-list.txt", "first.txt\na.qbr\n");
         },
         {"./out/a.qbr", "self-list.txt", "out/"}, "a.qbr", "out/a.qbr"},
        {"unpack list names itself",
         [] { write_text("out/self-list.txt", "first.txt\nself-list.txt\n"); },
         {"a.qbr", "out/self-list.txt", "out/"}, "self-list.txt", "out/self-list.txt"},
    };
    for (const SelfCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all("out");
        c.stage();
        const Bytes kept = read_file(c.protected_file);
        ProgramRun run = lzss(c.arguments);
        EXPECT_EQ(14, run.status);
        EXPECT_NE(std::string::npos, run.err.find(c.named)) << run.err;
        EXPECT_TRUE(kept == read_file(c.protected_file));
        EXPECT_FALSE(file_exists("out/first.txt"));
        EXPECT_FALSE(link_or_file_exists(c.arguments[2] + ".partial"));
    }
}

// About 3000 files in nested folders, names with blanks, sizes from 0 to above 65536 bytes and
// three kinds of content, listed with backslashes and CR LF line ends.
TEST_F(LzssTool, RoundTripsARealisticTree)
{
    const int file_count = 3000;
    std::mt19937 generator(2024);
    std::vector<std::string> host_names;
    std::string list;
    int64_t sum = 0;
    for (int i = 0; i < file_count; i++) {
        std::string folder;
        for (int depth = 0; depth < i % 4; depth++)
            folder += "level " + std::to_string(depth) + "_" +
                      std::to_string((i / 4 + depth) % 6) + "/";
        const std::string host_name = folder + "file " + std::to_string(i) + ".dat";
        size_t size = 1 + generator() % 1500;
        if (i % 60 == 0)
            size = 0;
        else if (i % 97 == 0)
            size = 4097 + generator() % 64;
        else if (i % 499 == 0)
            size = 65537 + generator() % 2000;
        Bytes bytes = i % 3 == 0 ? text_bytes(size, i) : i % 3 == 1 ? random_bytes(size, i)
                                                                    : run_bytes(size, i);
        write_file("in/" + host_name, bytes);
        sum += static_cast<int64_t>(size);
        host_names.push_back(host_name);

        std::string list_name = host_name;
        for (char& ch : list_name)
            ch = ch == '/' ? '\\' : ch;
        list += (i % 10 == 0 ? "  " + list_name + "\t" : list_name) + "\r\n";
    }
    write_text("list.txt", list);

    ProgramRun pack = lzss({"in\\", "list.txt", "tree.qbr"});
    ASSERT_EQ(0, pack.status) << pack.err;
    std::vector<std::string> packed = lines_of(pack.out);
    ASSERT_EQ(static_cast<size_t>(file_count), packed.size());
    EXPECT_EQ(sum, running_total(packed.back()));

    ProgramRun unpack = lzss({"tree.qbr", "list.txt", "restored\\"});
    ASSERT_EQ(0, unpack.status) << unpack.err;
    std::vector<std::string> unpacked = lines_of(unpack.out);
    ASSERT_EQ(static_cast<size_t>(file_count), unpacked.size());
    EXPECT_EQ(sum, running_total(unpacked.back()));
    int mismatches = 0;
    for (const std::string& name : host_names) {
        bool exists = false;
        if (read_file("in/" + name) != read_file("restored/" + name, &exists) || !exists) {
            ADD_FAILURE() << "restored file differs: " << name;
            if (++mismatches == 10)
                break;
        }
    }
}

}  // namespace
