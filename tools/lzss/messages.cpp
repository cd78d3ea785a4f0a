// messages.cpp -- the texts lzss prints for each archive result, and its exit statuses.
//
// The first line of a failure is the tool's message of old for its result; what lzss says
// beyond it (why the host failed, a hint, a warning) follows on lines that begin "lzss: ".

#include "tools/lzss/messages.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "archive/archive_ops.h"
#include "archive/file_list.h"
#include "archive/host_files.h"

static const char LZSS_VERSION[] = "2.1";

void print_usage(const char* program_name)
{
    std::fprintf(stderr,
                 "lzss %s\n"
                 "usage: %s input.QBR filelist.txt outpath\\\n"
                 "usage: %s inpath\\ filelist.txt output.QBR\n",
                 LZSS_VERSION, program_name, program_name);
    char separator = host_folder_separator();
    if (separator != '\\')
        std::fprintf(stderr, "lzss: on this host the folders end with %c: outpath%c, inpath%c\n",
                     separator, separator, separator);
}

void print_help(const char* program_name)
{
    print_usage(program_name);
    const char separator = host_folder_separator();
    std::fputs("lzss: packs the files a file list names into one QBR archive, or unpacks an\n"
               "lzss: archive into a folder under the names of the list it was packed with.\n",
               stderr);
    std::fprintf(stderr,
                 "lzss: unpack: the third argument is the output folder, ending with %c (or %s);\n"
                 "lzss: pack: the first is the folder the names are in, ending so, and the third\n"
                 "lzss: ends in .qbr.\n",
                 separator, separator == '\\' ? "/" : "\\, quoted for the shell");
    std::fputs("lzss: LZSS_THREADS=N sets the number of threads (1: one); by default every\n"
               "lzss: processor.\n"
               "lzss: the manual: man lzss (lzss(1); docs/man/lzss.1.in in the sources).\n",
               stderr);
}

void print_version() { std::fprintf(stderr, "lzss: lzss (TRV99 Patch) %s\n", TRV_PACKAGE_VERSION); }

void print_ignored_arguments(int count)
{
    std::fprintf(stderr, "lzss: warning: %d argument%s after the third ignored (a name with a blank, "
                         "not quoted?)\n", count, count == 1 ? "" : "s");
}

bool print_progress_line(int64_t total_bytes, int64_t byte_count, const char* path)
{
    errno = 0;
    bool printed = std::printf("% 10" PRId64 "% 9" PRId64 " %s\n", total_bytes, byte_count, path) >= 0;
    printed = std::fflush(stdout) == 0 && printed && !std::ferror(stdout);
    if (!printed && errno == 0)
        errno = EIO;
    return printed;
}

void print_output_failed(int error)
{
    std::fprintf(stderr, "lzss: standard output: %s\n", std::strerror(error));
}

// What a message names: the archive, the list, the path the operation stopped on, or the list
// and the archive in the order a pack names them.
enum MessageValues { ARCHIVE_AND_LIST, LIST_AND_ARCHIVE, PATH, PATH_AND_ARCHIVE, ARCHIVE_AND_PATH,
                     ARCHIVE, LIST };

// The host's failures that may be why an operation failed (bits of 1 << HostCall), and where:
// at any path, or at the path the operation stopped on.
enum { OPENED = 1 << HOST_OPEN, CREATED = 1 << HOST_CREATE, READ = 1 << HOST_READ,
       WRITTEN = 1 << HOST_WRITE, FOLDER_MADE = 1 << HOST_MAKE_FOLDER,
       ALLOCATED = 1 << HOST_ALLOCATE };
enum ReasonPath { ANY_PATH, STOPPED_PATH };

struct FailureMessage {
    LzssMode mode;
    int result;
    const char* format;
    MessageValues values;
    unsigned reasons;
    ReasonPath reason_path;
};

// Every failure that prints a message, with its text. Any other result prints nothing.
static const FailureMessage failure_messages[] = {
    {LZSS_UNPACK, ARCHIVE_UNPACK_OPEN_FAILED,
     "Fatal compression error, could not open files %s and %s.\n", ARCHIVE_AND_LIST,
     OPENED | READ | ALLOCATED, ANY_PATH},
    {LZSS_UNPACK, ARCHIVE_MKDIR_FAILED, "Fatal compression error, could not create directory %s.\n",
     PATH, FOLDER_MADE, STOPPED_PATH},
    {LZSS_UNPACK, ARCHIVE_CREATE_FAILED, "Fatal decompression error, could not open file %s.\n",
     PATH, CREATED | ALLOCATED, STOPPED_PATH},
    {LZSS_UNPACK, ARCHIVE_DECODE_FAILED,
     "Fatal decompression error, could not decompress %s to %s.\n", ARCHIVE_AND_PATH, READ,
     ANY_PATH},
    {LZSS_UNPACK, ARCHIVE_WRITE_FAILED, "Fatal decompression error, could not write file %s.\n",
     PATH, WRITTEN, STOPPED_PATH},
    {LZSS_UNPACK, ARCHIVE_UNSAFE_NAME, "Fatal decompression error, unsafe file name %s.\n", PATH,
     0, ANY_PATH},
    {LZSS_UNPACK, ARCHIVE_SELF_REFERENCE,
     "Fatal decompression error, %s would overwrite the archive or the file list.\n", PATH,
     0, ANY_PATH},
    {LZSS_UNPACK, ARCHIVE_NAME_TOO_LONG, "Fatal compression error, file name too long in %s.\n",
     LIST, 0, ANY_PATH},
    {LZSS_PACK, ARCHIVE_PACK_OPEN_FAILED, "Fatal compression error, could not open files %s and %s.\n",
     LIST_AND_ARCHIVE, OPENED | READ | CREATED | ALLOCATED, ANY_PATH},
    {LZSS_PACK, ARCHIVE_INPUT_OPEN_FAILED, "Fatal compression error, could not open file %s.\n",
     PATH, OPENED | READ | ALLOCATED, STOPPED_PATH},
    {LZSS_PACK, ARCHIVE_UNSAFE_NAME, "Fatal compression error, unsafe file name %s.\n", PATH, 0,
     ANY_PATH},
    {LZSS_PACK, ARCHIVE_ENCODE_FAILED, "Fatal compression error, could not compress %s to %s.\n",
     PATH_AND_ARCHIVE, WRITTEN, ANY_PATH},
    {LZSS_PACK, ARCHIVE_CLOSE_FAILED, "Fatal compression error, closing QBR file %s.\n", ARCHIVE,
     WRITTEN, ANY_PATH},
    {LZSS_PACK, ARCHIVE_SELF_REFERENCE, "Fatal compression error, could not pack %s into itself.\n",
     ARCHIVE, 0, ANY_PATH},
    {LZSS_PACK, ARCHIVE_NAME_TOO_LONG, "Fatal compression error, file name too long in %s.\n",
     LIST, 0, ANY_PATH},
};

// Prints why the host failed, where it noted a failure that the message's reasons name: the
// latest of them. The pack's and unpack's own path is where the host notes the failure, so
// earlier failures the operation went on from (a folder tried, a name taken) are told apart.
static void print_host_reason(const FailureMessage& message, const char* path_buffer)
{
    HostFailure latest = {};
    for (int call = 0; call < HOST_CALLS; call++) {
        HostFailure failure;
        if ((message.reasons & (1u << call)) == 0 ||
            !last_host_failure(static_cast<HostCall>(call), &failure))
            continue;
        bool here = message.reason_path == ANY_PATH || call == HOST_ALLOCATE ||
                    same_text(failure.path, path_buffer);
        if (here && failure.order > latest.order)
            latest = failure;
    }
    if (latest.order == 0)
        return;
    if (latest.call == HOST_ALLOCATE) {
        std::fputs("lzss: out of memory\n", stderr);
        return;
    }
    char reason[512];
    host_failure_reason(latest, reason, sizeof reason);
    std::fprintf(stderr, "lzss: %s: %s%s\n", latest.path,
                 latest.call == HOST_READ ? "read error: " : "", reason);
}

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
        print_host_reason(message, path_buffer);
        return;
    }
}

void print_folder_without_separator(LzssMode mode, const char* folder)
{
    std::fprintf(stderr,
                 mode == LZSS_UNPACK ? "lzss: %s is a folder; end it with %c to unpack into it\n"
                                     : "lzss: %s is a folder; end it with %c so that the names "
                                       "are taken inside it\n",
                 folder, host_folder_separator());
}

void print_threads_ignored(const char* text, int threads)
{
    std::fprintf(stderr, "lzss: LZSS_THREADS=\"%s\" is not a number of threads from 1 up; using %d.\n",
                 text, threads);
}

void print_data_after_entries(const char* archive, const char* list, int64_t entries)
{
    std::fprintf(stderr,
                 "lzss: warning: %s holds more data after the %" PRId64 " entries that %s names; "
                 "a shorter list than the one it was packed with?\n",
                 archive, entries, list);
}

void warn_names_after_blank_line(const char* list_path)
{
    if (!is_regular_host_file(list_path))
        return;
    HostFile* list = open_host_file(list_path);
    if (list == nullptr)
        return;
    static char line[HOST_PATH_CHARS];
    size_t length = 0, line_bytes = 0;
    int64_t number = 0, blank = 0;
    while (read_list_line(list, line, sizeof line, &length, &line_bytes)) {
        number++;
        bool empty = collapse_whitespace(line, ' ')[0] == '\0';
        if (empty && blank == 0)
            blank = number;
        if (!empty && blank != 0) {
            std::fprintf(stderr,
                         "lzss: warning: %s line %" PRId64 ": names after the blank line at line "
                         "%" PRId64 " were not read\n",
                         list_path, number, blank);
            break;
        }
    }
    close_host_file(list);
}

// An operation stopped by its progress callback (ARCHIVE_CANCELLED: lzss gives no cancel flag)
// stopped because standard output failed.
int exit_status_for_result(int64_t result)
{
    if (result == ARCHIVE_CANCELLED)
        return LZSS_STATUS_OUTPUT_FAILED;
    return result >= 0 ? 0 : static_cast<int>(-result);
}
