// lzss_tool_test.cpp -- the lzss program end to end: arguments, progress lines, failure messages
// and the lines that say why, warnings, exit statuses and what a failed run leaves on disk.

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "archive/archive_ops.h"
#include "archive/host_handles.h"
#include "archive/host_threads.h"
#include "archive/threaded_ops.h"
#include "lzss/lzss_fixture.h"
#include "tools/lzss/messages.h"

namespace {

// What the host says for a failure: the C library's words for an errno on POSIX, the system's
// message for a code on Windows (Wine's own under Wine), without its line end.
std::string host_says(const char* posix, unsigned long windows_code)
{
#ifdef _WIN32
    char text[512] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, windows_code, 0, text, sizeof text, nullptr);
    std::string said(text, length);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' '))
        said.pop_back();
    (void)posix;
    return said;
#else
    (void)windows_code;
    return posix;
#endif
}

#ifndef _WIN32
const unsigned long ERROR_FILE_NOT_FOUND = 2, ERROR_PATH_NOT_FOUND = 3, ERROR_ACCESS_DENIED = 5,
                    ERROR_WRITE_FAULT = 29, ERROR_READ_FAULT = 30, ERROR_ALREADY_EXISTS = 183;
#endif

const std::string NOT_FOUND = host_says("No such file or directory", ERROR_FILE_NOT_FOUND);
const std::string PATH_NOT_FOUND = host_says("No such file or directory", ERROR_PATH_NOT_FOUND);
const std::string IS_A_FOLDER = host_says("Is a directory", ERROR_ACCESS_DENIED);
const std::string EXISTS = host_says("File exists", ERROR_ALREADY_EXISTS);
const std::string DISK_READ_FAILED = host_says("Input/output error", ERROR_READ_FAULT);
const std::string DISK_WRITE_FAILED = host_says("Input/output error", ERROR_WRITE_FAULT);

// The hint for a folder argument without its final separator.
std::string folder_hint(const std::string& folder, bool unpack)
{
    return "lzss: " + folder + " is a folder; end it with " + HOST_SEPARATOR +
           (unpack ? " to unpack into it\n" : " so that the names are taken inside it\n");
}

// A command line that chooses no operation prints the usage (and what it was asked, or what is
// wrong) and touches nothing: too few arguments (1), a question (1), or a third argument that
// is no folder and no archive (9). Arguments after the third are ignored, with a last word.
TEST_F(LzssTool, PrintsUsageAndReturnsOneUnlessGivenThreeArguments)
{
    make_standard_archive();
    const std::set<std::string> before = tree_of(".");
    const std::string ignored = "lzss: warning: 1 argument after the third ignored (a name with a "
                                "blank, not quoted?)\n";
    const ToolCase cases[] = {
        {"none", [] {}, {}, 1, "", usage_text()},
        {"one", [] {}, {"a.qbr"}, 1, "", usage_text()},
        {"two", [] {}, {"a.qbr", "list.txt"}, 1, "", usage_text()},
        {"a name with a blank, unquoted", [] {}, {"a.qbr", "list.txt", "new", "folder/"}, 9, "",
         usage_text() + ignored},
        {"an unpack with one more", [] {}, {"missing.qbr", "list.txt", "out/", "x"}, 2, "",
         std::string("Fatal compression error, could not open files missing.qbr and list.txt.\n") +
             "lzss: missing.qbr: " + NOT_FOUND + "\n" + ignored},
        {"the version", [] {}, {"--version"}, 1, "",
         usage_text() + "lzss: lzss (TRV99 Patch) 1.1\n"},
        {"the version, and more", [] {}, {"--version", "a.qbr"}, 1, "", usage_text()},
    };
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramRun run = lzss(c.arguments);
        EXPECT_EQ(c.status, run.status);
        EXPECT_EQ(c.out, run.out);
        EXPECT_EQ(c.err, run.err);
        EXPECT_EQ(before, tree_of("."));
    }

    // The usage first, then what lzss does, line by line.
    ProgramRun help = lzss({"--help"});
    EXPECT_EQ(1, help.status);
    EXPECT_EQ("", help.out);
    EXPECT_EQ(usage_text(), help.err.substr(0, usage_text().size()));
    for (const std::string& line : lines_of(help.err.substr(usage_text().size())))
        EXPECT_EQ("lzss: ", line.substr(0, 6));
    for (const char* told : {"unpack", "pack", "LZSS_THREADS", "man lzss"})
        EXPECT_NE(std::string::npos, help.err.find(told)) << told;
}

TEST_F(LzssTool, PrintsUsageAndReturnsNineWhenNoModeFitsTheThirdArgument)
{
    make_standard_archive();
    const std::set<std::string> before = tree_of(".");
    const struct {
        Arguments arguments;
        std::string hint;  // after the usage
    } cases[] = {
        {{"in/", "list.txt", "out"}, ""},
        {{"in/", "list.txt", "a.zip"}, ""},
        {{"in/", "list.txt", "a.qbr.bak"}, ""},
        {{"in/", "list.txt", "a.qb"}, ""},
        {{"a.qbr", "list.txt", "out"}, ""},  // unpack without the final separator
        {{"a.qbr", "list.txt", "list.txt"}, ""},  // a file
        {{"a.qbr", "list.txt", "in"}, folder_hint("in", true)},  // an existing folder
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[2]);
        ProgramRun run = lzss(c.arguments);
        EXPECT_EQ(9, run.status);
        EXPECT_EQ(usage_text() + c.hint, run.err);
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
         "Fatal compression error, could not open files missing.qbr and list.txt.\n"
         "lzss: missing.qbr: " + NOT_FOUND + "\n"},
        {"list missing", [] {}, {"a.qbr", "missing.txt", "out/"}, 2, "",
         "Fatal compression error, could not open files a.qbr and missing.txt.\n"
         "lzss: missing.txt: " + NOT_FOUND + "\n"},
        {"list is a folder", [] { fs::create_directories("folder.txt"); },
         {"a.qbr", "folder.txt", "out/"}, 2, "",
         "Fatal compression error, could not open files a.qbr and folder.txt.\n"
         "lzss: folder.txt: " + IS_A_FOLDER + "\n"},
        // The folders of the path are tried from the deepest up, which fail too: the reason is
        // the last folder's, which the message names.
        {"a file where a folder must go",
         [] {
             write_text("out/blocker", "");
             write_text("deep.txt", "blocker\\deeper\\first.txt\n");
         },
         {"a.qbr", "deep.txt", "out/"}, 3, "",
         "Fatal compression error, could not create directory out/blocker.\n"
         "lzss: out/blocker: " + EXISTS + "\n"},
        {"a folder where the file must go", [] { fs::create_directories("out/first.txt"); },
         {"a.qbr", "list.txt", "out/"}, 4, "",
         "Fatal decompression error, could not open file out/first.txt.\n"
         "lzss: out/first.txt: " + IS_A_FOLDER + "\n"},
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
         "Fatal decompression error, could not open file out/second.bin.\n"
         "lzss: out/second.bin: File exists\n"},
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
         "Fatal decompression error, could not open file out/first.txt.\n"
         "lzss: out/first.txt: File exists\n"},
        // The host failed on the way (the first entry's folders tried from the deepest up),
        // but not where the unpack stopped: no reason is given.
        {"a link where a folder must go",
         [] {
             fs::create_directories("out");
             fs::create_directories("elsewhere");
             fs::create_directory_symlink("../elsewhere", "out/maps");
             write_text("linked.txt", "sub\\deeper\\first.txt\nmaps\\first.txt\n");
         },
         {"a.qbr", "linked.txt", "out/"}, 3, "      1500     1500 out/sub\\deeper\\first.txt\n",
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
          "Fatal compression error, could not open files missing.txt and a.qbr.\n"
          "lzss: missing.txt: " + NOT_FOUND + "\n"},
         false},
        {{"list missing, earlier archive", [] {}, {"in/", "missing.txt", "a.qbr"}, 6, "",
          "Fatal compression error, could not open files missing.txt and a.qbr.\n"
          "lzss: missing.txt: " + NOT_FOUND + "\n"},
         true},
        {{"list is a folder", [] { fs::create_directories("folder.txt"); },
          {"in/", "folder.txt", "a.qbr"}, 6, "",
          "Fatal compression error, could not open files folder.txt and a.qbr.\n"
          "lzss: folder.txt: " + IS_A_FOLDER + "\n"},
         true},
        // The archive is written beside its target, and the reason names that file.
        {{"archive folder missing", [] {}, {"in/", "list.txt", "nowhere/a.qbr"}, 6, "",
          "Fatal compression error, could not open files list.txt and nowhere/a.qbr.\n"
          "lzss: nowhere/a.qbr.partial: " + PATH_NOT_FOUND + "\n"},
         false},
        {{"input missing after two entries",
          [] { write_text("gap.txt", "first.txt\nsecond.bin\nmissing.txt\nfirst.txt\n"); },
          {"in/", "gap.txt", "a.qbr"}, 7,
          "      1500     1500 in/first.txt\n      4500     3000 in/second.bin\n",
          "Fatal compression error, could not open file in/missing.txt.\n"
          "lzss: in/missing.txt: " + NOT_FOUND + "\n"},
         true},
        {{"input is a folder",
          [] {
              fs::create_directories("in/folder");
              write_text("folder-list.txt", "folder\n");
          },
          {"in/", "folder-list.txt", "a.qbr"}, 7, "",
          "Fatal compression error, could not open file in/folder.\n"
          "lzss: in/folder: " + IS_A_FOLDER + "\n"},
         true},
        {{"directory without its separator", [] {}, {"in", "list.txt", "a.qbr"}, 7, "",
          "Fatal compression error, could not open file infirst.txt.\n"
          "lzss: infirst.txt: " + NOT_FOUND + "\n" + folder_hint("in", false)},
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

// A folder or a pipe is no archive to replace, nor is a link to a pipe: refused before anything is
// read or written, and left as it was.
TEST_F(LzssTool, RefusesWhatIsNoFileAsTheArchive)
{
    write_file("in/first.txt", first);
    write_text("list.txt", "first.txt\n");
    fs::create_directories("folder.qbr");
    const struct {
        const char* archive;
        std::string reason;
    } cases[] = {
        {"folder.qbr", IS_A_FOLDER},
#ifndef _WIN32
        {"pipe.qbr", "File exists"},
        {"link.qbr", "File exists"},
#endif
    };
#ifndef _WIN32
    ASSERT_EQ(0, mkfifo("pipe.qbr", 0666));
    fs::create_symlink("pipe.qbr", "link.qbr");
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        const std::set<std::string> before = tree_of(".");
        ProgramRun run = lzss({"in/", "list.txt", c.archive});
        EXPECT_EQ(6, run.status);
        EXPECT_EQ("", run.out);
        EXPECT_EQ(std::string("Fatal compression error, could not open files list.txt and ") +
                      c.archive + ".\nlzss: " + c.archive + ": " + c.reason + "\n",
                  run.err);
        EXPECT_EQ(before, tree_of("."));
    }
#ifndef _WIN32
    EXPECT_TRUE(fs::is_fifo("pipe.qbr"));
#endif
}

// The list leaves entries of the archive out: fewer names than it was packed with, or names
// after the blank line that ends it. The operation does what the list says, and lzss warns.
TEST_F(LzssTool, WarnsOfWhatTheListLeftOut)
{
    make_standard_archive();
    write_text("short.txt", "first.txt\n");
    write_text("empty.txt", "");
    write_text("blank.txt", "first.txt\n\nsecond.bin\n");
    write_text("blanks.txt", "first.txt\r\n \t\r\n\r\nsecond.bin\r\n");
    write_text("ending.txt", "first.txt\nsecond.bin\n\n \n");
    // An empty file's entry is its end marker alone: the two bytes it leaves after the entries
    // before it are held by the decoder, not in its buffer.
    write_file("in/empty", Bytes());
    write_text("three.txt", "first.txt\nsecond.bin\nempty\n");
    ASSERT_EQ(0, lzss({"in/", "three.txt", "three.qbr"}).status);
    const std::string first_line = "      1500     1500 out/first.txt\n";
    const std::string both_lines = first_line + "      4500     3000 out/second.bin\n";
    const auto more_data = [](const char* list, int entries) {
        return "lzss: warning: a.qbr holds more data after the " + std::to_string(entries) +
               " entries that " + list + " names; a shorter list than the one it was packed "
               "with?\n";
    };
    const ToolCase cases[] = {
        {"a shorter list", [] {}, {"a.qbr", "short.txt", "out/"}, 0, first_line,
         more_data("short.txt", 1)},
        {"an empty list", [] {}, {"a.qbr", "empty.txt", "out/"}, 0, "",
         more_data("empty.txt", 0)},
        {"a name after a blank line", [] {}, {"a.qbr", "blank.txt", "out/"}, 0, first_line,
         more_data("blank.txt", 1) +
             "lzss: warning: blank.txt line 3: names after the blank line at line 2 were not "
             "read\n"},
        {"blanks, tabs and CR LF", [] {}, {"a.qbr", "blanks.txt", "out/"}, 0, first_line,
         more_data("blanks.txt", 1) +
             "lzss: warning: blanks.txt line 4: names after the blank line at line 2 were not "
             "read\n"},
        {"blank lines at the end", [] {}, {"a.qbr", "ending.txt", "out/"}, 0, both_lines, ""},
        {"an empty file left out", [] {}, {"three.qbr", "list.txt", "out/"}, 0, both_lines,
         "lzss: warning: three.qbr holds more data after the 2 entries that list.txt names; a "
         "shorter list than the one it was packed with?\n"},
        {"a pack's list", [] {}, {"in/", "blank.txt", "b.qbr"}, 0,
         "      1500     1500 in/first.txt\n",
         "lzss: warning: blank.txt line 3: names after the blank line at line 2 were not read\n"},
    };
    for (const char* threads : {"1", "2"}) {
        for (const ToolCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + threads);
            fs::remove_all("out");
            ProgramRun run = lzss_on(threads, c.arguments);
            EXPECT_EQ(c.status, run.status);
            EXPECT_EQ(c.out, run.out);
            EXPECT_EQ(c.err, run.err);
        }
    }
}

// An empty LZSS_THREADS is none; a value that is no number of threads is reported.
TEST_F(LzssTool, TakesLzssThreadsOrSaysWhyNot)
{
    write_file("in/first.txt", first);
    write_text("list.txt", "first.txt\n");
    const std::string ignored = "is not a number of threads from 1 up; using " +
                                std::to_string(host_processor_count()) + ".\n";
    const struct {
        const char* threads;
        std::string err;
    } cases[] = {
        {"", ""},
        {"3", ""},
        {"0", "lzss: LZSS_THREADS=\"0\" " + ignored},
        {"two", "lzss: LZSS_THREADS=\"two\" " + ignored},
        {"2x", "lzss: LZSS_THREADS=\"2x\" " + ignored},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("LZSS_THREADS=") + c.threads);
        ProgramRun run = lzss_on(c.threads, {"in/", "list.txt", "a.qbr"});
        EXPECT_EQ(0, run.status);
        EXPECT_EQ("      1500     1500 in/first.txt\n", run.out);
        EXPECT_EQ(c.err, run.err);
    }
}

// A host failure that the tool's processes cannot be made to meet (a disk that gives out, memory
// that runs short), made in this process through the host's seams: the operation as lzss runs
// it, then what lzss prints for its result.
struct HostFault {
    const char* name;
    LzssMode mode;
    const char* list;
    const char* failing;          // a file that gives out, as the library spells it, or null
    int64_t after;                // bytes it moves first
    unsigned long allocation;     // the allocation refused (1: the first), or 0
    std::string err;
};

// The pack of in/ into b.qbr or the unpack of a.qbr into out/ on `threads`, as lzss runs them,
// and what lzss prints after it.
std::string run_with_fault(const HostFault& fault, int threads)
{
    const bool unpack = fault.mode == LZSS_UNPACK;
    std::string first = unpack ? "a.qbr" : "in/";
    std::string list = fault.list;
    std::string third = unpack ? "out/" : "b.qbr";
    char buffer[1024];
    std::strcpy(buffer, unpack ? third.c_str() : first.c_str());
    fail_host_file_after(fault.failing, fault.after);
    fail_host_allocation(fault.allocation);
    int64_t result =
        unpack ? unpack_archive_threaded(threads, true, first.c_str(), list.c_str(), buffer,
                                         sizeof buffer, nullptr, nullptr, nullptr, nullptr)
               : pack_archive_threaded(threads, buffer, sizeof buffer, list.c_str(),
                                       third.c_str(), nullptr, nullptr);
    fail_host_allocation(0);
    fail_host_file_after(nullptr, 0);
    char* args[3] = {&first[0], &list[0], &third[0]};
    testing::internal::CaptureStderr();
    print_failure(fault.mode, static_cast<int>(result), args, buffer);
    return testing::internal::GetCapturedStderr();
}

TEST_F(LzssTool, SaysWhyTheHostFailedOnASecondLine)
{
    make_standard_archive();
    write_file("in/big.bin", random_bytes(200000, 3));  // several of the archive's blocks
    write_text("big.txt", "first.txt\nbig.bin\n");
    write_text("long.txt", "first.txt\nsecond.bin\nthird.txt\n");
    const HostFault faults[] = {
        {"an input that gives out partway", LZSS_PACK, "list.txt", "in/second.bin", 1000, 0,
         "Fatal compression error, could not open file in/second.bin.\n"
         "lzss: in/second.bin: read error: " + DISK_READ_FAILED + "\n"},
        {"the archive gives out while written", LZSS_PACK, "big.txt", "b.qbr.partial", 1000, 0,
         "Fatal compression error, could not compress in/big.bin to b.qbr.\n"
         "lzss: b.qbr.partial: " + DISK_WRITE_FAILED + "\n"},
        {"the archive gives out when closed", LZSS_PACK, "list.txt", "b.qbr.partial", 1000, 0,
         "Fatal compression error, closing QBR file b.qbr.\n"
         "lzss: b.qbr.partial: " + DISK_WRITE_FAILED + "\n"},
        {"the archive gives out when read", LZSS_UNPACK, "list.txt", "a.qbr", 0, 0,
         "Fatal decompression error, could not decompress a.qbr to out/first.txt.\n"
         "lzss: a.qbr: read error: " + DISK_READ_FAILED + "\n"},
        // Each operation starts with no failure noted: nothing of the row before is said here.
        {"the archive ends, and nothing failed", LZSS_UNPACK, "long.txt", nullptr, 0, 0,
         "Fatal decompression error, could not decompress a.qbr to out/third.txt.\n"},
        {"an output that gives out", LZSS_UNPACK, "list.txt", "out/second.bin", 100, 0,
         "Fatal decompression error, could not write file out/second.bin.\n"
         "lzss: out/second.bin: " + DISK_WRITE_FAILED + "\n"},
    };
    for (int threads : {1, 2, 8}) {
        for (const HostFault& fault : faults) {
            SCOPED_TRACE(std::string(fault.name) + ", threads " + std::to_string(threads));
            fs::remove_all("out");
            EXPECT_EQ(fault.err, run_with_fault(fault, threads));
        }
    }

    // Memory short for the first thing an operation on one thread opens (the pool of more
    // threads gets by without the memory it is refused); every allocation is refused in turn by
    // the sweep of allocation_failure_test.cpp.
    const HostFault short_of_memory[] = {
        {"the pack's list", LZSS_PACK, "list.txt", nullptr, 0, 1,
         "Fatal compression error, could not open files list.txt and b.qbr.\n"
         "lzss: out of memory\n"},
        {"the unpack's archive", LZSS_UNPACK, "list.txt", nullptr, 0, 1,
         "Fatal compression error, could not open files a.qbr and list.txt.\n"
         "lzss: out of memory\n"},
    };
    for (const HostFault& fault : short_of_memory) {
        SCOPED_TRACE(fault.name);
        EXPECT_EQ(fault.err, run_with_fault(fault, 1));
    }
}

#ifndef _WIN32
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

// lzss with its standard output on `output` (a descriptor of this process), its standard error
// in the logs.
static ProgramRun run_with_output(int output, const std::string& logs, const Arguments& arguments)
{
    const std::string err_path = logs + "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output, 1);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv = {const_cast<char*>(LZSS_PROGRAM)};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    ProgramRun run = {-1, "", ""};
    int status = 0;
    if (posix_spawn(&child, LZSS_PROGRAM, &actions, nullptr, argv.data(), environ) == 0 &&
        waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    posix_spawn_file_actions_destroy(&actions);
    Bytes err = read_file(err_path);
    run.err.assign(err.begin(), err.end());
    return run;
}

// A progress line that cannot be written stops the operation after its entry, and lzss says
// why, with a status of its own: a full disk, or a pipe whose reader has gone (which must not end
// lzss without a word). A pack leaves no archive.
TEST_F(LzssTool, StopsWhenItsOutputCannotBeWritten)
{
    make_standard_archive();
    int full = open("/dev/full", O_WRONLY);
    ASSERT_LE(0, full);
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    close(ends[0]);
    const struct {
        const char* name;
        int output;
        std::string err;
    } outputs[] = {
        {"a full disk", full, "lzss: standard output: No space left on device\n"},
        {"a pipe without its reader", ends[1], "lzss: standard output: Broken pipe\n"},
    };
    for (const char* threads : {"1", "2", "8"}) {
        for (const auto& o : outputs) {
            SCOPED_TRACE(std::string(o.name) + ", threads " + threads);
            setenv("LZSS_THREADS", threads, 1);
            fs::remove_all("out");
            ProgramRun unpack = run_with_output(o.output, logs.path(), {"a.qbr", "list.txt", "out/"});
            EXPECT_EQ(15, unpack.status);
            EXPECT_EQ(o.err, unpack.err);
            EXPECT_TRUE(first == read_file("out/first.txt"));
            EXPECT_FALSE(file_exists("out/second.bin"));

            ProgramRun pack = run_with_output(o.output, logs.path(), {"in/", "list.txt", "b.qbr"});
            unsetenv("LZSS_THREADS");
            EXPECT_EQ(15, pack.status);
            EXPECT_EQ(o.err, pack.err);
            EXPECT_FALSE(link_or_file_exists("b.qbr"));
            EXPECT_FALSE(link_or_file_exists("b.qbr.partial"));
        }
    }
    close(full);
    close(ends[1]);
}

#endif  // !_WIN32

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
