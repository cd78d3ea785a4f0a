// pack_session.cpp -- the steps of one pack that every pack driver takes the same way (opening
// the list and the archive beside its target, checking each name, reporting progress, putting the
// archive in place), and the pack on one thread with the process's encoder. Only the tools link
// this file: setup.exe unpacks, and its build of the library leaves the pack out, so that it
// imports none of the functions that only a pack calls.

#include "archive/archive_session.h"

#include <cstring>

#include "archive/file_list.h"

// The ArchiveResult of an encoder's result: ARCHIVE_OK for a byte count, else the entry's failure.
static int archive_result_of_encoding(int64_t codec_result)
{
    if (codec_result == LZ_FILE_FAILED)
        return ARCHIVE_INPUT_OPEN_FAILED;
    return codec_result < 0 ? ARCHIVE_ENCODE_FAILED : ARCHIVE_OK;
}

// Fills in a new session and opens its list and archive; ARCHIVE_OK or the failure.
static int start_pack_session(PackSession* session, const char* list_path,
                              const char* archive_path)
{
    if (!has_suffix(archive_path, ".qbr", ".QBR"))
        return ARCHIVE_BAD_ARGUMENT;
    session->list = open_host_file(list_path);
    if (session->list == nullptr)
        return ARCHIVE_PACK_OPEN_FAILED;
    int result = ARCHIVE_OK;
    // Through a link, the file it leads to is replaced and the link stays.
    if (same_existing_file(list_path, archive_path))
        result = ARCHIVE_SELF_REFERENCE;
    else if (!replacement_target(archive_path, session->target, sizeof session->target) ||
             (session->archive = bits_open_partial_writer(session->target,
                                                          session->temporary_path)) == nullptr)
        result = ARCHIVE_PACK_OPEN_FAILED;
    if (result != ARCHIVE_OK)
        close_host_file(session->list);
    return result;
}

int open_pack_session(PackSession* session, char* path_buffer, size_t capacity,
                      const char* list_path, const char* archive_path, void* user_value,
                      ProgressCallback progress)
{
    forget_host_failures();
    session->archive = nullptr;
    session->list = nullptr;
    session->path_buffer = path_buffer;
    session->directory_length = std::strlen(path_buffer);
    session->capacity = capacity;
    session->archive_path = archive_path;
    session->user_value = user_value;
    session->progress = progress;
    session->total = 0;
    int result = start_pack_session(session, list_path, archive_path);
    if (result != ARCHIVE_OK) {
        session->list = nullptr;
        session->archive = nullptr;
    }
    return result;
}

int next_pack_entry(PackSession* session)
{
    char* path = session->path_buffer;
    ListLine line = read_list_name(session->list, path + session->directory_length,
                                   session->capacity - session->directory_length);
    if (line == LIST_END)
        return ARCHIVE_END;
    if (line != LIST_NAME)
        return list_line_failure(line, ARCHIVE_PACK_OPEN_FAILED);
    // What unpack would refuse to extract is not packed either: a name that leads outside the
    // folder would take a file from elsewhere.
    if (!is_safe_entry_name(path + session->directory_length))
        return ARCHIVE_UNSAFE_NAME;
    if (same_existing_file(path, session->archive_path) ||
        same_existing_file(path, session->temporary_path))
        return ARCHIVE_SELF_REFERENCE;
    return ARCHIVE_OK;
}

HostFile* open_pack_input(const char* path) { return open_host_file(path); }

static int64_t read_input(void* context, uint8_t* bytes, size_t size)
{
    return read_host_file(static_cast<HostFile*>(context), bytes, size);
}

LzSource pack_input_source(HostFile* input) { return LzSource{read_input, input}; }

int64_t encode_pack_entry(PackSession* session, HostFile* input)
{
    return lzss_encode_entry(pack_input_source(input), session->archive);
}

bool put_coded_bytes(PackSession* session, const uint8_t* bytes, size_t size)
{
    return bits_put_bytes(session->archive, bytes, size) == 0;
}

bool put_coded_tail(PackSession* session, uint32_t tail, int tail_bits)
{
    return bits_put_tail(session->archive, tail, tail_bits) == 0;
}

int finish_pack_entry(PackSession* session, int64_t codec_result)
{
    int result = archive_result_of_encoding(codec_result);
    if (result != ARCHIVE_OK)
        return result;
    session->total += codec_result;
    if (session->progress != nullptr &&
        session->progress(codec_result, session->path_buffer, session->user_value) < 0)
        return ARCHIVE_CANCELLED;
    return ARCHIVE_OK;
}

int64_t close_pack_session(PackSession* session, int result)
{
    if (session->list == nullptr)
        return result;  // closed already
    close_host_file(session->list);
    bool closed = bits_close_writer(session->archive) == 0;
    if (result == ARCHIVE_OK && !closed)
        result = ARCHIVE_CLOSE_FAILED;
    if (!finish_partial_file(session->temporary_path, session->target, result == ARCHIVE_OK) &&
        result == ARCHIVE_OK)
        result = ARCHIVE_CLOSE_FAILED;
    session->list = nullptr;
    session->archive = nullptr;
    return result == ARCHIVE_OK ? session->total : result;
}

// ---- the pack on one thread

int pack_entries(PackSession* session)
{
    for (;;) {
        int next = next_pack_entry(session);
        if (next != ARCHIVE_OK)
            return next == ARCHIVE_END ? ARCHIVE_OK : next;
        HostFile* input = open_pack_input(session->path_buffer);
        if (input == nullptr)
            return ARCHIVE_INPUT_OPEN_FAILED;
        int64_t byte_count = encode_pack_entry(session, input);
        close_host_file(input);
        int finished = finish_pack_entry(session, byte_count);
        if (finished != ARCHIVE_OK)
            return finished;
    }
}

int64_t pack_archive(char* path_buffer, size_t capacity, const char* list_path,
                     const char* archive_path, void* user_value, ProgressCallback progress)
{
    PackSession session;
    int result = open_pack_session(&session, path_buffer, capacity, list_path, archive_path,
                                   user_value, progress);
    if (result == ARCHIVE_OK)
        result = pack_entries(&session);
    return close_pack_session(&session, result);
}
