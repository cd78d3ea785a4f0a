// archive_session.h -- one pack or unpack, from its open archive and list to its result, taken
// entry by entry, both directions in one shape:
//   open_*_session   fills in the caller's record, opens the list and the archive: ARCHIVE_OK, or
//                    the failure with the session closed (closing it again does nothing);
//   next_*_entry     puts the next entry's path behind the directory in the path buffer and
//                    checks it: ARCHIVE_OK, ARCHIVE_END when no entry is left, or the failure;
//   the entry's bytes go through the session: encode_pack_entry (or the parallel pack's coded
//                    bytes, put_coded_bytes and put_coded_tail), decode_unpack_entry;
//   finish_*_entry   maps the entry's codec result and reports the entry: ARCHIVE_OK or the
//                    entry's failure;
//   close_*_session  closes what is open and gives the operation's result.
// pack_entries and unpack_entries are the one-thread loops over them. The drivers (pack_archive
// and unpack_archive, the parallel pack, the pipelined unpack) call down into this layer and reach
// the archive's bit stream only through it; the one call back is unpack_entries's, which has its
// driver's EntryWriter write each entry it has created. The records' fields are the session's:
// drivers read none of them but the path buffer they gave.
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

// The ArchiveResult of a decoder's result: ARCHIVE_OK for a byte count, else the failure of the
// entry being unpacked.
int archive_result_of_decoding(int64_t codec_result);

// The failure of a list line that is no name: ARCHIVE_NAME_TOO_LONG for a line too long for the
// path buffer, else `read_failure`.
int list_line_failure(ListLine line, int read_failure);

// What next_pack_entry and next_unpack_entry return when the list has no entry left.
enum { ARCHIVE_END = 1 };

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

// Opens the list and creates the archive's partial file beside its target.
int open_pack_session(PackSession* session, char* path_buffer, size_t capacity,
                      const char* list_path, const char* archive_path, void* user_value,
                      ProgressCallback progress);

// Reads the next list name in and checks it (the rule for names; not the archive itself).
int next_pack_entry(PackSession* session);

// Opens the listed file at `path` for coding; null when it cannot be opened. The driver opens an
// entry's input when it chooses: the parallel pack opens some ahead of their turn.
HostFile* open_pack_input(const char* path);

// The encoder's source for an open input.
LzSource pack_input_source(HostFile* input);

// Codes the open input into the archive as the next entry, with the process's encoder: the
// codec's result.
int64_t encode_pack_entry(PackSession* session, HostFile* input);

// Puts an entry's bits coded elsewhere behind the archive's: whole bytes, then the last 0 to 31
// bits. False when the archive could not take them.
bool put_coded_bytes(PackSession* session, const uint8_t* bytes, size_t size);
bool put_coded_tail(PackSession* session, uint32_t tail, int tail_bits);

// Finishes the entry now in the path buffer: ARCHIVE_OK, the entry added to the total and
// reported, when `codec_result` is a byte count; else the entry's failure.
int finish_pack_entry(PackSession* session, int64_t codec_result);

// Closes the list and the archive and, when `result` is ARCHIVE_OK, puts the archive in place of
// its target. Returns the total of the byte counts, or the pack's failure (the partial archive
// then removed).
int64_t close_pack_session(PackSession* session, int result);

// The one-thread pack's loop, beside unpack_entries: codes the session's remaining entries with
// the process's encoder, straight into the archive. ARCHIVE_OK or the first failure.
int pack_entries(PackSession* session);

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
    CheckedProgressCallback checked_progress;  // report_entry_crcs's, or null
    uint32_t entry_crc;  // of the current entry's bytes written so far, with checked_progress
};

// Opens the archive and the list and checks every name of the list. ARCHIVE_OK, or the failure
// of the unpack (the session is then closed already; closing it again does nothing).
int open_unpack_session(UnpackSession* session, const char* archive_path, const char* list_path,
                        char* path_buffer, size_t capacity, void* user_value,
                        const int* cancel_flag, ProgressCallback progress);

// From now on each entry is reported to `progress` (null: none) with the CRC-32 of its bytes,
// besides the session's own callback.
void report_entry_crcs(UnpackSession* session, CheckedProgressCallback progress);

// The number of entries the list names, and the archive's size in bytes (-1 when it has none that
// can be trusted: a pipe).
size_t unpack_entry_count(const UnpackSession* session);
int64_t unpack_archive_size(const UnpackSession* session);

// Puts the next name in the path buffer: ARCHIVE_OK, ARCHIVE_END, or ARCHIVE_CANCELLED when the
// cancel flag is set.
int next_unpack_entry(UnpackSession* session);

// Creates the file of the entry now in the path buffer, with its missing folders, never through
// a link: ARCHIVE_OK with `*output` open, or the failure, the path buffer naming what failed.
int create_unpack_output(UnpackSession* session, HostFile** output);

// Decodes the archive's next entry into `output` with the process's decoder: the codec's result.
int64_t decode_unpack_entry(UnpackSession* session, LzSink output);

// Closes the entry's output and finishes the entry now in the path buffer: ARCHIVE_OK, the entry
// reported, when `codec_result` is a byte count and the output closed well; else the failure.
int finish_unpack_entry(UnpackSession* session, HostFile* output, int64_t codec_result);

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

// True when the archive holds more than the entries unpacked so far: called once every entry the
// list names is unpacked, with the decoder stopped, it tells a list shorter than the archive's.
// Reads at most one byte of the file.
bool unpack_data_after_entries(UnpackSession* session);

// Closes the archive and the list and releases the names; returns `result`.
int close_unpack_session(UnpackSession* session, int result);

