// threaded_ops.h -- pack and unpack on more than one thread, for the lzss tool. What they write,
// report and return is what pack_archive and unpack_archive write, report and return; the progress
// callback runs on the calling thread.

#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/archive_ops.h"

// pack_archive with the files coded by `threads` threads at once (at most 16, and fewer where the
// host cannot start or feed that many); one thread, or a pool that cannot be set up at all, is
// pack_archive itself. The archive is the same.
int64_t pack_archive_threaded(int threads, char* path_buffer, size_t capacity,
                              const char* list_path, const char* archive_path, void* user_value,
                              ProgressCallback progress);

// unpack_archive with the entries decoded on a second thread while this one writes the files.
// Unless `always`, an archive under 4 MiB unpacks on this thread, where the hand-overs would cost
// more than they save; so does any archive when the thread cannot be started.
int unpack_archive_pipelined(bool always, const char* archive_path, const char* list_path,
                             char* path_buffer, size_t capacity, void* user_value,
                             const int* cancel_flag, ProgressCallback progress);

// unpack_archive_pipelined on `threads` threads (1: this one alone, as unpack_archive), which also
// says, when the unpack succeeds, whether the archive holds data after the entries the list
// names (`*data_after_entries`): the list is shorter than the one it was packed with.
int unpack_archive_threaded(int threads, bool always, const char* archive_path,
                            const char* list_path, char* path_buffer, size_t capacity,
                            void* user_value, const int* cancel_flag, ProgressCallback progress,
                            bool* data_after_entries);
