// archive_session.cpp -- the steps of one unpack that every driver takes the same way: opening the
// archive and the list, checking each name, mapping the codec's results and closing. The pack's
// session is in pack_session.cpp, which setup.exe does not link.

#include "archive/archive_session.h"

#include <cstring>

#include "archive/file_list.h"

int archive_result_of_decoding(int64_t codec_result)
{
    if (codec_result == LZ_STREAM_FAILED)
        return ARCHIVE_DECODE_FAILED;
    return codec_result < 0 ? ARCHIVE_WRITE_FAILED : ARCHIVE_OK;
}

int list_line_failure(ListLine line, int read_failure)
{
    return line == LIST_TOO_LONG ? ARCHIVE_NAME_TOO_LONG : read_failure;
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
    forget_host_failures();
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

void report_entry_crcs(UnpackSession* session, CheckedProgressCallback progress)
{
    session->checked_progress = progress;
}

size_t unpack_entry_count(const UnpackSession* session) { return session->entries; }

int64_t unpack_archive_size(const UnpackSession* session)
{
    return host_file_size(session->archive->file);
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
