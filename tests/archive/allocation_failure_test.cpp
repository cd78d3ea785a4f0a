// allocation_failure_test.cpp -- every allocation of the library refused in turn, one per run, as
// zlib's tests do with their own allocator. Each run of an operation either gets by without that
// memory (a pool that falls back to one thread) and writes exactly what a run with all of it
// writes, or ends in a failure that its tool has a message for, with nothing in place that looks
// complete. Under LeakSanitizer nothing taken may stay behind.

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "archive/archive_ops.h"
#include "archive/host_handles.h"
#include "archive/lzss_codec.h"
#include "archive/threaded_ops.h"
#include "list_image/make_list_image.h"
#include "support/test_support.h"
#include "tools/lzss/messages.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

std::string slashes(std::string path)
{
    for (char& c : path)
        c = c == '\\' ? '/' : c;
    return path;
}

// The inputs and their archive: twelve files whose names outgrow an unpack's first block of names,
// or with `large` two whose archive (over 4 MiB) the tool's unpack decodes on a second thread.
struct Inputs {
    ScratchFolder scratch;
    std::string in = scratch / "in/";
    std::string list = scratch / "list.txt";
    std::string archive = scratch / "tree.qbr";

    explicit Inputs(bool large)
    {
        std::string text;
        for (int i = 0; i < 12 && !large; i++) {
            std::string name = "folder_with_a_long_name_for_the_list_of_names_" +
                               std::to_string(i % 3) +
                               "\\file_with_a_long_name_for_the_list_of_names_" +
                               std::to_string(i) + ".dat";
            text += name + "\n";
            size_t size = i == 3 ? 0 : i == 6 ? 20000 : 100 + 50 * size_t(i);
            write_file(in + slashes(name), i % 2 ? text_bytes(size, i) : random_bytes(size, i));
        }
        if (large) {
            text = "big_a.bin\nbig_b.bin\n";
            write_file(in + "big_a.bin", random_bytes(2300000, 7));
            write_file(in + "big_b.bin", random_bytes(2000000, 8));
        }
        write_text(list, text);
        char buffer[1024];
        std::strcpy(buffer, in.c_str());
        EXPECT_GT(pack_archive_threaded(2, buffer, sizeof buffer, list.c_str(), archive.c_str(),
                                        nullptr, nullptr), 0);
        if (large) {
            EXPECT_GE(read_file(archive).size(), size_t(4) << 20);
        }
    }
};

// What one run of an operation into an empty folder gave.
struct Outcome {
    int64_t result;
    std::string message;             // what the tool prints for a failed result
    std::set<std::string> reported;  // the paths the progress callback was given
};

typedef Outcome (*Operation)(const Inputs& inputs, const std::string& out);

int note_entry(int64_t, const char* path, void* user_value)
{
    static_cast<Outcome*>(user_value)->reported.insert(slashes(path));
    return 0;
}

// What lzss prints for `result` with these three arguments.
std::string lzss_message(LzssMode mode, int64_t result, std::string first, std::string list,
                         std::string third, const char* path_buffer)
{
    char* args[3] = {&first[0], &list[0], &third[0]};
    testing::internal::CaptureStderr();
    print_failure(mode, static_cast<int>(result), args, path_buffer);
    return testing::internal::GetCapturedStderr();
}

Outcome pack_into(const Inputs& inputs, const std::string& out, int threads)
{
    Outcome outcome;
    char buffer[1024];
    std::strcpy(buffer, inputs.in.c_str());
    std::string archive = out + "tree.qbr";
    outcome.result = pack_archive_threaded(threads, buffer, sizeof buffer, inputs.list.c_str(),
                                           archive.c_str(), &outcome, note_entry);
    outcome.message = lzss_message(LZSS_PACK, outcome.result, inputs.in, inputs.list, archive,
                                   buffer);
    return outcome;
}

Outcome pack_one_thread(const Inputs& inputs, const std::string& out)
{
    return pack_into(inputs, out, 1);
}

Outcome pack_three_threads(const Inputs& inputs, const std::string& out)
{
    return pack_into(inputs, out, 3);
}

// unpack_archive, or with `tool` the lzss tool's unpack, which takes a second thread for an
// archive this large.
Outcome unpack_into(const Inputs& inputs, const std::string& out, bool tool)
{
    Outcome outcome;
    char buffer[1024];
    std::strcpy(buffer, out.c_str());
    const char* archive = inputs.archive.c_str();
    outcome.result = tool ? unpack_archive_pipelined(false, archive, inputs.list.c_str(), buffer,
                                                     sizeof buffer, &outcome, nullptr, note_entry)
                          : unpack_archive(archive, inputs.list.c_str(), buffer, sizeof buffer,
                                           &outcome, nullptr, note_entry);
    outcome.message = lzss_message(LZSS_UNPACK, outcome.result, inputs.archive, inputs.list, out,
                                   buffer);
    return outcome;
}

Outcome unpack_one_thread(const Inputs& inputs, const std::string& out)
{
    return unpack_into(inputs, out, false);
}

Outcome unpack_two_threads(const Inputs& inputs, const std::string& out)
{
    return unpack_into(inputs, out, true);
}

Outcome make_image(const Inputs& inputs, const std::string& out)
{
    Outcome outcome;
    ListImageReport report;
    outcome.result = make_list_image(inputs.list.c_str(), inputs.in.c_str(),
                                     (out + "tree.install").c_str(), &report, nullptr, nullptr);
    // listimage has a text for each ListImageResult, and "unknown failure" for anything else.
    if (outcome.result < 0 && outcome.result >= LIST_IMAGE_FILE_UNREADABLE)
        outcome.message = "a failure of listimage's";
    EXPECT_EQ(0, report.missing_files) << "a file that is there reported missing";
    return outcome;
}

// Every file under `folder` with its bytes, by its path below it.
std::map<std::string, Bytes> files_under(const std::string& folder)
{
    std::map<std::string, Bytes> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
        if (!item.is_directory()) {
            std::string path = item.path().generic_string();
            files[path.substr(folder.size())] = read_file(path);
        }
    }
    return files;
}

std::set<std::string> names_of(const std::map<std::string, Bytes>& files)
{
    std::set<std::string> names;
    for (const auto& file : files)
        names.insert(file.first);
    return names;
}

// True when the heap holds nothing unreachable.
bool no_leaks()
{
#if defined(__SANITIZE_ADDRESS__)
    return __lsan_do_recoverable_leak_check() == 0;
#else
    return true;
#endif
}

// Runs `operation` once with every allocation, then once with each of them refused, until a run
// makes fewer allocations than the one refused. `keeps_reported`: the entries reported before a
// failure stay, as an unpack's extracted files do. Returns the allocations of a whole run.
unsigned long sweep(const Inputs& inputs, Operation operation, bool keeps_reported)
{
    ScratchFolder clean;
    lzss_reset_window();
    fail_host_allocation(0);
    EXPECT_GE(operation(inputs, clean.path()).result, 0);
    const unsigned long allocations = counted_host_allocations();
    const std::map<std::string, Bytes> expected = files_under(clean.path());
    EXPECT_FALSE(expected.empty());
    int failures = 0;
    for (unsigned long refused = 1; refused < allocations + 100; refused++) {
        SCOPED_TRACE("allocation " + std::to_string(refused) + " of " +
                     std::to_string(allocations) + " refused");
        ScratchFolder out;
        lzss_reset_window();
        fail_host_allocation(refused);
        Outcome outcome = operation(inputs, out.path());
        unsigned long made = counted_host_allocations();
        fail_host_allocation(0);
        EXPECT_TRUE(no_leaks());
        const std::map<std::string, Bytes> left = files_under(out.path());
        if (outcome.result >= 0) {
            EXPECT_EQ(names_of(expected), names_of(left));
        } else {
            failures++;
            EXPECT_NE("", outcome.message) << "no message for " << outcome.result;
            // lzss says why, after its message.
            const std::string why = "\nlzss: out of memory\n";
            EXPECT_TRUE(operation == make_image ||
                        (outcome.message.size() > why.size() &&
                         outcome.message.compare(outcome.message.size() - why.size(),
                                                 why.size(), why) == 0))
                << outcome.message;
        }
        for (const auto& file : left) {
            bool reported = outcome.reported.count(out.path() + file.first) == 1;
            EXPECT_TRUE(outcome.result >= 0 || (keeps_reported && reported))
                << file.first << " left behind by result " << outcome.result;
            EXPECT_TRUE(expected.count(file.first) == 1 && expected.at(file.first) == file.second)
                << file.first << " is not what a whole run writes";
        }
        if (made < refused) {
            EXPECT_GE(outcome.result, 0) << "no allocation was refused";
            break;
        }
    }
    EXPECT_GT(failures, 0);
    return allocations;
}

}  // namespace

TEST(AllocationFailure, PackOnOneCore)
{
    Inputs inputs(false);
    testing::Test::RecordProperty("allocations", int(sweep(inputs, pack_one_thread, false)));
}

TEST(AllocationFailure, PackWithWorkers)
{
    Inputs inputs(false);
    testing::Test::RecordProperty("allocations", int(sweep(inputs, pack_three_threads, false)));
}

TEST(AllocationFailure, UnpackOnOneCore)
{
    Inputs inputs(false);
    testing::Test::RecordProperty("allocations", int(sweep(inputs, unpack_one_thread, true)));
}

TEST(AllocationFailure, UnpackLargeArchiveWithSecondDecoder)
{
    Inputs inputs(true);
    testing::Test::RecordProperty("allocations", int(sweep(inputs, unpack_two_threads, true)));
}

TEST(AllocationFailure, ListImage)
{
    Inputs inputs(false);
    testing::Test::RecordProperty("allocations", int(sweep(inputs, make_image, false)));
}
