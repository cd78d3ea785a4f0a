// messages.cpp -- the texts lzss prints for each archive result, and its exit statuses.

#include "tools/lzss/messages.h"

#include <cinttypes>
#include <cstdio>

#include "archive/archive_ops.h"

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

static void print_unpack_failure(int result, char* const args[3], const char* path_buffer)
{
    const char* archive = args[0];
    const char* list = args[1];
    switch (result) {
    case ARCHIVE_UNPACK_OPEN_FAILED:
        std::fprintf(stderr, "Fatal compression error, could not open files %s and %s.\n",
                     archive, list);
        break;
    case ARCHIVE_MKDIR_FAILED:
        std::fprintf(stderr, "Fatal compression error, could not create directory %s.\n",
                     path_buffer);
        break;
    case ARCHIVE_CREATE_FAILED:
        std::fprintf(stderr, "Fatal decompression error, could not open file %s.\n", path_buffer);
        break;
    case ARCHIVE_DECODE_FAILED:
        std::fprintf(stderr, "Fatal decompression error, could not decompress %s to %s.\n",
                     archive, path_buffer);
        break;
    case ARCHIVE_WRITE_FAILED:
        std::fprintf(stderr, "Fatal decompression error, could not write file %s.\n", path_buffer);
        break;
    case ARCHIVE_UNSAFE_NAME:
        std::fprintf(stderr, "Fatal decompression error, unsafe file name %s.\n", path_buffer);
        break;
    case ARCHIVE_SELF_REFERENCE:
        std::fprintf(stderr,
                     "Fatal decompression error, %s would overwrite the archive or the file "
                     "list.\n",
                     path_buffer);
        break;
    }
}

static void print_pack_failure(int result, char* const args[3], const char* path_buffer)
{
    const char* list = args[1];
    const char* archive = args[2];
    switch (result) {
    case ARCHIVE_PACK_OPEN_FAILED:
        std::fprintf(stderr, "Fatal compression error, could not open files %s and %s.\n", list,
                     archive);
        break;
    case ARCHIVE_INPUT_OPEN_FAILED:
        std::fprintf(stderr, "Fatal compression error, could not open file %s.\n", path_buffer);
        break;
    case ARCHIVE_ENCODE_FAILED:
        std::fprintf(stderr, "Fatal compression error, could not compress %s to %s.\n",
                     path_buffer, archive);
        break;
    case ARCHIVE_CLOSE_FAILED:
        std::fprintf(stderr, "Fatal compression error, closing QBR file %s.\n", archive);
        break;
    case ARCHIVE_SELF_REFERENCE:
        std::fprintf(stderr, "Fatal compression error, could not pack %s into itself.\n", archive);
        break;
    }
}

void print_failure(LzssMode mode, int result, char* const args[3], const char* path_buffer)
{
    if (result == ARCHIVE_NAME_TOO_LONG) {
        std::fprintf(stderr, "Fatal compression error, file name too long in %s.\n", args[1]);
        return;
    }
    if (mode == LZSS_UNPACK)
        print_unpack_failure(result, args, path_buffer);
    else
        print_pack_failure(result, args, path_buffer);
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
