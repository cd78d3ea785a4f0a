// lzss_fixture.h -- what the lzss end-to-end tests share: a fixture that runs the program in a
// scratch folder, and helpers to read its output and the trees it leaves.
//
// Every case starts lzss as a separate process, with the test's scratch folder as the current
// folder so that the paths in its messages are short and exact. Cases that need a full disk mount
// a small tmpfs (disk_full_test.cpp) and are left out on Windows.

#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace fs = std::filesystem;


typedef std::vector<std::string> Arguments;

// The lzss under test, as the host's command processor takes it (cmd.exe: with "\").
inline std::string lzss_program()
{
    std::string program = LZSS_PROGRAM;
#ifdef _WIN32
    for (char& c : program)
        c = c == '/' ? '\\' : c;
#endif
    return program;
}

// The usage block, with the line that shows the host's separator where it is not "\".
inline std::string usage_text()
{
    const std::string program = lzss_program();
    return "lzss 2.1\n"
           "usage: " + program + " input.QBR filelist.txt outpath\\\n"
           "usage: " + program + " inpath\\ filelist.txt output.QBR\n"
#ifndef _WIN32
           "lzss: on this host the folders end with /: outpath/, inpath/\n"
#endif
        ;
}

// The host's separator, as lzss names it in its hints.
#ifdef _WIN32
const char HOST_SEPARATOR[] = "\\";
#else
const char HOST_SEPARATOR[] = "/";
#endif

// Every entry under `root` (files, folders, links), relative to it.
inline std::set<std::string> tree_of(const std::string& root)
{
    std::set<std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         it != fs::recursive_directory_iterator(); it.increment(error))
        entries.insert(fs::relative(it->path(), root).generic_string());
    return entries;
}

inline bool link_or_file_exists(const std::string& path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

inline std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line))
        lines.push_back(line);
    return lines;
}

// The running total of a progress line: its first ten columns.
inline int64_t running_total(const std::string& line) { return std::stoll(line.substr(0, 10)); }

inline const Bytes earlier_archive = bytes_of("an archive from an earlier run");

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
        return run_program(lzss_program(), arguments, logs.path());
    }

    // lzss with LZSS_THREADS set to `threads` (on Windows an empty value is no value).
    ProgramRun lzss_on(const char* threads, const Arguments& arguments)
    {
#ifdef _WIN32
        _putenv((std::string("LZSS_THREADS=") + threads).c_str());
        ProgramRun run = lzss(arguments);
        _putenv("LZSS_THREADS=");
#else
        setenv("LZSS_THREADS", threads, 1);
        ProgramRun run = lzss(arguments);
        unsetenv("LZSS_THREADS");
#endif
        return run;
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
