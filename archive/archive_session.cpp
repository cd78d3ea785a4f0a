// archive_session.cpp -- the steps of one pack or unpack that every driver takes the same way:
// opening the archive and the list, checking each name, creating each entry's file, mapping the
// codec's results, reporting progress and closing.

#include "archive/archive_session.h"

#include <cstring>

#include "archive/file_list.h"

int archive_result_of_encoding(int64_t codec_result)
{
    if (codec_result == LZ_FILE_FAILED)
        return ARCHIVE_INPUT_OPEN_FAILED;
    return codec_result < 0 ? ARCHIVE_ENCODE_FAILED : ARCHIVE_OK;
}

int archive_result_of_decoding(int64_t codec_result)
{
    if (codec_result == LZ_STREAM_FAILED)
        return ARCHIVE_DECODE_FAILED;
    return codec_result < 0 ? ARCHIVE_WRITE_FAILED : ARCHIVE_OK;
}

static int list_line_failure(ListLine line, int read_failure)
{
    return line == LIST_TOO_LONG ? ARCHIVE_NAME_TOO_LONG : read_failure;
}

// ---- pack

// `text` with `suffix` behind it, into `dest` of HOST_PATH_CHARS; false when it does not fit.
static bool join_suffix(char* dest, const char* text, const char* suffix)
{
    size_t length = std::strlen(text), suffix_length = std::strlen(suffix);
    if (length + suffix_length >= HOST_PATH_CHARS)
        return false;
    std::memcpy(dest, text, length);
    std::memcpy(dest + length, suffix, suffix_length + 1);
    return true;
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
             !join_suffix(session->temporary_path, session->target, ".partial") ||
             (session->archive = bits_open_writer(session->temporary_path)) == nullptr)
        result = ARCHIVE_PACK_OPEN_FAILED;
    if (result != ARCHIVE_OK)
        close_host_file(session->list);
    return result;
}

PackSession* open_pack_session(char* path_buffer, size_t capacity, const char* list_path,
                               const char* archive_path, void* user_value,
                               ProgressCallback progress, int* failure)
{
    PackSession* session = static_cast<PackSession*>(host_allocate(sizeof(PackSession)));
    if (session == nullptr) {
        *failure = ARCHIVE_PACK_OPEN_FAILED;
        return nullptr;
    }
    session->archive = nullptr;
    session->path_buffer = path_buffer;
    session->directory_length = std::strlen(path_buffer);
    session->capacity = capacity;
    session->archive_path = archive_path;
    session->user_value = user_value;
    session->progress = progress;
    session->total = 0;
    *failure = start_pack_session(session, list_path, archive_path);
    if (*failure == ARCHIVE_OK)
        return session;
    host_release(session);
    return nullptr;
}

int next_pack_entry(PackSession* session)
{
    char* path = session->path_buffer;
    ListLine line = read_list_name(session->list, path + session->directory_length,
                                   session->capacity - session->directory_length);
    if (line == LIST_END)
        return 1;
    if (line != LIST_NAME)
        return list_line_failure(line, ARCHIVE_PACK_OPEN_FAILED);
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

void finish_pack_entry(PackSession* session, int64_t byte_count)
{
    session->total += byte_count;
    if (session->progress != nullptr)
        session->progress(byte_count, session->path_buffer, session->user_value);
}

int64_t close_pack_session(PackSession* session, int result)
{
    close_host_file(session->list);
    bool closed = bits_close_writer(session->archive) == 0;
    if (result == ARCHIVE_OK && !closed)
        result = ARCHIVE_CLOSE_FAILED;
    if (result == ARCHIVE_OK && !replace_file(session->temporary_path, session->target))
        result = ARCHIVE_CLOSE_FAILED;
    if (result != ARCHIVE_OK)
        remove_host_file(session->temporary_path);
    int64_t total = session->total;
    host_release(session);
    return result == ARCHIVE_OK ? total : result;
}

// ---- unpack: the list

// True when `path` names an existing file that is one of the two known ones (each known only if
// it exists).
static bool is_either_file(const char* path, const FileIdentity& first, bool first_known,
                           const FileIdentity& second, bool second_known)
{
    FileIdentity identity;
    if (!first_known && !second_known)
        return false;
    if (!get_file_identity(path, &identity))
        return false;
    return (first_known && same_file_identity(identity, first)) ||
           (second_known && same_file_identity(identity, second));
}

// Reads the whole list, once, before anything is written: every line must fit the buffer, name
// a place inside the directory, and not be the archive or the list themselves. The names are
// kept in the session, so that the list is never read again and may be a pipe.
static int check_unpack_list(UnpackSession* session, const char* archive_path,
                             const char* list_path, size_t capacity)
{
    // Both are open, so they exist; one look at each, and one at each name, is enough.
    FileIdentity archive, list_file;
    bool archive_known = get_file_identity(archive_path, &archive);
    bool list_known = get_file_identity(list_path, &list_file);
    char* name = session->path_buffer + session->directory_length;
    for (;;) {
        ListLine line = read_list_name(session->list, name, capacity - session->directory_length);
        if (line == LIST_END)
            break;
        if (line != LIST_NAME)
            return list_line_failure(line, ARCHIVE_UNPACK_OPEN_FAILED);
        if (!is_safe_entry_name(name))
            return ARCHIVE_UNSAFE_NAME;
        if (is_either_file(session->path_buffer, archive, archive_known, list_file, list_known))
            return ARCHIVE_SELF_REFERENCE;
        if (!append_to_block(&session->names, name, std::strlen(name) + 1))
            return ARCHIVE_UNPACK_OPEN_FAILED;
        session->entries++;
    }
    name[0] = '\0';
    return ARCHIVE_OK;
}

int open_unpack_session(UnpackSession* session, const char* archive_path, const char* list_path,
                        char* path_buffer, size_t capacity, void* user_value,
                        const int* cancel_flag, ProgressCallback progress)
{
    *session = UnpackSession{};
    session->path_buffer = path_buffer;
    session->directory_length = std::strlen(path_buffer);
    session->user_value = user_value;
    session->cancel_flag = cancel_flag;
    session->progress = progress;
    if (session->directory_length == 0 ||
        !is_folder_separator(path_buffer[session->directory_length - 1]))
        return ARCHIVE_BAD_ARGUMENT;
    session->archive = bits_open_reader(archive_path);
    session->list = open_host_file(list_path);
    int result = ARCHIVE_UNPACK_OPEN_FAILED;
    if (session->archive != nullptr && session->list != nullptr)
        result = check_unpack_list(session, archive_path, list_path, capacity);
    return result == ARCHIVE_OK ? result : close_unpack_session(session, result);
}

int close_unpack_session(UnpackSession* session, int result)
{
    if (session->archive != nullptr)
        bits_close_reader(session->archive);
    if (session->list != nullptr)
        close_host_file(session->list);
    host_release(session->names.bytes);
    *session = UnpackSession{};
    return result;
}
