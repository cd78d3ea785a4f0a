// archive_ops_test.cpp -- pack_archive and unpack_archive: lists, folders, callbacks, cancel,
// and the failures that must leave earlier files alone.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/archive_ops.h"
#include "archive/host_files.h"
#include "archive/host_handles.h"
#include "archive/host_threads.h"
#include "archive/pack_pool.h"
#include "archive/threaded_ops.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

struct Progress {
    std::vector<int64_t> sizes;
    std::vector<std::string> paths;
    int cancel_after = -1;  // set *cancel after this many entries
    int* cancel = nullptr;
};

int record_progress(int64_t byte_count, const char* path, void* user_value)
{
    Progress* progress = static_cast<Progress*>(user_value);
    progress->sizes.push_back(byte_count);
    progress->paths.push_back(path);
    if (progress->cancel != nullptr && static_cast<int>(progress->sizes.size()) == progress->cancel_after)
        *progress->cancel = 1;
    return 0;
}

struct Operation {
    int64_t result;
    std::string path_buffer;
    Progress progress;
};

// pack_archive, or the tool's pack on `threads` threads.
Operation pack(const std::string& directory, const std::string& list, const std::string& archive,
               int threads = 1)
{
    Operation op;
    char buffer[1024];
    std::strcpy(buffer, directory.c_str());
    op.result = pack_archive_threaded(threads, buffer, sizeof buffer, list.c_str(),
                                      archive.c_str(), &op.progress, record_progress);
    op.path_buffer = buffer;
    return op;
}

// unpack_archive, or with `pipelined` the tool's unpack with the decoder on a second thread.
Operation unpack(const std::string& archive, const std::string& list, const std::string& directory,
                 int* cancel = nullptr, int cancel_after = -1, bool pipelined = false)
{
    Operation op;
    op.progress.cancel = cancel;
    op.progress.cancel_after = cancel_after;
    char buffer[1024];
    std::strcpy(buffer, directory.c_str());
    op.result = pipelined ? unpack_archive_pipelined(true, archive.c_str(), list.c_str(), buffer,
                                                     sizeof buffer, &op.progress, cancel,
                                                     record_progress)
                          : unpack_archive(archive.c_str(), list.c_str(), buffer, sizeof buffer,
                                           &op.progress, cancel, record_progress);
    op.path_buffer = buffer;
    return op;
}

// A scratch folder with input files a.dat (10 bytes), sub\b.dat (0 bytes), sub\deep\c.dat (5
// bytes), their list, and the archive packed from them.
struct PackedTree {
    ScratchFolder scratch;
    std::string in = scratch / "in/";
    std::string out = scratch / "out/";
    std::string list = scratch / "list.txt";
    std::string archive = scratch / "tree.qbr";

    PackedTree()
    {
        write_text(in + "a.dat", "0123456789");
        write_text(in + "sub/b.dat", "");
        write_text(in + "sub/deep/c.dat", "hello");
        write_text(list, "a.dat\nsub\\b.dat\nsub\\deep\\c.dat\n");
        EXPECT_EQ(pack(in, list, archive).result, 15);
    }
};

}  // namespace

TEST(PackArchive, ReportsEachFileAndReturnsTheTotal)
{
    PackedTree tree;
    Operation op = pack(tree.in, tree.list, tree.archive);
    EXPECT_EQ(op.result, 15);
    EXPECT_EQ(op.progress.sizes, (std::vector<int64_t>{10, 0, 5}));
    EXPECT_EQ(op.progress.paths.back(), tree.in + "sub\\deep\\c.dat");
}

// A path buffer larger than the tool's keeps the pack on its workers: the same archive, coded by
// more than the calling thread (the workers' encoders are allocations one thread never makes).
TEST(PackArchive, KeepsItsWorkersForPathsLongerThanTheToolsBuffer)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows' ANSI file calls take paths of 260 characters; the pool's paths are "
                    "the same code on every host";
#endif
    ScratchFolder scratch;
    std::string folder = scratch.path();
    for (int i = 0; folder.size() < 1300; i++)
        folder += std::string(200, char('a' + i)) + "/";
    std::string list;
    for (int i = 0; i < 6; i++) {
        write_file(folder + "f" + std::to_string(i), text_bytes(20000 + i, i));
        list += "f" + std::to_string(i) + "\n";
    }
    write_text(scratch / "list.txt", list);
    Bytes archives[2];
    unsigned long allocations[2];
    for (int threads : {1, 2}) {
        std::vector<char> buffer(4096);
        std::memcpy(buffer.data(), folder.c_str(), folder.size() + 1);
        fail_host_allocation(0);
        int64_t result = pack_archive_threaded(threads, buffer.data(), buffer.size(),
                                               (scratch / "list.txt").c_str(),
                                               (scratch / "long.qbr").c_str(), nullptr, nullptr);
        allocations[threads - 1] = counted_host_allocations();
        ASSERT_GT(result, 0) << threads;
        archives[threads - 1] = read_file(scratch / "long.qbr");
    }
    EXPECT_TRUE(archives[0] == archives[1]);
    EXPECT_GT(allocations[1], allocations[0] + 2);
}

TEST(UnpackArchive, CreatesMissingFoldersAndReportsDecodedSizes)
{
    PackedTree tree;
    Operation op = unpack(tree.archive, tree.list, tree.out + "new/level/");
    ASSERT_EQ(op.result, ARCHIVE_OK);
    EXPECT_EQ(op.progress.sizes, (std::vector<int64_t>{10, 0, 5}));
    EXPECT_EQ(read_file(tree.out + "new/level/sub/deep/c.dat"), bytes_of("hello"));
    EXPECT_TRUE(file_exists(tree.out + "new/level/sub/b.dat"));
    EXPECT_EQ(read_file(tree.out + "new/level/a.dat"), bytes_of("0123456789"));

    // "/" separates folders as "\\" does, on every host.
    write_text(tree.scratch / "slashes.txt", "a.dat\nsub/b.dat\nsub/deep\\c.dat\n");
    ASSERT_EQ(unpack(tree.archive, tree.scratch / "slashes.txt", tree.out).result, ARCHIVE_OK);
    EXPECT_EQ(read_file(tree.out + "sub/deep/c.dat"), bytes_of("hello"));
#ifndef _WIN32
    // The list is read once, so it may come through a pipe.
    const std::string pipe = tree.scratch / "list.pipe";
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
    std::thread writer([&] { write_text(pipe, "a.dat\nsub\\b.dat\nsub\\deep\\c.dat\n"); });
    Operation piped = unpack(tree.archive, pipe, tree.out + "piped/");
    writer.join();
    EXPECT_EQ(piped.result, ARCHIVE_OK);
    EXPECT_EQ(read_file(tree.out + "piped/sub/deep/c.dat"), bytes_of("hello"));
#endif
}

TEST(ArchiveOps, ListEndsAtTheFirstBlankLine)
{
    PackedTree tree;
    write_text(tree.scratch / "blank_first.txt", "\n  \na.dat\n");
    write_text(tree.scratch / "blank_middle.txt", "a.dat\n \t \nmissing.dat\n");
    std::string empty_archive = tree.scratch / "empty.qbr";

    Operation packed = pack(tree.in, tree.scratch / "blank_first.txt", empty_archive);
    EXPECT_EQ(packed.result, 0);
    EXPECT_TRUE(file_exists(empty_archive));
    EXPECT_TRUE(read_file(empty_archive).empty());

    EXPECT_EQ(unpack(tree.archive, tree.scratch / "blank_first.txt", tree.out).result, ARCHIVE_OK);
    EXPECT_FALSE(file_exists(tree.out));

    EXPECT_EQ(pack(tree.in, tree.scratch / "blank_middle.txt", empty_archive).result, 10);
    EXPECT_EQ(unpack(tree.archive, tree.scratch / "blank_middle.txt", tree.out).result, ARCHIVE_OK);
    EXPECT_FALSE(file_exists(tree.out + "missing.dat"));
}

TEST(ArchiveOps, ListAndArchiveOfDifferentLengths)
{
    PackedTree tree;
    write_text(tree.scratch / "longer.txt", "a.dat\nb.dat\nc.dat\nd.dat\n");
    Operation longer = unpack(tree.archive, tree.scratch / "longer.txt", tree.out);
    EXPECT_EQ(longer.result, ARCHIVE_DECODE_FAILED);
    EXPECT_EQ(longer.path_buffer, tree.out + "d.dat");
    EXPECT_TRUE(file_exists(tree.out + "d.dat"));

    write_text(tree.scratch / "shorter.txt", "only.dat\n");
    EXPECT_EQ(unpack(tree.archive, tree.scratch / "shorter.txt", tree.out).result, ARCHIVE_OK);
    EXPECT_EQ(read_file(tree.out + "only.dat"), bytes_of("0123456789"));
}

TEST(UnpackArchive, StopsBeforeTheNextEntryWhenCancelled)
{
    for (bool pipelined : {false, true}) {
        SCOPED_TRACE(pipelined ? "decoder on a second thread" : "one thread");
        PackedTree tree;
        int cancel = 1;
        Operation before = unpack(tree.archive, tree.list, tree.out, &cancel, -1, pipelined);
        EXPECT_EQ(before.result, ARCHIVE_CANCELLED);
        EXPECT_FALSE(file_exists(tree.out));

        cancel = 0;  // set from inside the callback, as a dialog's message loop would
        Operation during = unpack(tree.archive, tree.list, tree.out, &cancel, 1, pipelined);
        EXPECT_EQ(during.result, ARCHIVE_CANCELLED);
        EXPECT_TRUE(file_exists(tree.out + "a.dat"));
        EXPECT_FALSE(file_exists(tree.out + "sub"));
    }
}

TEST(ArchiveOps, RefusesBadArgumentsWithoutTouchingFiles)
{
    PackedTree tree;
    EXPECT_EQ(unpack(tree.archive, tree.list, tree.scratch / "out").result, ARCHIVE_BAD_ARGUMENT);
    EXPECT_FALSE(file_exists(tree.scratch / "out"));

    const struct {
        const char* name;
        int64_t expected;
    } archive_names[] = {
        {"x.qbr", 15}, {"X.QBR", 15}, {"x.Qbr", 15}, {"x.bin", ARCHIVE_BAD_ARGUMENT},
    };
    for (const auto& c : archive_names) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(pack(tree.in, tree.list, tree.scratch / c.name).result, c.expected);
    }
    EXPECT_FALSE(file_exists(tree.scratch / "x.bin"));
}

TEST(UnpackArchive, ReportsFilesAndFoldersThatCannotBeCreated)
{
    PackedTree tree;
    write_text(tree.out + "blocker", "a file where a folder is needed");
    write_text(tree.scratch / "blocked.txt", "blocker\\x.dat\n");
    Operation blocked = unpack(tree.archive, tree.scratch / "blocked.txt", tree.out);
    EXPECT_EQ(blocked.result, ARCHIVE_MKDIR_FAILED);
    // The buffer names the folder whose creation failed, not one of the folders above it that
    // exist already.
    EXPECT_EQ(tree.out + "blocker", blocked.path_buffer);

    // The folder can be made, but no file of that name can exist in it.
    write_text(tree.scratch / "long.txt", "made\\" + std::string(300, 'n') + "\n");
    Operation too_long = unpack(tree.archive, tree.scratch / "long.txt", tree.out);
    EXPECT_EQ(too_long.result, ARCHIVE_CREATE_FAILED);
    EXPECT_TRUE(file_exists(tree.out + "made"));

#ifdef _WIN32
    // A file that another program holds open without sharing.
    HANDLE held = CreateFileA((tree.out + "a.dat").c_str(), GENERIC_READ, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(unpack(tree.archive, tree.list, tree.out).result, ARCHIVE_CREATE_FAILED);
    CloseHandle(held);
#else
    // A link where a folder of the entry's path goes: refused, and nothing lands where it leads.
    write_text(tree.scratch / "elsewhere/keep.txt", "");
    symlink((tree.scratch / "elsewhere").c_str(), (tree.out + "linked").c_str());
    write_text(tree.scratch / "linked.txt", "linked\\deep\\a.dat\n");
    Operation linked = unpack(tree.archive, tree.scratch / "linked.txt", tree.out);
    EXPECT_EQ(linked.result, ARCHIVE_MKDIR_FAILED);
    EXPECT_EQ(tree.out + "linked", linked.path_buffer);
    EXPECT_FALSE(file_exists(tree.scratch / "elsewhere/deep"));
#endif

    EXPECT_EQ(unpack(tree.scratch / "missing.qbr", tree.list, tree.out).result,
              ARCHIVE_UNPACK_OPEN_FAILED);
    EXPECT_EQ(unpack(tree.archive, tree.scratch / "missing.txt", tree.out).result,
              ARCHIVE_UNPACK_OPEN_FAILED);
}

// A file that cannot be written whole ends the unpack at its entry, on one thread as with the
// decoder on a second, whether its bytes fail on the way or when it is closed, and before the
// archive's own damage further on is met: the bytes within the limit land, the entry is not
// reported, and no later file is created.
TEST(UnpackArchive, StopsAtAFileThatCannotBeWrittenOnEitherThread)
{
    PackedTree tree;
    const int64_t big = 1 << 20;  // more blocks than the second thread's ring holds
    write_file(tree.in + "big.dat", random_bytes(size_t(big), 3));
    const std::string list = tree.scratch / "big.txt";
    const std::string archive = tree.scratch / "big.qbr";
    write_text(list, "a.dat\nbig.dat\nsub\\deep\\c.dat\n");
    ASSERT_EQ(pack(tree.in, list, archive).result, 10 + big + 5);
    // Cut inside big.dat's entry, well after its first 300000 bytes.
    const std::string cut = tree.scratch / "cut.qbr";
    Bytes whole = read_file(archive);
    write_file(cut, Bytes(whole.begin(), whole.begin() + long(whole.size() * 6 / 10)));
    const struct {
        const char* name;
        const char* failing;
        int64_t after;
        std::vector<int64_t> reported;
        const char* not_created;
        const std::string& archive;
    } cases[] = {
        {"nothing of the first file lands", "a.dat", 0, {}, "big.dat", archive},
        {"the first file fails when it is closed", "a.dat", 5, {}, "big.dat", archive},
        {"partway through a large file", "big.dat", 300000, {10}, "sub", archive},
        {"the last block of a large file", "big.dat", big - 1, {10}, "sub", archive},
        {"the last file", "sub\\deep\\c.dat", 2, {10, big}, nullptr, archive},
        {"partway through a file the archive breaks off later", "big.dat", 300000, {10}, "sub",
         cut},
    };
    int run = 0;
    for (bool pipelined : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (pipelined ? ", two threads" : ", one thread"));
            const std::string out = tree.out + std::to_string(run++) + "/";
            const std::string failing = out + c.failing;
            std::string on_disk = failing;
            std::replace(on_disk.begin(), on_disk.end(), '\\', '/');
            fail_host_file_after(failing.c_str(), c.after);
            Operation op = unpack(c.archive, list, out, nullptr, -1, pipelined);
            fail_host_file_after(nullptr, 0);
            EXPECT_EQ(op.result, ARCHIVE_WRITE_FAILED);
            EXPECT_EQ(op.path_buffer, failing);
            EXPECT_EQ(op.progress.sizes, c.reported);
            EXPECT_EQ(int64_t(read_file(on_disk).size()), c.after);
            if (c.not_created != nullptr) {
                EXPECT_FALSE(file_exists(out + c.not_created));
            }
        }
    }
}

TEST(UnpackArchive, RefusesTheWholeListBeforeWritingAnything)
{
    PackedTree tree;
    const struct {
        const char* name;
        std::string list;
        int expected;
    } cases[] = {
        {"parent folder", "a.dat\n..\\escape.dat\n", ARCHIVE_UNSAFE_NAME},
        {"absolute name", "a.dat\n/tmp/escape.dat\n", ARCHIVE_UNSAFE_NAME},
        {"drive prefix", "a.dat\nC:escape.dat\n", ARCHIVE_UNSAFE_NAME},
        {"device name", "a.dat\nsub\\nul.txt\n", ARCHIVE_UNSAFE_NAME},
        {"name too long", "a.dat\n" + std::string(1100, 'n') + "\n", ARCHIVE_NAME_TOO_LONG},
        {"the archive above the folder", "a.dat\n../tree.qbr\n", ARCHIVE_UNSAFE_NAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_text(tree.scratch / "bad.txt", c.list);
        EXPECT_EQ(unpack(tree.archive, tree.scratch / "bad.txt", tree.out).result, c.expected);
        EXPECT_FALSE(file_exists(tree.out + "a.dat"));
    }
}

TEST(UnpackArchive, NeverWritesOverItsOwnInputs)
{
    PackedTree tree;
    Bytes archive_before = read_file(tree.archive);
    write_text(tree.scratch / "self.txt", "a.dat\ntree.qbr\n");
    EXPECT_EQ(unpack(tree.archive, tree.scratch / "self.txt", tree.scratch.path()).result,
              ARCHIVE_SELF_REFERENCE);
    EXPECT_EQ(read_file(tree.archive), archive_before);
    EXPECT_FALSE(file_exists(tree.scratch / "a.dat"));

    write_text(tree.scratch / "self.txt", "self.txt\n");
    EXPECT_EQ(unpack(tree.archive, tree.scratch / "self.txt", tree.scratch.path()).result,
              ARCHIVE_SELF_REFERENCE);
    EXPECT_EQ(read_file(tree.scratch / "self.txt"), bytes_of("self.txt\n"));

    // A volume that numbers every file 0 tells no two files apart.
    EXPECT_FALSE(same_file_identity(FileIdentity{7, 0}, FileIdentity{7, 0}));
#ifndef _WIN32
    // A link in a file's place is replaced by the file; what it led to stays as it was.
    write_text(tree.scratch / "outside.dat", "keep");
    write_text(tree.out + "placeholder", "");
    symlink((tree.scratch / "outside.dat").c_str(), (tree.out + "a.dat").c_str());
    ASSERT_EQ(unpack(tree.archive, tree.list, tree.out).result, ARCHIVE_OK);
    EXPECT_EQ(read_file(tree.scratch / "outside.dat"), bytes_of("keep"));
    EXPECT_EQ(read_file(tree.out + "a.dat"), bytes_of("0123456789"));
#endif
}

// Every failure ends the pack as one thread ends it, on any number of threads: the same result,
// the same path in the buffer and the same entries reported (so the tool prints the same), and
// the earlier archive stays.
TEST(PackArchive, FailedPackLeavesTheEarlierArchiveInPlace)
{
    PackedTree tree;
    Bytes before = read_file(tree.archive);
    write_file(tree.in + "big.dat", random_bytes(300000, 3));  // several of the encoder's blocks
    const std::string temporary = tree.archive + ".partial";
    const struct {
        const char* name;
        std::string list;
        int64_t expected;
        const char* stopped_at;  // the entry in the path buffer at the end, if a whole one
        std::string failing;     // a file that gives out (fail_host_file_after), or none
        int64_t after;
    } cases[] = {
        {"missing input", "a.dat\nmissing.dat\n", ARCHIVE_INPUT_OPEN_FAILED, "missing.dat", "", 0},
        {"input is a folder", "a.dat\nsub\n", ARCHIVE_INPUT_OPEN_FAILED, "sub", "", 0},
        {"line too long", "a.dat\n" + std::string(1100, 'n') + "\n", ARCHIVE_NAME_TOO_LONG,
         nullptr, "", 0},
        {"leads outside the folder", "a.dat\n../tree.qbr\n", ARCHIVE_UNSAFE_NAME, "../tree.qbr", "",
         0},
        {"no Windows can create it", "a.dat\nc.dat:x\n", ARCHIVE_UNSAFE_NAME, "c.dat:x", "", 0},
        // A read that fails is no end of the input: nothing is stored short as if it were whole.
        {"input unreadable from its start", "a.dat\nsub\\b.dat\n", ARCHIVE_INPUT_OPEN_FAILED,
         "a.dat", tree.in + "a.dat", 0},
        {"input fails partway", "a.dat\nbig.dat\nsub\\deep\\c.dat\n", ARCHIVE_INPUT_OPEN_FAILED,
         "big.dat", tree.in + "big.dat", 200000},
        {"input fails where its end would be", "a.dat\nbig.dat\n", ARCHIVE_INPUT_OPEN_FAILED,
         "big.dat", tree.in + "big.dat", 300000},
        {"archive gives out in the second entry", "a.dat\nbig.dat\n", ARCHIVE_ENCODE_FAILED,
         "big.dat", temporary, 1000},
    };
    for (const auto& c : cases) {
        Operation one_thread;
        for (int threads : {1, 2, 8}) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(threads));
            write_text(tree.scratch / "bad.txt", c.list);
            fail_host_file_after(c.failing.empty() ? nullptr : c.failing.c_str(), c.after);
            Operation op = pack(tree.in, tree.scratch / "bad.txt", tree.archive, threads);
            fail_host_file_after(nullptr, 0);
            if (threads == 1)
                one_thread = op;
            EXPECT_EQ(op.result, c.expected);
            if (c.stopped_at != nullptr) {
                EXPECT_EQ(op.path_buffer, tree.in + c.stopped_at);
            }
            EXPECT_EQ(op.path_buffer, one_thread.path_buffer);
            EXPECT_EQ(op.progress.sizes, one_thread.progress.sizes);
            EXPECT_EQ(read_file(tree.archive), before);
            EXPECT_FALSE(file_exists(temporary));
        }
    }

    EXPECT_EQ(pack(tree.in, tree.scratch / "missing.txt", tree.archive).result,
              ARCHIVE_PACK_OPEN_FAILED);
    EXPECT_EQ(read_file(tree.archive), before);
    EXPECT_EQ(pack(tree.in, tree.scratch / "missing.txt", tree.scratch / "new.qbr").result,
              ARCHIVE_PACK_OPEN_FAILED);
    EXPECT_FALSE(file_exists(tree.scratch / "new.qbr"));
    write_text(tree.scratch / "folder.qbr/inside.txt", "");
    EXPECT_EQ(pack(tree.in, tree.list, tree.scratch / "folder.qbr").result,
              ARCHIVE_PACK_OPEN_FAILED);
#ifndef _WIN32
    // Through a link, the file it leads to is replaced and the link stays.
    ASSERT_EQ(0, symlink(tree.archive.c_str(), (tree.scratch / "link.qbr").c_str()));
    write_text(tree.scratch / "one.txt", "a.dat\n");
    EXPECT_EQ(pack(tree.in, tree.scratch / "one.txt", tree.scratch / "link.qbr").result, 10);
    EXPECT_TRUE(is_host_link((tree.scratch / "link.qbr").c_str()));
    EXPECT_NE(read_file(tree.archive), before);
    EXPECT_FALSE(file_exists(tree.archive + ".partial"));
#endif

    write_text(tree.scratch / "list.qbr", "a.dat\n");
    EXPECT_EQ(pack(tree.in, tree.scratch / "list.qbr", tree.scratch / "list.qbr").result,
              ARCHIVE_SELF_REFERENCE);
    EXPECT_EQ(read_file(tree.scratch / "list.qbr"), bytes_of("a.dat\n"));
}

namespace {

struct StopRun {
    PackPool* pool;
    std::atomic<bool> done;
};

void run_stop(void* context)
{
    StopRun* stop = static_cast<StopRun*>(context);
    stop_workers(stop->pool);
    stop->done = true;
}

bool is_waiting(PackPool* pool, PackJob* job)
{
    lock_host_lock(pool->lock);
    bool waiting = job->waiting;
    unlock_host_lock(pool->lock);
    return waiting;
}

// Looks every millisecond until `done` says yes; false after half a minute, taken for a hang.
template <typename Done>
bool eventually(Done done)
{
    for (int i = 0; i < 30000; i++) {
        if (done())
            return true;
#ifdef _WIN32
        Sleep(1);
#else
        usleep(1000);
#endif
    }
    return done();
}

}  // namespace

// A pack that fails stops its pool while a worker may be waiting for a chunk (its entry is ahead
// of the one being committed, and only that one's reserve is left). The worker gets no chunk,
// gives its entry up as failed with its input closed, and ends: the stop neither hangs nor
// leaves anything behind.
TEST(PackWorkers, StopWakesAThreadWaitingForAChunk)
{
    ScratchFolder scratch;
    write_file(scratch / "ahead.dat", random_bytes(3 * PACK_CHUNK_BYTES, 5));  // over 2 chunks coded
    PackPool pool = {};
    ASSERT_TRUE(set_up_pool(&pool, 1, 1024));
    ASSERT_TRUE(start_workers(&pool));
    // Entry 0, being committed, is coded by the committer and holds all chunks but two.
    PackJob* head = job_of(&pool, 0);
    head->in_order = true;
    std::vector<PackChunk*> held;
    for (int i = 0; i < PACK_CHUNKS - PACK_HEAD_RESERVE - 1; i++)
        held.push_back(take_free_chunk(&pool, head));
    // Entry 1 takes one chunk and waits for the next.
    PackJob* ahead = job_of(&pool, 1);
    ahead->index = 1;
    ahead->input = open_host_file((scratch / "ahead.dat").c_str());
    ASSERT_NE(ahead->input, nullptr);
    post_host_semaphore(pool.jobs_ready);
    post_host_semaphore(pool.jobs_ready);
    ASSERT_TRUE(eventually([&] { return is_waiting(&pool, ahead); }));

    StopRun stop = {&pool, {false}};
    HostThread* stopper = start_host_thread(run_stop, &stop);
    ASSERT_NE(stopper, nullptr);
    bool stopped = eventually([&] { return stop.done.load(); });
    // Should the stop hang, the chunks given back let the worker end, and the test with it.
    for (PackChunk* chunk : held)
        return_chunk(&pool, chunk);
    join_host_thread(stopper);
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(!ahead->finished || ahead->byte_count < 0) << ahead->byte_count;
    EXPECT_EQ(ahead->input, nullptr);
    free_pool(&pool);
}
