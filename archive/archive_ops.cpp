// archive_ops.cpp -- the pack and unpack operations on one thread: sessions driven entry by
// entry, with the process's encoder and decoder.
//
// Each operation owns, for its duration, the archive's BitStream, the list and the one entry
// file it works on, and closes all of them on every way out.

#include "archive/archive_ops.h"

#include "archive/archive_session.h"
#include "archive/lzss_codec.h"

int unpack_archive(const char* archive_path, const char* list_path, char* path_buffer,
                   size_t capacity, void* user_value, const int* cancel_flag,
                   ProgressCallback progress)
{
    UnpackSession session;
    int result = open_unpack_session(&session, archive_path, list_path, path_buffer, capacity,
                                     user_value, cancel_flag, progress);
    if (result == ARCHIVE_OK)
        result = unpack_entries(&session, decode_next_entry, session.archive);
    return close_unpack_session(&session, result);
}

int pack_entries(PackSession* session)
{
    for (;;) {
        int next = next_pack_entry(session);
        if (next != ARCHIVE_OK)
            return next > 0 ? ARCHIVE_OK : next;
        HostFile* input = open_pack_input(session->path_buffer);
        if (input == nullptr)
            return ARCHIVE_INPUT_OPEN_FAILED;
        int64_t byte_count = lzss_encode_entry(pack_input_source(input), session->archive);
        close_host_file(input);
        int result = archive_result_of_encoding(byte_count);
        if (result != ARCHIVE_OK)
            return result;
        finish_pack_entry(session, byte_count);
    }
}

int64_t pack_archive(char* path_buffer, size_t capacity, const char* list_path,
                     const char* archive_path, void* user_value, ProgressCallback progress)
{
    int failure = ARCHIVE_OK;
    PackSession* session = open_pack_session(path_buffer, capacity, list_path, archive_path,
                                             user_value, progress, &failure);
    return session != nullptr ? close_pack_session(session, pack_entries(session)) : failure;
}
