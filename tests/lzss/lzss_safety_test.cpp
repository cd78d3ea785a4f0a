// lzss_safety_test.cpp -- lzss refuses what would write outside its folder, cut a path, or
// overwrite its own inputs; and it round-trips a realistic tree.

#include <random>

#include <sys/stat.h>

#include "lzss/lzss_fixture.h"

namespace {

// Pack and unpack refuse the same names, with the same status, and say which rule a name breaks.
TEST_F(LzssTool, RefusesUnsafeNamesBeforeWritingAnything)
{
    make_standard_archive();
    fs::create_directories("deep/er/out");
    const std::set<std::string> before = tree_of(".");
    const char* const names[] = {"/etc/x", "\\x", "C:x", "..\\x", "a\\..\\..\\x", "a/../../x",
                                 "sound\\NUL.wav", "nul:", "sound\\aux:", "NUL:.txt", "a<b.txt",
                                 "c.txt:d", "x.", "com1.txt\\a", "a\\.\\b", "a\\\\b", "dir \\x"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        write_text("unsafe.txt", std::string("first.txt\n") + name + "\n");
        const std::string reason = std::string("lzss: ") + name + ": ";
        ProgramRun unpack = lzss({"a.qbr", "unsafe.txt", "deep/er/out/"});
        EXPECT_EQ(12, unpack.status);
        EXPECT_EQ("", unpack.out);
        const std::string unpack_line =
            std::string("Fatal decompression error, unsafe file name deep/er/out/") + name + ".\n";
        EXPECT_EQ(unpack_line, unpack.err.substr(0, unpack_line.size()));
        EXPECT_EQ(reason, unpack.err.substr(unpack_line.size(), reason.size()));

        ProgramRun pack = lzss({"in/", "unsafe.txt", "b.qbr"});
        EXPECT_EQ(12, pack.status);
        EXPECT_EQ("      1500     1500 in/first.txt\n", pack.out);
        const std::string pack_line =
            std::string("Fatal compression error, unsafe file name in/") + name + ".\n";
        EXPECT_EQ(pack_line, pack.err.substr(0, pack_line.size()));
        EXPECT_EQ(reason, pack.err.substr(pack_line.size(), reason.size()));

        std::set<std::string> after = tree_of(".");
        after.erase("unsafe.txt");
        EXPECT_EQ(before, after);
    }
}

TEST_F(LzssTool, ExtractsNamesThatOnlyLookUnsafe)
{
    const char* const names[] = {"a..b.txt", "..x", "x..y\\z.txt"};
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
    EXPECT_TRUE(text_bytes(100, 8) == read_file("out/x..y/z.txt"));
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
    // the full path to 1023 characters: only the terminator is short of 1024, for the line feed
    // is not kept.
    std::string folders;
    for (int i = 0; i < 4; i++)
        folders += std::string(200, static_cast<char>('p' + i)) + "/";
    const std::string in = "in/" + folders;
    const std::string out = "ou/" + folders;
    const std::string name(1023 - in.size(), 'f');
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

#ifndef _WIN32
// The hard links to `path`'s file, its own name included.
nlink_t links_of(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_nlink : 0;
}

// What stands at an output's name is replaced, never written through: a hard link elsewhere and
// what a link leads to keep their content. A pack's temporary is made where nothing stands, beside
// a leftover .partial (a link, or a hard link to another file) that it leaves alone.
TEST_F(LzssTool, OutputsReplaceWhatStoodAtTheirNames)
{
    make_standard_archive();
    const Bytes archive = read_file("a.qbr");
    const Bytes victim = bytes_of("the user's own file");
    for (const char* threads : {"1", "8"}) {
        SCOPED_TRACE(std::string("threads ") + threads);
        fs::remove_all("out");
        fs::remove_all("outside");
        fs::remove("t.qbr");
        fs::remove("h.qbr");
        write_file("outside/victim", victim);
        write_file("outside/victim2", victim);
        fs::create_directories("out");
        fs::create_hard_link("outside/victim", "out/first.txt");
        fs::create_symlink("../outside/victim2", "out/second.bin");
        ProgramRun unpack = lzss_on(threads, {"a.qbr", "list.txt", "out/"});
        EXPECT_EQ(0, unpack.status) << unpack.err;
        EXPECT_TRUE(first == read_file("out/first.txt"));
        EXPECT_TRUE(second == read_file("out/second.bin"));
        EXPECT_FALSE(fs::is_symlink("out/second.bin"));
        EXPECT_TRUE(victim == read_file("outside/victim"));
        EXPECT_TRUE(victim == read_file("outside/victim2"));
        EXPECT_EQ(1u, links_of("outside/victim"));

        fs::create_symlink("outside/victim", "t.qbr.partial");
        fs::create_hard_link("outside/victim2", "h.qbr.partial");
        for (const char* name : {"t.qbr", "h.qbr"}) {
            SCOPED_TRACE(name);
            ProgramRun pack = lzss_on(threads, {"in/", "list.txt", name});
            EXPECT_EQ(0, pack.status) << pack.err;
            EXPECT_TRUE(archive == read_file(name));
            EXPECT_FALSE(link_or_file_exists(std::string(name) + ".partial2"));
        }
        EXPECT_TRUE(victim == read_file("outside/victim"));
        EXPECT_TRUE(victim == read_file("outside/victim2"));
        EXPECT_TRUE(fs::is_symlink("t.qbr.partial"));
        EXPECT_EQ(2u, links_of("outside/victim2"));
        fs::remove("t.qbr.partial");
        fs::remove("h.qbr.partial");
    }
}
#endif

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
