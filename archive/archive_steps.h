// archive_steps.h -- what the pack and unpack operations share with their drivers on several
// threads (parallel_pack.cpp, pipelined_unpack.cpp): the open archive, list and buffers of one
// run, and the steps that must be taken the same way on one thread or several.

#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/archive_ops.h"
#include "archive/bit_stream.h"
#include "archive/file_list.h"

// One pack, from the open list and the open archive on.
struct PackRun {
    BitStream* archive;
    FILE* list;
    char* path_buffer;
    size_t directory_length;
    size_t capacity;
    const char* archive_path;
    const char* temporary_path;
    void* user_value;
    ProgressCallback progress;
};

// Codes every listed file into the archive; the total byte count or a negative ArchiveResult.
typedef int64_t (*PackEntriesStep)(const PackRun* run, void* context);

// pack_archive with another way of coding the listed files.
int64_t pack_archive_using(PackEntriesStep step, void* context, char* path_buffer,
                           size_t capacity, const char* list_path, const char* archive_path,
                           void* user_value, ProgressCallback progress);

// Reads the next list name into the path buffer behind the directory and checks it: ARCHIVE_OK,
// 1 at the end of the list, or a negative ArchiveResult.
int read_next_pack_name(const PackRun* run);

// Opens the listed file at `path` for coding, unbuffered (the encoder reads in blocks of its own,
// and a stream's buffer must not keep bytes of an earlier read); null when it cannot be opened.
FILE* open_pack_input(const char* path);

// One unpack, from the checked list on.
struct UnpackRun {
    BitStream* archive;
    const std::vector<std::string>* names;
    char* path_buffer;
    size_t directory_length;
    void* user_value;
    const int* cancel_flag;
    ProgressCallback progress;
};

typedef int (*UnpackEntriesStep)(const UnpackRun* run, void* context);

// Extracts the entries on this thread, one after the other: unpack_archive's step.
int unpack_archive_step(const UnpackRun* run);

// unpack_archive with another way of extracting the entries.
int unpack_archive_using(UnpackEntriesStep step, void* context,
                         const char* archive_path, const char* list_path, char* path_buffer,
                         size_t capacity, void* user_value, const int* cancel_flag,
                         ProgressCallback progress);

// Creates the file at `path` (below the first `directory_length` characters, the output folder),
// with its missing folders, never through a link. ARCHIVE_OK with `*output` open and unbuffered,
// or the ArchiveResult of the failure, with `path` naming what failed.
int create_entry_file(char* path, size_t directory_length, FILE** output);
