// disk_full_test.cpp -- lzss on a disk that really fills up: a small tmpfs mounted for the test.
// Mounting needs root (as in CI); elsewhere the cases are skipped with a note.

#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

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

    // Four poorly compressible files of `part_bytes` each, listed in list.txt and packed into
    // a.qbr.
    void make_large_archive(size_t part_bytes = 100000)
    {
        std::string list;
        for (int i = 0; i < 4; i++) {
            write_file("in/part" + std::to_string(i) + ".bin", random_bytes(part_bytes, 10 + i));
            list += "part" + std::to_string(i) + ".bin\n";
        }
        write_text("list.txt", list);
        ProgramRun pack = lzss({"in/", "list.txt", "a.qbr"});
        ASSERT_EQ(0, pack.status) << pack.err;
    }

    // Writes small/filler until the disk takes no more bytes.
    void fill_disk()
    {
        int descriptor = open("small/filler", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_LE(0, descriptor);
        const Bytes block(4096, 'f');
        while (write(descriptor, block.data(), block.size()) > 0) {
        }
        close(descriptor);
    }

    bool mounted = false;
};

// The unpack stops at the first file that does not fit, as one thread stops it, however many
// threads it runs on: the archive is over 4 MiB, so that lzss decodes it on a second thread even
// unasked (LZSS_THREADS unset, "").
TEST_F(FullDisk, UnpackReportsTheFileThatDidNotFit)
{
    make_large_archive(1100000);
    for (const char* threads : {"", "1", "2"}) {
        SCOPED_TRACE(std::string("threads ") + threads);
        fs::remove_all("small/out");
        const Arguments arguments = {"a.qbr", "list.txt", "small/out/"};
        ProgramRun run = *threads != '\0' ? lzss_on(threads, arguments) : lzss(arguments);
        EXPECT_EQ(11, run.status);
        EXPECT_EQ("", run.out);
        EXPECT_EQ("Fatal decompression error, could not write file small/out/part0.bin.\n"
                  "lzss: small/out/part0.bin: No space left on device\n",
                  run.err);
        EXPECT_FALSE(link_or_file_exists("small/out/part1.bin"));
    }
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

// A pack whose archive cannot be written fails while it writes (status 8) or, when the archive
// fits its buffers, when it is closed (status 10), and says why; the earlier archive stays, and
// the temporary goes.
TEST_F(FullDisk, PackFailuresOnAFullDiskKeepTheEarlierArchive)
{
    write_text("in/first.txt", std::string(1500, 't'));
    write_file("in/big.bin", random_bytes(200000, 7));
    write_text("big.txt", "first.txt\nbig.bin\n");
    write_text("one.txt", "first.txt\n");
    write_file("small/a.qbr", earlier_archive);
    fill_disk();
    const ToolCase cases[] = {
        {"archive write fails in the second entry", [] {}, {"in/", "big.txt", "small/a.qbr"}, 8,
         "      1500     1500 in/first.txt\n",
         "Fatal compression error, could not compress in/big.bin to small/a.qbr.\n"
         "lzss: small/a.qbr.partial: No space left on device\n"},
        {"archive fails when flushed at the end", [] {}, {"in/", "one.txt", "small/a.qbr"}, 10,
         "      1500     1500 in/first.txt\n",
         "Fatal compression error, closing QBR file small/a.qbr.\n"
         "lzss: small/a.qbr.partial: No space left on device\n"},
    };
    for (const char* threads : {"1", "3", "8"}) {
        for (const ToolCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + threads);
            ProgramRun run = lzss_on(threads, c.arguments);
            EXPECT_EQ(c.status, run.status);
            EXPECT_EQ(c.out, run.out);
            EXPECT_EQ(c.err, run.err);
            EXPECT_EQ(earlier_archive, read_file("small/a.qbr"));
            EXPECT_FALSE(link_or_file_exists("small/a.qbr.partial"));
        }
    }
}
