// main.cpp -- the lzss command line: packs the files of a file list into a QBR archive, or
// unpacks an archive into a folder under the names of a file list.
//
//   lzss input.QBR filelist.txt outpath\     unpack (the third argument ends with a separator)
//   lzss inpath\ filelist.txt output.QBR     pack (the third argument ends in ".qbr")
//
// Both use every processor unless LZSS_THREADS says how many threads to use; LZSS_THREADS=1 packs
// and unpacks on this thread alone. The archive and everything printed are the same either way.
// Without LZSS_THREADS, archives under 4 MiB unpack on one thread (the second would slow them).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/archive_ops.h"
#include "archive/file_list.h"
#include "archive/host_files.h"
#include "archive/host_threads.h"
#include "archive/threaded_ops.h"
#include "tools/lzss/messages.h"

enum { PATH_BUFFER_CHARS = 1024 };

static char path_buffer[PATH_BUFFER_CHARS];
static int64_t total_bytes = 0;

static int report_progress(int64_t byte_count, const char* path, void*)
{
    total_bytes += byte_count;
    print_progress_line(total_bytes, byte_count, path);
    return 0;
}

static bool ends_with_separator(const char* text)
{
    size_t length = std::strlen(text);
    return length > 0 && is_folder_separator(text[length - 1]);
}

// Copies the directory argument into path_buffer; false when it does not fit.
static bool set_directory(const char* directory)
{
    if (std::strlen(directory) >= sizeof path_buffer)
        return false;
    std::strcpy(path_buffer, directory);
    return true;
}

// LZSS_THREADS when it is a number from 1 on, in decimal digits alone (`*asked` then true), else
// the number of processors; a value of any other form is reported and ignored.
static int thread_count(bool* asked)
{
    const char* text = std::getenv("LZSS_THREADS");
    *asked = false;
    if (text == nullptr)
        return host_processor_count();
    long count = 0;
    size_t digits = std::strspn(text, "0123456789");
    if (digits > 0 && text[digits] == '\0') {
        count = digits > 4 ? 1024 : std::strtol(text, nullptr, 10);
        *asked = count >= 1;
    }
    if (!*asked) {
        print_threads_ignored(text, host_processor_count());
        return host_processor_count();
    }
    return count < 1024 ? static_cast<int>(count) : 1024;
}

int main(int argc, char** argv)
{
    // A program may be started with no arguments at all, not even its own name.
    const char* program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "lzss";
    if (argc < 4) {
        print_usage(program_name);
        return 1;
    }
    char* const* args = argv + 1;
    LzssMode mode;
    if (ends_with_separator(args[2]))
        mode = LZSS_UNPACK;
    else if (has_suffix(args[2], ".qbr", ".QBR"))
        mode = LZSS_PACK;
    else {
        print_usage(program_name);
        return 9;
    }

    const char* directory = mode == LZSS_UNPACK ? args[2] : args[0];
    if (!set_directory(directory)) {
        std::fprintf(stderr, "Fatal compression error, file name too long in %s.\n", directory);
        return exit_status_for_result(ARCHIVE_NAME_TOO_LONG);
    }

    bool asked = false;
    int threads = thread_count(&asked);
    int64_t result;
    if (mode == LZSS_UNPACK && threads > 1)
        result = unpack_archive_pipelined(asked, args[0], args[1], path_buffer,
                                          sizeof path_buffer, nullptr, nullptr, report_progress);
    else if (mode == LZSS_UNPACK)
        result = unpack_archive(args[0], args[1], path_buffer, sizeof path_buffer, nullptr,
                                nullptr, report_progress);
    else
        result = pack_archive_threaded(threads, path_buffer, sizeof path_buffer, args[1], args[2],
                                       nullptr, report_progress);

    if (result == ARCHIVE_BAD_ARGUMENT)
        print_usage(program_name);
    else if (result < 0)
        print_failure(mode, static_cast<int>(result), args, path_buffer);
    return exit_status_for_result(result);
}
