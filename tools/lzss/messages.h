// messages.h -- what lzss prints: usage, progress lines and the message for each failure.

#pragma once

#include <cstdint>

enum LzssMode { LZSS_UNPACK, LZSS_PACK };

void print_usage(const char* program_name);

// "% 10d% 9d %s" with 64-bit counts: running total, this file's bytes, its path.
void print_progress_line(int64_t total_bytes, int64_t byte_count, const char* path);

// Prints the message that belongs to a failed operation's result, if it has one. `args` are the
// command line's three arguments, `path_buffer` the path the operation stopped on.
void print_failure(LzssMode mode, int result, char* const args[3], const char* path_buffer);

// Says that LZSS_THREADS holds `text`, which is no number of threads, and that `threads` are used.
void print_threads_ignored(const char* text, int threads);

// The tool's exit status for an operation's result.
int exit_status_for_result(int64_t result);
