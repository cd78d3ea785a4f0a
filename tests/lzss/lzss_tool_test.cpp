// lzss_tool_test.cpp -- the lzss program end to end: arguments, progress lines, failure messages,
// exit statuses and what a failed run leaves on disk.

#include <cinttypes>
#include <cstdio>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "lzss/lzss_fixture.h"
#include "tools/lzss/messages.h"

namespace {

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

static size_t regular_files_under(const std::string& root)
{
    size_t count = 0;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         it != fs::recursive_directory_iterator(); it.increment(error))
        count += it->is_regular_file() ? 1 : 0;
    return count;
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
        // A pipe or a device at an output name is refused without waiting, and stays.
        {"a FIFO where a file goes",
         [] {
             fs::create_directories("out");
             ASSERT_EQ(0, mkfifo("out/second.bin", 0600));
         },
         {"a.qbr", "list.txt", "out/"}, 4, first_line,
         "Fatal decompression error, could not open file out/second.bin.\n"},
        // A device of the test's own (the host's full disk where no node can be made): a fault
        // here must not replace the host's /dev/full.
        {"a device where a file goes",
         [] {
             fs::create_directories("out");
             if (mknod("out/first.txt", S_IFCHR | 0600, makedev(1, 7)) != 0) {
                 ASSERT_EQ(0, mkfifo("out/first.txt", 0600));
             }
         },
         {"a.qbr", "list.txt", "out/"}, 4, "",
         "Fatal decompression error, could not open file out/first.txt.\n"},
        {"a link where a folder must go",
         [] {
             fs::create_directories("out");
             fs::create_directories("elsewhere");
             fs::create_directory_symlink("../elsewhere", "out/maps");
             write_text("linked.txt", "maps\\first.txt\n");
         },
         {"a.qbr", "linked.txt", "out/"}, 3, "",
         "Fatal compression error, could not create directory out/maps.\n"},
#endif
    };
    for (const char* threads : {"1", "2", "8"}) {
        for (const ToolCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + threads);
            fs::remove_all("out");
            c.stage();
            const size_t staged = regular_files_under("out");
            ProgramRun run = lzss_on(threads, c.arguments);
            EXPECT_EQ(c.status, run.status);
            EXPECT_EQ(c.out, run.out);
            EXPECT_EQ(c.err, run.err);
            // Files are created in list order, and none after the entry that failed.
            if (c.arguments[2] == "out/") {
                EXPECT_EQ(staged + lines_of(run.out).size() + (c.status == 5 || c.status == 11),
                          regular_files_under("out"));
            }
        }
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
    };
    for (const char* threads : {"1", "3", "8"}) {
        for (const PackCase& c : cases) {
            SCOPED_TRACE(std::string(c.run.name) + ", threads " + threads);
            const std::string archive = c.run.arguments[2];
            fs::remove("a.qbr");
            if (c.earlier)
                write_file(archive, earlier_archive);
            c.run.stage();
            ProgramRun run = lzss_on(threads, c.run.arguments);
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
}

// A pipe is no archive to replace, nor is a link to one: refused before anything is read or
// written, and left as it was.
TEST_F(LzssTool, RefusesAPipeAsTheArchive)
{
    write_file("in/first.txt", first);
    write_text("list.txt", "first.txt\n");
    ASSERT_EQ(0, mkfifo("pipe.qbr", 0666));
    fs::create_symlink("pipe.qbr", "link.qbr");
    for (const char* archive : {"pipe.qbr", "link.qbr"}) {
        SCOPED_TRACE(archive);
        const std::set<std::string> before = tree_of(".");
        ProgramRun run = lzss({"in/", "list.txt", archive});
        EXPECT_EQ(6, run.status);
        EXPECT_EQ("", run.out);
        EXPECT_EQ(std::string("Fatal compression error, could not open files list.txt and ") +
                      archive + ".\n",
                  run.err);
        EXPECT_EQ(before, tree_of("."));
        EXPECT_TRUE(fs::is_fifo("pipe.qbr"));
    }
}

// How a pack may be started: LZSS_THREADS, and the limits it runs under.
struct PackWay {
    const char* name;
    const char* threads;
    const char* limit;  // a prlimit option, or null
};

// The command (program first) that runs lzss under `way`'s limit. A thread limit binds only an
// unprivileged user, so root runs lzss as nobody (which may then write only in the scratch
// folder, opened to all), without the leak check, whose tracer is a thread of its own. nobody
// runs a copy in the scratch folder: the build tree may lie under a folder only its owner can
// enter (a clone in a private folder).
static Arguments limited(const PackWay& way, const Arguments& arguments)
{
    Arguments command = {"prlimit", way.limit, "--", LZSS_PROGRAM};
    if (std::string(way.limit).find("nproc") != std::string::npos && geteuid() == 0) {
        fs::permissions(fs::current_path(), fs::perms::all, fs::perm_options::add);
        const fs::path copy = fs::current_path() / "lzss-as-nobody";
        fs::copy_file(LZSS_PROGRAM, copy, fs::copy_options::overwrite_existing);
        fs::permissions(copy, fs::perms::owner_all | fs::perms::group_exec |
                                  fs::perms::group_read | fs::perms::others_exec |
                                  fs::perms::others_read);
        command[3] = copy.string();
        command.insert(command.begin(), {"setpriv", "--reuid=65534", "--regid=65534",
                                         "--clear-groups", "env", "ASAN_OPTIONS=detect_leaks=0"});
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

// Entries coded on several threads start from the window one thread would hold, whatever the
// host gives: the trees mix empty files, files under 4096 bytes (which change only part of the
// window) and files above 64 KiB, with much shared text; one input is a pipe, which cannot be
// read from its end; the fourth tree has two large incompressible files at its head, whose coded
// bytes outgrow the pool while the first is committed, and 300 small files after them, more than
// the entries in flight and the file handles allowed. Files of the kernel that give fewer bytes
// than their size, or more, are read as one thread reads them.
TEST_F(LzssTool, PacksTheSameArchiveOnAnyNumberOfThreads)
{
    const PackWay ways[] = {
        {"1 thread", "1", nullptr},
        {"2 threads", "2", nullptr},
        {"3 threads", "3", nullptr},
        {"8 threads", "8", nullptr},
        {"8 threads, 64 file handles", "8", "--nofile=64"},
        {"4 threads, none may start", "4", "--nproc=1"},
    };
    const char* const kernel_files[] = {"/sys/kernel/mm/transparent_hugepage/enabled",
                                        "/proc/version"};
    for (uint32_t tree = 1; tree <= 4; tree++) {
        SCOPED_TRACE(tree);
        fs::remove_all("in");
        std::mt19937 generator(tree);
        std::string list;
        if (tree == 4) {
            write_file("in/big1", random_bytes(5 << 20, 1));
            write_file("in/big2", random_bytes(5 << 20, 2));
            list = "big1\nbig2\n";
        }
        const int count = tree == 4 ? 300 : 60;
        for (int i = 0; i < count; i++) {
            size_t size = generator() % 4200;
            if (tree < 4)
                size = i % 9 == 0 ? 0 : i % 13 == 0 ? 65537 + generator() % 30000 : size;
            const std::string name = "f" + std::to_string(i);
            Bytes bytes = i % 4 == 0 ? random_bytes(size, i) : text_bytes(size, i % 5);
            if (i > 30 && i < 36)  // short, and like the pipe's text
                bytes = text_bytes(20 + generator() % 200, 9);
            write_file("in/" + name, bytes);
            list += name + "\n";
            if (i == 30)
                list += "pipe\n";
            if (i == 40 && fs::exists(kernel_files[tree % 2])) {
                fs::create_symlink(kernel_files[tree % 2], "in/kernel");
                list += "kernel\n";
            } else if (i == 40 && inputs_required()) {
                ADD_FAILURE() << kernel_files[tree % 2] << " is missing (TRV_REQUIRE_INPUTS is set)";
            }
        }
        write_text("list.txt", list);
        Bytes reference;
        for (const PackWay& way : ways) {
            SCOPED_TRACE(way.name);
            fs::remove("in/pipe");
            ASSERT_EQ(0, mkfifo("in/pipe", 0666));
            std::thread writer([] { write_file("in/pipe", text_bytes(3000, 9)); });
            const Arguments arguments = {"in/", "list.txt", "a.qbr"};
            setenv("LZSS_THREADS", way.threads, 1);
            ProgramRun run;
            if (way.limit == nullptr) {
                run = lzss(arguments);
            } else {
                Arguments command = limited(way, arguments);
                run = run_program(command[0], Arguments(command.begin() + 1, command.end()),
                                  logs.path());
            }
            unsetenv("LZSS_THREADS");
            // A pack that never opened the pipe must not leave the writer waiting for ever.
            int reader = open("in/pipe", O_RDONLY | O_NONBLOCK);
            writer.join();
            close(reader);
            ASSERT_EQ(0, run.status) << run.err;
            if (reference.empty())
                reference = read_file("a.qbr");
            else
                EXPECT_TRUE(reference == read_file("a.qbr"));
        }
    }
}

TEST(ProgressLine, KeepsItsFieldWidthsForCountsAbove2GiB)
{
    testing::internal::CaptureStdout();
    print_progress_line(INT64_C(5000000000), INT64_C(3000000000), "big.bin");
    print_progress_line(INT64_C(123456789012), INT64_C(2147483648), "bigger.bin");
    EXPECT_EQ(" 5000000000 3000000000 big.bin\n"
              " 123456789012 2147483648 bigger.bin\n",
              testing::internal::GetCapturedStdout());
}

}  // namespace
