// messages.cpp -- the texts lzss prints for each archive result, and its exit statuses.

#include "tools/lzss/messages.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "archive/archive_ops.h"
#include "archive/file_list.h"

static const char LZSS_VERSION[] = "2.1";

void print_usage(const char* program_name)
{
    std::fprintf(stderr,
                 "lzss %s\n"
                 "usage: %s input.QBR filelist.txt outpath\\\n"
                 "usage: %s inpath\\ filelist.txt output.QBR\n",
                 LZSS_VERSION, program_name, program_name);
}

void print_progress_line(int64_t total_bytes, int64_t byte_count, const char* path)
{
    std::printf("% 10" PRId64 "% 9" PRId64 " %s\n", total_bytes, byte_count, path);
}

// What a message names: the archive, the list, the path the operation stopped on, or the list
// and the archive in the order a pack names them.
enum MessageValues { ARCHIVE_AND_LIST, LIST_AND_ARCHIVE, PATH, PATH_AND_ARCHIVE, ARCHIVE_AND_PATH,
                     ARCHIVE, LIST };

struct FailureMessage {
    LzssMode mode;
    int result;
    const char* format;
    MessageValues values;
};

// Every failure that prints a message, with its text. Any other result prints nothing.
static const FailureMessage failure_messages[] = {
    {LZSS_UNPACK, ARCHIVE_UNPACK_OPEN_FAILED,
     "Fatal compression error, could not open files %s and %s.\n", ARCHIVE_AND_LIST},
    {LZSS_UNPACK, ARCHIVE_MKDIR_FAILED, "Fatal compression error, could not create directory %s.\n",
     PATH},
    {LZSS_UNPACK, ARCHIVE_CREATE_FAILED, "Fatal decompression error, could not open file %s.\n",
     PATH},
    {LZSS_UNPACK, ARCHIVE_DECODE_FAILED,
     "Fatal decompression error, could not decompress %s to %s.\n", ARCHIVE_AND_PATH},
    {LZSS_UNPACK, ARCHIVE_WRITE_FAILED, "Fatal decompression error, could not write file %s.\n",
     PATH},
    {LZSS_UNPACK, ARCHIVE_UNSAFE_NAME, "Fatal decompression error, unsafe file name %s.\n", PATH},
    {LZSS_UNPACK, ARCHIVE_SELF_REFERENCE,
     "Fatal decompression error, %s would overwrite the archive or the file list.\n", PATH},
    {LZSS_UNPACK, ARCHIVE_NAME_TOO_LONG, "Fatal compression error, file name too long in %s.\n",
     LIST},
    {LZSS_PACK, ARCHIVE_PACK_OPEN_FAILED, "Fatal compression error, could not open files %s and %s.\n",
     LIST_AND_ARCHIVE},
    {LZSS_PACK, ARCHIVE_INPUT_OPEN_FAILED, "Fatal compression error, could not open file %s.\n",
     PATH},
    {LZSS_PACK, ARCHIVE_UNSAFE_NAME, "Fatal compression error, unsafe file name %s.\n", PATH},
    {LZSS_PACK, ARCHIVE_ENCODE_FAILED, "Fatal compression error, could not compress %s to %s.\n",
     PATH_AND_ARCHIVE},
    {LZSS_PACK, ARCHIVE_CLOSE_FAILED, "Fatal compression error, closing QBR file %s.\n", ARCHIVE},
    {LZSS_PACK, ARCHIVE_SELF_REFERENCE, "Fatal compression error, could not pack %s into itself.\n",
     ARCHIVE},
    {LZSS_PACK, ARCHIVE_NAME_TOO_LONG, "Fatal compression error, file name too long in %s.\n",
     LIST},
};

void print_failure(LzssMode mode, int result, char* const args[3], const char* path_buffer)
{
    const char* list = args[1];
    const char* archive = mode == LZSS_UNPACK ? args[0] : args[2];
    for (const FailureMessage& message : failure_messages) {
        if (message.mode != mode || message.result != result)
            continue;
        const char* first = archive;
        const char* second = list;
        switch (message.values) {
        case ARCHIVE_AND_LIST: break;
        case LIST_AND_ARCHIVE: first = list; second = archive; break;
        case PATH: first = path_buffer; break;
        case PATH_AND_ARCHIVE: first = path_buffer; second = archive; break;
        case ARCHIVE_AND_PATH: second = path_buffer; break;
        case ARCHIVE: break;
        case LIST: first = list; break;
        }
        std::fprintf(stderr, message.format, first, second);
        // Which rule the name breaks, on a line of its own: the name as the list gives it.
        const char* folder = mode == LZSS_UNPACK ? args[2] : args[0];
        size_t folder_length = std::strlen(folder);
        if (result == ARCHIVE_UNSAFE_NAME && std::strncmp(path_buffer, folder, folder_length) == 0) {
            const char* name = path_buffer + folder_length;
            std::fprintf(stderr, "lzss: %s: %s\n", name,
                         name_problem_text(entry_name_problem(name)));
        }
        return;
    }
}

void print_threads_ignored(const char* text, int threads)
{
    std::fprintf(stderr, "lzss: LZSS_THREADS=\"%s\" is not a number of threads from 1 up; using %d.\n",
                 text, threads);
}

int exit_status_for_result(int64_t result)
{
    return result >= 0 ? 0 : static_cast<int>(-result);
}
