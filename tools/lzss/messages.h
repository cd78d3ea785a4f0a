// messages.h -- what lzss prints: usage, progress lines, the message for each failure and the
// further lines that say why, and its warnings.

#pragma once

#include <cstdint>

enum LzssMode { LZSS_UNPACK, LZSS_PACK };

// Exit statuses of lzss's own, beside a failed operation's -result.
enum {
    LZSS_STATUS_USAGE = 1,          // fewer than three arguments
    LZSS_STATUS_NO_MODE = 9,        // the third argument chooses no mode
    LZSS_STATUS_OUTPUT_FAILED = 15, // a progress line could not be written
};

// The usage block, on standard error; on a host whose separator is not "\", a line more that
// shows it.
void print_usage(const char* program_name);

// The usage, then what lzss does, line by line ("--help"), or the package's version
// ("--version"), all on standard error.
void print_help(const char* program_name);
void print_version();

// Last of all: the command line held `count` arguments after the third, which were ignored.
void print_ignored_arguments(int count);

// "% 10d% 9d %s" with 64-bit counts: running total, this file's bytes, its path; written out at
// once. False when standard output failed (errno says why).
bool print_progress_line(int64_t total_bytes, int64_t byte_count, const char* path);

// Says that standard output failed with `error` (an errno), which stopped the operation.
void print_output_failed(int error);

// Prints the message that belongs to a failed operation's result, if it has one, then on a line
// of its own why the host failed, where it noted a failure that fits. `args` are the command
// line's three arguments, `path_buffer` the path the operation stopped on.
void print_failure(LzssMode mode, int result, char* const args[3], const char* path_buffer);

// Says that `folder`, a folder argument without its final separator, names a folder.
void print_folder_without_separator(LzssMode mode, const char* folder);

// Says that LZSS_THREADS holds `text`, which is no number of threads, and that `threads` are used.
void print_threads_ignored(const char* text, int threads);

// Warns that the archive holds data after the `entries` entries the list names.
void print_data_after_entries(const char* archive, const char* list, int64_t entries);

// Warns when names follow the first blank line of the list at `list_path`, which ends it: the
// list is read again (a regular file only; a pipe was read once).
void warn_names_after_blank_line(const char* list_path);

// The tool's exit status for an operation's result.
int exit_status_for_result(int64_t result);
