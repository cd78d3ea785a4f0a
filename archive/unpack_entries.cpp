// unpack_entries.cpp -- an unpack's entries one after the other: each entry's path from the
// checked names, its folders and file created (never through a link), its bytes written by the
// driver's writer, its result and progress.

#include <cstring>

#include "archive/archive_session.h"
#include "archive/crc32.h"
#include "archive/lzss_codec.h"

// Creates the missing folders on the way to the file named by `path`, shallowest first: walks
// back from the last separator to the deepest folder that exists or can be created, then forward
// again creating each level below it. On failure `path` names the folder that could not be
// created.
static int make_missing_folders(char* path)
{
    char original[HOST_PATH_CHARS];
    size_t last = std::strlen(path);
    if (last >= sizeof original)
        return ARCHIVE_MKDIR_FAILED;
    std::memcpy(original, path, last + 1);
    while (last > 0 && !is_folder_separator(original[last - 1]))
        last--;
    if (last == 0)
        return ARCHIVE_MKDIR_FAILED;
    last--;

    size_t start = 1;
    for (size_t k = last; k >= 1; k--) {
        if (!is_folder_separator(path[k]))
            continue;
        path[k] = '\0';
        if (folder_exists(path) || make_folder(path)) {
            start = k;
            break;
        }
    }
    for (size_t k = start; k < last; k++) {
        if (path[k] != '\0')
            continue;
        path[k] = original[k];
        if (!make_folder(path))
            return ARCHIVE_MKDIR_FAILED;
    }
    path[last] = original[last];
    return ARCHIVE_OK;
}

// Refuses a link where a folder of the entry's own path (below the output folder) stands: the
// file would land wherever the link leads. On failure `path` names the link.
static int refuse_linked_folders(char* path, size_t directory_length)
{
    for (size_t k = directory_length; path[k] != '\0'; k++) {
        if (!is_folder_separator(path[k]))
            continue;
        char separator = path[k];
        path[k] = '\0';
        if (is_host_link(path))
            return ARCHIVE_MKDIR_FAILED;
        path[k] = separator;
    }
    return ARCHIVE_OK;
}

// Creates the file at `path` (below the first `directory_length` characters, the output folder),
// with its missing folders. ARCHIVE_OK with `*output` open, or the failure, with `path` naming
// what failed.
static int create_entry_file(char* path, size_t directory_length, HostFile** output)
{
    int checked = refuse_linked_folders(path, directory_length);
    if (checked != ARCHIVE_OK)
        return checked;
    *output = create_unlinked_host_file(path);
    if (*output != nullptr)
        return ARCHIVE_OK;
    int made = make_missing_folders(path);
    if (made != ARCHIVE_OK)
        return made;
    *output = create_unlinked_host_file(path);
    return *output != nullptr ? ARCHIVE_OK : ARCHIVE_CREATE_FAILED;
}

int next_unpack_entry(UnpackSession* session)
{
    if (session->next_name >= session->names.used)
        return ARCHIVE_END;
    const char* name = reinterpret_cast<const char*>(session->names.bytes) + session->next_name;
    size_t size = std::strlen(name) + 1;
    session->next_name += size;
    // Each name fitted behind the directory when the list was checked.
    std::memcpy(session->path_buffer + session->directory_length, name, size);
    if (session->cancel_flag != nullptr && *session->cancel_flag != 0)
        return ARCHIVE_CANCELLED;
    return ARCHIVE_OK;
}

int create_unpack_output(UnpackSession* session, HostFile** output)
{
    session->entry_crc = 0;
    return create_entry_file(session->path_buffer, session->directory_length, output);
}

int64_t decode_unpack_entry(UnpackSession* session, LzSink output)
{
    return lzss_decode_entry(session->archive, output);
}

int finish_unpack_entry(UnpackSession* session, HostFile* output, int64_t codec_result)
{
    bool closed = close_host_file(output);
    int result = archive_result_of_decoding(codec_result);
    if (result == ARCHIVE_OK && !closed)
        result = ARCHIVE_WRITE_FAILED;
    if (result == ARCHIVE_OK && session->progress != nullptr &&
        session->progress(codec_result, session->path_buffer, session->user_value) < 0)
        result = ARCHIVE_CANCELLED;
    if (result == ARCHIVE_OK && session->checked_progress != nullptr)
        session->checked_progress(codec_result, session->entry_crc, session->path_buffer,
                                  session->user_value);
    return result;
}

int unpack_entries(UnpackSession* session, EntryWriter write, void* context)
{
    for (;;) {
        int next = next_unpack_entry(session);
        if (next != ARCHIVE_OK)
            return next == ARCHIVE_END ? ARCHIVE_OK : next;
        HostFile* output = nullptr;
        int created = create_unpack_output(session, &output);
        if (created != ARCHIVE_OK)
            return created;
        int finished = finish_unpack_entry(session, output, write(context, output));
        if (finished != ARCHIVE_OK)
            return finished;
    }
}

// After the last entry the archive holds at most the zero bits that complete its byte: a whole
// byte more, held by the reader or its buffer or still in the file, is data.
bool unpack_data_after_entries(UnpackSession* session)
{
    const BitReader& reader = session->archive->reader;
    if (reader.count >= 8 || reader.next < reader.end)
        return true;
    uint8_t byte = 0;
    return read_host_file(session->archive->file, &byte, 1) > 0;
}

bool write_entry_bytes(UnpackSession* session, HostFile* output, const uint8_t* bytes,
                       size_t size)
{
    if (session->checked_progress != nullptr)
        session->entry_crc = crc32_update(session->entry_crc, bytes, size);
    return write_host_file(output, bytes, size);
}

// The decoder's sink on one thread: the entry's output and its session.
struct EntryOutput {
    UnpackSession* session;
    HostFile* output;
};

static bool write_output(void* context, const uint8_t* bytes, size_t size)
{
    EntryOutput* entry = static_cast<EntryOutput*>(context);
    return write_entry_bytes(entry->session, entry->output, bytes, size);
}

int64_t decode_next_entry(void* session, HostFile* output)
{
    EntryOutput entry = {static_cast<UnpackSession*>(session), output};
    return decode_unpack_entry(entry.session, LzSink{write_output, &entry});
}
