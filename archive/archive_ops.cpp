// archive_ops.cpp -- the pack and unpack operations over the codec and the file list.
//
// Each operation owns, for its duration, the archive's BitStream, the list and the one entry
// file it works on, and closes all of them on every way out.

#include "archive/archive_ops.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_steps.h"
#include "archive/bit_stream.h"
#include "archive/file_list.h"
#include "archive/host_files.h"
#include "archive/lzss_codec.h"

static int list_line_failure(ListLine line, int read_failure)
{
    return line == LIST_TOO_LONG ? ARCHIVE_NAME_TOO_LONG : read_failure;
}

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
// kept in `names`, so that the list is never read again and may be a pipe.
static int check_unpack_list(FILE* list, const char* archive_path, const char* list_path,
                             char* path_buffer, size_t directory_length, size_t capacity,
                             std::vector<std::string>* names)
{
    // Both are open, so they exist; one look at each, and one at each name, is enough.
    FileIdentity archive, list_file;
    bool archive_known = get_file_identity(archive_path, &archive);
    bool list_known = get_file_identity(list_path, &list_file);
    char* name = path_buffer + directory_length;
    for (;;) {
        ListLine line = read_list_name(list, name, capacity - directory_length);
        if (line == LIST_END)
            break;
        if (line != LIST_NAME)
            return list_line_failure(line, ARCHIVE_UNPACK_OPEN_FAILED);
        if (!is_safe_entry_name(name))
            return ARCHIVE_UNSAFE_NAME;
        if (is_either_file(path_buffer, archive, archive_known, list_file, list_known))
            return ARCHIVE_SELF_REFERENCE;
        names->push_back(name);
    }
    name[0] = '\0';
    return ARCHIVE_OK;
}

// Creates the missing folders on the way to the file named by `path`, shallowest first: walks
// back from the last separator to the deepest folder that exists or can be created, then forward
// again creating each level below it. On failure `path` names the folder that could not be
// created.
static int make_missing_folders(char* path)
{
    const std::string original(path);
    size_t last = original.size();
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

int create_entry_file(char* path, size_t directory_length, FILE** output)
{
    int checked = refuse_linked_folders(path, directory_length);
    if (checked != ARCHIVE_OK)
        return checked;
    *output = create_host_file(path);
    if (*output == nullptr) {
        int made = make_missing_folders(path);
        if (made != ARCHIVE_OK)
            return made;
        *output = create_host_file(path);
        if (*output == nullptr)
            return ARCHIVE_CREATE_FAILED;
    }
    // The decoder writes 64 KiB blocks; a stdio buffer would only split them in two.
    std::setvbuf(*output, nullptr, _IONBF, 0);
    return ARCHIVE_OK;
}

// The codec's source and sink on a C stream.
static int64_t read_file(void* file, uint8_t* bytes, size_t size)
{
    size_t read = std::fread(bytes, 1, size, static_cast<FILE*>(file));
    return read == 0 && std::ferror(static_cast<FILE*>(file)) ? -1 : static_cast<int64_t>(read);
}

static bool write_file(void* file, const uint8_t* bytes, size_t size)
{
    return std::fwrite(bytes, 1, size, static_cast<FILE*>(file)) == size;
}

// Creates the entry's file at the path in the buffer and decodes the next entry into it.
static int extract_entry(BitStream* archive, char* path, size_t directory_length,
                         int64_t* byte_count)
{
    FILE* output = nullptr;
    int created = create_entry_file(path, directory_length, &output);
    if (created != ARCHIVE_OK)
        return created;
    *byte_count = lzss_decode_entry(archive, LzSink{write_file, output});
    bool closed = std::fclose(output) == 0;
    if (*byte_count == LZ_STREAM_FAILED)
        return ARCHIVE_DECODE_FAILED;
    if (*byte_count == LZ_FILE_FAILED || !closed)
        return ARCHIVE_WRITE_FAILED;
    return ARCHIVE_OK;
}

int unpack_archive_step(const UnpackRun* run)
{
    for (const std::string& name : *run->names) {
        // Each name fitted behind the directory when the list was checked.
        std::memcpy(run->path_buffer + run->directory_length, name.c_str(), name.size() + 1);
        if (run->cancel_flag != nullptr && *run->cancel_flag != 0)
            return ARCHIVE_CANCELLED;
        int64_t byte_count = 0;
        int result = extract_entry(run->archive, run->path_buffer, run->directory_length,
                                   &byte_count);
        if (result != ARCHIVE_OK)
            return result;
        if (run->progress != nullptr)
            run->progress(byte_count, run->path_buffer, run->user_value);
    }
    return ARCHIVE_OK;
}

static int unpack_entries(const UnpackRun* run, void*) { return unpack_archive_step(run); }

int unpack_archive(const char* archive_path, const char* list_path, char* path_buffer,
                   size_t capacity, void* user_value, const int* cancel_flag,
                   ProgressCallback progress)
{
    return unpack_archive_using(unpack_entries, nullptr, archive_path, list_path, path_buffer,
                                capacity, user_value, cancel_flag, progress);
}

int unpack_archive_using(UnpackEntriesStep step, void* context,
                         const char* archive_path, const char* list_path, char* path_buffer,
                         size_t capacity, void* user_value, const int* cancel_flag,
                         ProgressCallback progress)
{
    size_t directory_length = std::strlen(path_buffer);
    if (directory_length == 0 || !is_folder_separator(path_buffer[directory_length - 1]))
        return ARCHIVE_BAD_ARGUMENT;

    BitStream* archive = bits_open_reader(archive_path);
    FILE* list = open_host_file(list_path, "r");
    int result = ARCHIVE_UNPACK_OPEN_FAILED;
    if (archive != nullptr && list != nullptr) {
        std::vector<std::string> names;
        result = check_unpack_list(list, archive_path, list_path, path_buffer,
                                   directory_length, capacity, &names);
        if (result == ARCHIVE_OK) {
            const UnpackRun run = {archive,    &names,      path_buffer, directory_length,
                                   user_value, cancel_flag, progress};
            result = step(&run, context);
        }
    }
    if (archive != nullptr)
        bits_close_reader(archive);
    if (list != nullptr)
        std::fclose(list);
    return result;
}

int open_next_pack_input(const PackRun* run, FILE** input)
{
    char* path = run->path_buffer;
    ListLine line = read_list_name(run->list, path + run->directory_length,
                                   run->capacity - run->directory_length);
    if (line == LIST_END)
        return 1;
    if (line != LIST_NAME)
        return list_line_failure(line, ARCHIVE_PACK_OPEN_FAILED);
    if (same_existing_file(path, run->archive_path) ||
        same_existing_file(path, run->temporary_path))
        return ARCHIVE_SELF_REFERENCE;
    *input = open_host_file(path, "rb");
    return *input != nullptr ? ARCHIVE_OK : ARCHIVE_INPUT_OPEN_FAILED;
}

// Codes the listed files, one entry each, into the archive.
static int64_t pack_entries(const PackRun* run, void*)
{
    int64_t total = 0;
    for (;;) {
        FILE* input = nullptr;
        int opened = open_next_pack_input(run, &input);
        if (opened != ARCHIVE_OK)
            return opened > 0 ? total : opened;
        int64_t byte_count = lzss_encode_entry(LzSource{read_file, input}, run->archive);
        std::fclose(input);
        if (byte_count == LZ_STREAM_FAILED)
            return ARCHIVE_ENCODE_FAILED;
        if (byte_count == LZ_FILE_FAILED)
            return ARCHIVE_INPUT_OPEN_FAILED;
        total += byte_count;
        if (run->progress != nullptr)
            run->progress(byte_count, run->path_buffer, run->user_value);
    }
}

int64_t pack_archive(char* path_buffer, size_t capacity, const char* list_path,
                     const char* archive_path, void* user_value, ProgressCallback progress)
{
    return pack_archive_using(pack_entries, nullptr, path_buffer, capacity, list_path,
                              archive_path, user_value, progress);
}

int64_t pack_archive_using(PackEntriesStep step, void* context, char* path_buffer,
                           size_t capacity, const char* list_path, const char* archive_path,
                           void* user_value, ProgressCallback progress)
{
    if (!has_suffix(archive_path, ".qbr", ".QBR"))
        return ARCHIVE_BAD_ARGUMENT;
    size_t directory_length = std::strlen(path_buffer);
    FILE* list = open_host_file(list_path, "r");
    if (list == nullptr)
        return ARCHIVE_PACK_OPEN_FAILED;
    if (same_existing_file(list_path, archive_path)) {
        std::fclose(list);
        return ARCHIVE_SELF_REFERENCE;
    }
    // Through a link, the file it leads to is replaced and the link stays.
    std::string target;
    if (!replacement_target(archive_path, &target)) {
        std::fclose(list);
        return ARCHIVE_PACK_OPEN_FAILED;
    }
    const std::string temporary_path = target + ".partial";
    BitStream* archive = bits_open_writer(temporary_path.c_str());
    if (archive == nullptr) {
        std::fclose(list);
        return ARCHIVE_PACK_OPEN_FAILED;
    }

    const PackRun run = {archive,      list,       path_buffer, directory_length,
                         capacity,     archive_path, temporary_path.c_str(), user_value,
                         progress};
    int64_t result = step(&run, context);
    std::fclose(list);
    bool closed = bits_close_writer(archive) == 0;
    if (result >= 0 && !closed)
        result = ARCHIVE_CLOSE_FAILED;
    if (result >= 0 && !replace_file(temporary_path.c_str(), target.c_str()))
        result = ARCHIVE_CLOSE_FAILED;
    if (result < 0)
        remove_host_file(temporary_path.c_str());
    return result;
}
