// disk_full_test.cpp -- lzss on a disk that really fills up: a small tmpfs mounted for the test.
// Mounting needs root (as in CI); elsewhere the cases are skipped with a note.

#include <cstdlib>
#include <string>

#include <sys/mount.h>

#include "lzss/lzss_fixture.h"

class FullDisk : public LzssTool {
protected:
    void SetUp() override
    {
        LzssTool::SetUp();
        fs::create_directories("small");
        // 128 KiB: room for the earlier archive, not for the new one or the unpacked files.
        if (mount("tmpfs", "small", "tmpfs", 0, "size=128k") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here (needs root): disk-full cases not run";
        mounted = true;
    }
    void TearDown() override
    {
        if (mounted)
            umount("small");
        LzssTool::TearDown();
    }

    // 400 KB of poorly compressible files, listed in list.txt and packed into a.qbr.
    void make_large_archive()
    {
        std::string list;
        for (int i = 0; i < 4; i++) {
            write_file("in/part" + std::to_string(i) + ".bin", random_bytes(100000, 10 + i));
            list += "part" + std::to_string(i) + ".bin\n";
        }
        write_text("list.txt", list);
        ProgramRun pack = lzss({"in/", "list.txt", "a.qbr"});
        ASSERT_EQ(0, pack.status) << pack.err;
    }

    bool mounted = false;
};

TEST_F(FullDisk, UnpackReportsTheFileThatDidNotFit)
{
    make_large_archive();
    ProgramRun run = lzss({"a.qbr", "list.txt", "small/out/"});
    EXPECT_EQ(11, run.status);
    EXPECT_NE(std::string::npos,
              run.err.find("Fatal decompression error, could not write file small/out/part"))
        << run.err;
}

TEST_F(FullDisk, FailedPackKeepsTheEarlierArchive)
{
    make_large_archive();
    write_file("small/a.qbr", earlier_archive);
    ProgramRun run = lzss({"in/", "list.txt", "small/a.qbr"});
    EXPECT_TRUE(run.status == 8 || run.status == 10) << run.status << " " << run.err;
    EXPECT_NE(std::string::npos, run.err.find("small/a.qbr")) << run.err;
    EXPECT_EQ(earlier_archive, read_file("small/a.qbr"));
    EXPECT_FALSE(file_exists("small/a.qbr.partial"));
}
