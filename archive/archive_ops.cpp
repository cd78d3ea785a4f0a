// archive_ops.cpp -- the unpack operation on one thread: a session driven entry by entry, with the
// process's decoder. The pack on one thread is in pack_session.cpp.
//
// Each operation owns, for its duration, the archive's BitStream, the list and the one entry
// file it works on, and closes all of them on every way out.

#include "archive/archive_ops.h"

#include "archive/archive_session.h"
#include "archive/lzss_codec.h"

// The one-thread unpack, reporting each entry to `progress`, or with its CRC-32 to `checked`.
static int unpack_reporting(const char* archive_path, const char* list_path, char* path_buffer,
                            size_t capacity, void* user_value, const int* cancel_flag,
                            ProgressCallback progress, CheckedProgressCallback checked)
{
    UnpackSession session;
    int result = open_unpack_session(&session, archive_path, list_path, path_buffer, capacity,
                                     user_value, cancel_flag, progress);
    if (result == ARCHIVE_OK) {
        report_entry_crcs(&session, checked);
        result = unpack_entries(&session, decode_next_entry, &session);
    }
    return close_unpack_session(&session, result);
}

int unpack_archive(const char* archive_path, const char* list_path, char* path_buffer,
                   size_t capacity, void* user_value, const int* cancel_flag,
                   ProgressCallback progress)
{
    return unpack_reporting(archive_path, list_path, path_buffer, capacity, user_value,
                            cancel_flag, progress, nullptr);
}

int unpack_archive_checked(const char* archive_path, const char* list_path, char* path_buffer,
                           size_t capacity, void* user_value, const int* cancel_flag,
                           CheckedProgressCallback progress)
{
    return unpack_reporting(archive_path, list_path, path_buffer, capacity, user_value,
                            cancel_flag, nullptr, progress);
}
