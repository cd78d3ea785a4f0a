// main.cpp -- the lzss command line: packs the files of a file list into a QBR archive, or
// unpacks an archive into a folder under the names of a file list.
//
//   lzss input.QBR filelist.txt outpath\     unpack (the third argument ends with a separator)
//   lzss inpath\ filelist.txt output.QBR     pack (the third argument ends in ".qbr")
//
// Both use every processor unless LZSS_THREADS says how many threads to use; LZSS_THREADS=1 packs
// and unpacks on this thread alone. The archive and everything printed are the same either way.
// Without LZSS_THREADS, archives under 4 MiB unpack on one thread (the second would slow them).
//
// A progress line that cannot be written stops the operation (standard output full, or a pipe
// whose reader has gone). After the operation lzss says why the host failed, and warns of what
// the list left out.

#include <cerrno>
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
static int64_t entries_done = 0;
static int output_error = 0;  // the errno of the progress line that failed, or 0

// A negative return stops the operation.
static int report_progress(int64_t byte_count, const char* path, void*)
{
    total_bytes += byte_count;
    entries_done++;
    if (print_progress_line(total_bytes, byte_count, path))
        return 0;
    output_error = errno;
    return -1;
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
// the number of processors; a value of any other form is reported and ignored, an empty one is
// as none.
static int thread_count(bool* asked)
{
    const char* text = std::getenv("LZSS_THREADS");
    *asked = false;
    if (text == nullptr || text[0] == '\0')
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

// The status of a command line that chooses no operation (usage, help), or -1 when it chooses
// one.
static int check_arguments(int argc, char** argv, const char* program_name)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        print_help(program_name);
        return LZSS_STATUS_USAGE;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        print_usage(program_name);
        print_version();
        return LZSS_STATUS_USAGE;
    }
    if (argc < 4) {
        print_usage(program_name);
        return LZSS_STATUS_USAGE;
    }
    return -1;
}

// What lzss says after the operation beyond the result's message: the folder argument that lacks
// its separator, the data the list left in the archive, the names after a blank line.
static void print_afterwords(LzssMode mode, int64_t result, char* const* args,
                             bool data_after_entries)
{
    if (result == ARCHIVE_CANCELLED)
        print_output_failed(output_error);
    if (mode == LZSS_PACK && result == ARCHIVE_INPUT_OPEN_FAILED && !ends_with_separator(args[0]) &&
        folder_exists(args[0]))
        print_folder_without_separator(mode, args[0]);
    if (mode == LZSS_UNPACK && result == ARCHIVE_OK && data_after_entries)
        print_data_after_entries(args[0], args[1], entries_done);
    warn_names_after_blank_line(args[1]);
}

// Runs the command line's operation, or says why there is none; the exit status.
static int run(int argc, char** argv, const char* program_name)
{
    int status = check_arguments(argc, argv, program_name);
    if (status >= 0)
        return status;
    char* const* args = argv + 1;
    LzssMode mode;
    if (ends_with_separator(args[2]))
        mode = LZSS_UNPACK;
    else if (has_suffix(args[2], ".qbr", ".QBR"))
        mode = LZSS_PACK;
    else {
        print_usage(program_name);
        if (folder_exists(args[2]))
            print_folder_without_separator(LZSS_UNPACK, args[2]);
        return LZSS_STATUS_NO_MODE;
    }

    const char* directory = mode == LZSS_UNPACK ? args[2] : args[0];
    if (!set_directory(directory)) {
        std::fprintf(stderr, "Fatal compression error, file name too long in %s.\n", directory);
        return exit_status_for_result(ARCHIVE_NAME_TOO_LONG);
    }

    bool asked = false;
    bool data_after_entries = false;
    int threads = thread_count(&asked);
    int64_t result;
    if (mode == LZSS_UNPACK)
        result = unpack_archive_threaded(threads, asked, args[0], args[1], path_buffer,
                                         sizeof path_buffer, nullptr, nullptr, report_progress,
                                         &data_after_entries);
    else
        result = pack_archive_threaded(threads, path_buffer, sizeof path_buffer, args[1], args[2],
                                       nullptr, report_progress);

    if (result == ARCHIVE_BAD_ARGUMENT) {
        print_usage(program_name);
        return exit_status_for_result(result);
    }
    if (result < 0)
        print_failure(mode, static_cast<int>(result), args, path_buffer);
    print_afterwords(mode, result, args, data_after_entries);
    return exit_status_for_result(result);
}

int main(int argc, char** argv)
{
    // A program may be started with no arguments at all, not even its own name.
    const char* program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "lzss";
    fail_writes_to_broken_pipes();
    int status = run(argc, argv, program_name);
    // Arguments after the third are ignored, as ever; but not without a word, for they are most
    // likely a name with a blank that was not quoted.
    if (argc > 4)
        print_ignored_arguments(argc - 4);
    return status;
}
