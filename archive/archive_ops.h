// archive_ops.h -- packing the files of a file list into a QBR archive and unpacking it again.
//
// A QBR archive is one continuous LZSS bit stream with one entry per file, in the order of the
// file list; it stores no names, sizes or count. The caller owns the path buffer: on entry it
// holds the directory (ending with a folder separator), each list name is read in behind it,
// and on return it holds the path last worked on, for the caller's messages.

#pragma once

#include <cstddef>
#include <cstdint>

enum ArchiveResult {
    ARCHIVE_OK = 0,
    ARCHIVE_CANCELLED = -1,            // unpack: the cancel flag was found set
    ARCHIVE_UNPACK_OPEN_FAILED = -2,   // unpack: the archive or the list cannot be opened or read
    ARCHIVE_MKDIR_FAILED = -3,         // unpack: a folder of the entry's path cannot be created
    ARCHIVE_CREATE_FAILED = -4,        // unpack: the entry's file cannot be created
    ARCHIVE_DECODE_FAILED = -5,        // unpack: the archive ended or failed inside an entry
    ARCHIVE_PACK_OPEN_FAILED = -6,     // pack: the list cannot be opened or read, or the archive
                                       // cannot be created
    ARCHIVE_INPUT_OPEN_FAILED = -7,    // pack: a listed file cannot be opened or read
    ARCHIVE_ENCODE_FAILED = -8,        // pack: writing an entry failed
    ARCHIVE_BAD_ARGUMENT = -9,         // unpack: no separator at the end of the directory;
                                       // pack: the archive name does not end in ".qbr"
    ARCHIVE_CLOSE_FAILED = -10,        // pack: the archive's last bytes did not reach the disk,
                                       // or it could not be put in place
    ARCHIVE_WRITE_FAILED = -11,        // unpack: an extracted file could not be written or closed
    ARCHIVE_UNSAFE_NAME = -12,         // either: a list name breaks the rule for stored names
                                       // (entry_name_problem): it would lead outside the
                                       // directory, or no Windows can create it
    ARCHIVE_NAME_TOO_LONG = -13,       // either: directory plus a list line exceed the buffer
    ARCHIVE_SELF_REFERENCE = -14,      // pack: the list names the archive (or the archive is the
                                       // list); unpack: the list names the archive or itself
};

// Called once per entry, after its file is complete, with the entry's byte count, the path
// buffer and the caller's user value. A negative return stops the operation there, as a cancel
// does (ARCHIVE_CANCELLED; a pack then leaves no archive); any other is ignored.
typedef int (*ProgressCallback)(int64_t byte_count, const char* path, void* user_value);

// Called like a ProgressCallback, with the CRC-32 (crc32.h) of the entry's bytes, computed as
// they were written.
typedef int (*CheckedProgressCallback)(int64_t byte_count, uint32_t crc, const char* path,
                                       void* user_value);

// Extracts every entry of `archive_path` under the names of `list_path`, each joined to the
// directory in `path_buffer`. The whole list is checked before anything is written. A set
// `*cancel_flag` (read before each entry) stops the unpack. Returns an ArchiveResult.
int unpack_archive(const char* archive_path, const char* list_path, char* path_buffer,
                   size_t capacity, void* user_value, const int* cancel_flag,
                   ProgressCallback progress);

// unpack_archive that also gives `progress` each entry's CRC-32, computed while the entry is
// written (its file is not read again).
int unpack_archive_checked(const char* archive_path, const char* list_path, char* path_buffer,
                           size_t capacity, void* user_value, const int* cancel_flag,
                           CheckedProgressCallback progress);

// Codes every file named by `list_path`, read from the directory in `path_buffer`, into a new
// archive. The archive is written beside `archive_path` and put in its place only on success,
// so a failed pack leaves an earlier archive as it was. Returns the total of the files' byte
// counts, or a negative ArchiveResult.
int64_t pack_archive(char* path_buffer, size_t capacity, const char* list_path,
                     const char* archive_path, void* user_value, ProgressCallback progress);
