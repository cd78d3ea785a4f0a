// archive_session.h -- one pack or unpack, from its open archive and list to its result, taken
// entry by entry. The drivers (the one-thread unpack in archive_ops.cpp and pack in
// pack_session.cpp, the parallel pack and the pipelined unpack) call down into it: open a session,
// take the next entry (its path built and checked in the path buffer), finish the entry (its
// result mapped and its progress reported), close the session. The one call back is the unpack's:
// unpack_entries has its driver's EntryWriter write each entry it has created.
//
// The caller owns the path buffer: on entry it holds the directory (ending with a folder
// separator), each list name is read in behind it, and on return it holds the path last worked
// on, for the caller's messages.

#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/archive_ops.h"
#include "archive/bit_stream.h"
#include "archive/file_list.h"
#include "archive/host_files.h"
#include "archive/lzss_codec.h"

// The ArchiveResult of a codec result: ARCHIVE_OK for a byte count, else the failure of the
// entry being packed or unpacked.
int archive_result_of_encoding(int64_t codec_result);
int archive_result_of_decoding(int64_t codec_result);

// The failure of a list line that is no name: ARCHIVE_NAME_TOO_LONG for a line too long for the
// path buffer, else `read_failure`.
int list_line_failure(ListLine line, int read_failure);

struct PackSession {
    BitStream* archive;       // written to `temporary_path`
    HostFile* list;
    char* path_buffer;
    size_t directory_length;
    size_t capacity;
    const char* archive_path;
    void* user_value;
    ProgressCallback progress;
    int64_t total;            // of the entries finished
    char target[HOST_PATH_CHARS];          // the file the archive replaces at the end
    char temporary_path[HOST_PATH_CHARS];  // the target with ".partial" (or ".partial2" ...)
};

// Opens the list and creates the archive beside its target. The new session, or null with the
// failure of the pack in `*failure` and nothing left open or created.
PackSession* open_pack_session(char* path_buffer, size_t capacity, const char* list_path,
                               const char* archive_path, void* user_value,
                               ProgressCallback progress, int* failure);

// Reads the next list name into the path buffer behind the directory and checks it: ARCHIVE_OK,
// 1 at the end of the list, or the failure of the pack.
int next_pack_entry(PackSession* session);

// Opens the listed file at `path` for coding; null when it cannot be opened.
HostFile* open_pack_input(const char* path);

// The encoder's source for an open input.
LzSource pack_input_source(HostFile* input);

// Adds an entry coded from the file now in the path buffer to the total and reports it.
void finish_pack_entry(PackSession* session, int64_t byte_count);

// Closes the list and the archive and, when `result` is ARCHIVE_OK, puts the archive in place of
// its target, and releases the session. Returns the total of the byte counts, or the pack's
// failure (the temporary archive then removed).
int64_t close_pack_session(PackSession* session, int result);

struct UnpackSession {
    BitStream* archive;
    HostFile* list;
    GrowingBlock names;  // the list's names, read and checked once before anything is written,
                         // one after the other, each with its terminating 0
    size_t next_name;    // offset of the next entry's name
    size_t entries;      // names in `names`
    char* path_buffer;
    size_t directory_length;
    void* user_value;
    const int* cancel_flag;
    ProgressCallback progress;
    CheckedProgressCallback checked_progress;  // set after the session is opened, or null
    uint32_t entry_crc;  // of the current entry's bytes written so far, with checked_progress
};

// Opens the archive and the list and checks every name of the list. ARCHIVE_OK, or the failure
// of the unpack (the session is then closed already; closing it again does nothing).
int open_unpack_session(UnpackSession* session, const char* archive_path, const char* list_path,
                        char* path_buffer, size_t capacity, void* user_value,
                        const int* cancel_flag, ProgressCallback progress);

// Writes one entry's bytes to its output: the decoder's byte count or LZ_STREAM_FAILED or
// LZ_FILE_FAILED.
typedef int64_t (*EntryWriter)(void* context, HostFile* output);

// Extracts the session's entries, one after the other: puts each entry's path in the path buffer,
// creates its file with its missing folders (never through a link), has `write` write it, closes
// it and reports it. ARCHIVE_OK, or the first failure (the cancel flag set, a folder or a file
// that cannot be created or written, named by the path buffer, or the decoder's).
int unpack_entries(UnpackSession* session, EntryWriter write, void* context);

// Writes bytes of the current entry to its output, and adds them to the entry's CRC where the
// session's caller asked for it; false when they could not be written.
bool write_entry_bytes(UnpackSession* session, HostFile* output, const uint8_t* bytes,
                       size_t size);

// The EntryWriter of one thread: decodes the next entry of the session's archive into `output`.
int64_t decode_next_entry(void* session, HostFile* output);

// Closes the archive and the list and releases the names; returns `result`.
int close_unpack_session(UnpackSession* session, int result);

// The one-thread pack's loop, beside unpack_entries: codes the session's remaining entries with
// the process's encoder, straight into the archive. ARCHIVE_OK or the first failure.
int pack_entries(PackSession* session);
