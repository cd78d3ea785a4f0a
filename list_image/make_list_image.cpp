// make_list_image.cpp -- makes ".install" list images from file lists.

#include "list_image/make_list_image.h"

#include <cstring>

#include "archive/file_list.h"
#include "archive/host_files.h"

static void write_le32(uint8_t* bytes, int32_t value)
{
    uint32_t bits = (uint32_t)value;
    for (int i = 0; i < 4; i++)
        bytes[i] = (uint8_t)(bits >> (8 * i));
}

bool list_image_name(const char* list_path, char* dest, size_t capacity)
{
    size_t length = std::strlen(list_path);
    size_t stem = length;
    for (size_t i = length; i > 0; i--) {
        char c = list_path[i - 1];
        if (is_folder_separator(c))
            break;
        if (c == '.') {
            stem = i - 1;
            break;
        }
    }
    static const char suffix[] = ".install";
    if (stem + sizeof suffix > capacity)
        return false;
    std::memcpy(dest, list_path, stem);
    std::memcpy(dest + stem, suffix, sizeof suffix);
    return true;
}

// One line of the list, without its line end (LF or CR LF): its first LIST_NAME_BYTES characters
// and its whole length.
struct ListLineText {
    char text[LIST_NAME_BYTES + 1];
    size_t length;
};

// Reads the next line into `line`. False at the end of the file; `*failed` set when the file
// could not be read.
static bool read_line(HostFile* file, ListLineText* line, bool* failed)
{
    size_t line_bytes = 0;
    bool read = read_list_line(file, line->text, sizeof line->text, &line->length, &line_bytes);
    if (file->failed)
        *failed = true;
    return read;
}

// A name that unpack_archive extracts under exactly this spelling and that stays inside the
// destination folder: read as a list line, it must come out unchanged.
static bool is_acceptable_name(const ListLineText& name, NameProblem* problem)
{
    *problem = entry_name_problem(name.text);
    if (*problem != NAME_OK)
        return false;
    char collapsed[LIST_NAME_BYTES + 1];
    std::memcpy(collapsed, name.text, name.length + 1);
    collapse_whitespace(collapsed, ' ');
    return std::memcmp(collapsed, name.text, name.length + 1) == 0;
}

enum { SIZE_MISSING = -1, SIZE_UNREADABLE = -2 };

// Byte size of `path`, counted by reading it; SIZE_MISSING when no file is there, SIZE_UNREADABLE
// when one is but cannot be opened (memory short, no right to read), and LIST_MAX_SIZE + 1 once it
// grows past what an image can hold.
static int64_t size_of_file(const char* path)
{
    HostFile* file = open_host_file(path);
    if (file == nullptr)
        return is_regular_host_file(path) ? SIZE_UNREADABLE : SIZE_MISSING;
    static uint8_t chunk[65536];
    int64_t total = 0;
    int64_t n;
    while (total <= LIST_MAX_SIZE && (n = read_host_file(file, chunk, sizeof chunk)) > 0)
        total += n;
    close_host_file(file);
    return total;
}

// Writes the image to a partial file and puts it in place of `path` when all of it was written.
static bool write_whole_file(const char* path, const GrowingBlock& image)
{
    char partial[HOST_PATH_CHARS];
    HostFile* file = create_partial_file(path, partial);
    if (file == nullptr)
        return false;
    bool written = write_host_file(file, image.bytes, image.used);
    written = close_host_file(file) && written;
    return finish_partial_file(partial, path, written);
}

static void note_line(ListImageReport* report, int32_t line, const ListLineText& name)
{
    report->line = line;
    size_t length = name.length < (size_t)LIST_NAME_BYTES ? name.length : (size_t)LIST_NAME_BYTES;
    std::memcpy(report->name, name.text, length);
    report->name[length] = '\0';
}

// The size of the listed file `name` under `source_folder`, or SIZE_MISSING or SIZE_UNREADABLE.
static int64_t size_in_folder(const char* source_folder, const char* name)
{
    char path[HOST_PATH_CHARS];
    size_t folder_length = std::strlen(source_folder), name_length = std::strlen(name);
    if (folder_length + name_length >= sizeof path)
        return SIZE_MISSING;
    std::memcpy(path, source_folder, folder_length);
    std::memcpy(path + folder_length, name, name_length + 1);
    return size_of_file(path);
}

// Checks the line's name and appends its entry, with the size of its file. LIST_IMAGE_OK or the
// failure the line causes.
static ListImageResult add_entry(GrowingBlock* image, const ListLineText& name,
                                 const char* source_folder, ListImageReport* report,
                                 int64_t* total, MissingFileCallback on_missing, void* user)
{
    if (name.length >= LIST_NAME_BYTES)
        return LIST_IMAGE_NAME_TOO_LONG;
    if (!is_acceptable_name(name, &report->name_problem))
        return LIST_IMAGE_BAD_NAME;
    if (report->count == INT32_MAX / LIST_ENTRY_BYTES)
        return LIST_IMAGE_TOO_MANY;
    uint8_t entry[LIST_ENTRY_BYTES] = {};
    std::memcpy(entry, name.text, name.length);
    int64_t size = size_in_folder(source_folder, name.text);
    if (size == SIZE_UNREADABLE)
        return LIST_IMAGE_FILE_UNREADABLE;
    if (size < 0) {
        report->missing_files++;
        if (on_missing != nullptr)
            on_missing(name.text, user);
        size = 0;
    }
    *total += size;
    if (size > LIST_MAX_SIZE || *total > LIST_MAX_SIZE)
        return LIST_IMAGE_FILE_TOO_LARGE;
    write_le32(entry + LIST_ENTRY_SIZE_OFFSET, (int32_t)size);
    if (!append_to_block(image, entry, LIST_ENTRY_BYTES))
        return LIST_IMAGE_WRITE_FAILED;
    report->count++;
    return LIST_IMAGE_OK;
}

// Reads the list and builds the image's entries behind its header.
static ListImageResult read_entries(HostFile* list, const char* source_folder, GrowingBlock* image,
                                    ListImageReport* report, MissingFileCallback on_missing,
                                    void* user)
{
    ListLineText name;
    bool failed = false;
    int32_t blank_line = 0;
    int64_t total = 0;
    ListImageResult result = LIST_IMAGE_OK;
    for (int32_t line = 1; result == LIST_IMAGE_OK && read_line(list, &name, &failed); line++) {
        if (name.length == 0) {
            if (blank_line == 0)
                blank_line = line;
            continue;
        }
        note_line(report, line, name);
        if (blank_line != 0) {
            report->line = blank_line;
            report->name[0] = '\0';
            result = LIST_IMAGE_BAD_NAME;
        } else {
            result = add_entry(image, name, source_folder, report, &total, on_missing, user);
        }
    }
    if (result == LIST_IMAGE_OK && failed)
        result = LIST_IMAGE_LIST_UNREADABLE;
    report->total_size = total;
    return result;
}

ListImageResult make_list_image(const char* list_path, const char* source_folder,
                                const char* image_path, ListImageReport* report,
                                MissingFileCallback on_missing, void* user)
{
    std::memset(report, 0, sizeof *report);
    HostFile* list = open_host_file(list_path);
    if (list == nullptr)
        return LIST_IMAGE_LIST_UNREADABLE;
    GrowingBlock image = {};
    const uint8_t header[LIST_HEADER_BYTES] = {};
    ListImageResult result = append_to_block(&image, header, sizeof header)
                                 ? read_entries(list, source_folder, &image, report, on_missing,
                                                user)
                                 : LIST_IMAGE_WRITE_FAILED;
    close_host_file(list);
    if (result == LIST_IMAGE_OK) {
        write_le32(image.bytes + LIST_COUNT_OFFSET, report->count);
        write_le32(image.bytes + LIST_TOTAL_SIZE_OFFSET, (int32_t)report->total_size);
        if (!write_whole_file(image_path, image))
            result = LIST_IMAGE_WRITE_FAILED;
    }
    host_release(image.bytes);
    return result;
}
