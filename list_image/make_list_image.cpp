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

// A line that unpack_archive reads as the end of the list: empty, or blanks alone.
static bool is_blank_line(const ListLineText& line)
{
    if (line.length >= sizeof line.text)
        return false;
    for (size_t i = 0; i < line.length; i++) {
        char c = line.text[i];
        if (c != ' ' && (c < 0x09 || c > 0x0D))
            return false;
    }
    return true;
}

// A name that unpack_archive extracts under exactly this spelling, that stays inside the
// destination folder and that setup can install under its default destination: read as a list
// line, it must come out unchanged.
static bool is_acceptable_name(const ListLineText& name, int options, NameProblem* problem)
{
    if (name.length >= LIST_NAME_BYTES) {
        *problem = NAME_TOO_LONG_TO_INSTALL;
        return false;
    }
    NameCharacters characters =
        (options & LIST_IMAGE_CODE_PAGE_NAMES) != 0 ? NAMES_CODE_PAGE : NAMES_PRINTABLE_ASCII;
    *problem = installable_name_problem(name.text, std::strlen(DEFAULT_INSTALL_WORKING_PATH),
                                        characters);
    if (*problem != NAME_OK)
        return false;
    char collapsed[LIST_NAME_BYTES + 1];
    std::memcpy(collapsed, name.text, name.length + 1);
    collapse_whitespace(collapsed, ' ');
    return std::memcmp(collapsed, name.text, name.length + 1) == 0;
}

// A hash of the name as Windows compares names (ASCII letters in one case, "/" as "\"): names
// that same_installed_name takes for one give one hash.
static uint32_t folded_name_hash(const char* name)
{
    uint32_t hash = 2166136261u;
    for (; *name != '\0'; name++) {
        char c = is_folder_separator(*name) ? '\\' : *name;
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    }
    return hash;
}

// The 0-based index of the entry of `image` that Windows takes for `name`, or -1. `hashes`
// holds the folded_name_hash of each entry, in order.
static int32_t earlier_entry_named(const GrowingBlock& image, const GrowingBlock& hashes,
                                   const char* name, uint32_t hash)
{
    const uint32_t* known = reinterpret_cast<const uint32_t*>(hashes.bytes);
    size_t count = hashes.used / sizeof hash;
    for (size_t i = 0; i < count; i++) {
        const char* entry =
            reinterpret_cast<const char*>(image.bytes + LIST_HEADER_BYTES + i * LIST_ENTRY_BYTES);
        if (known[i] == hash && same_installed_name(entry, name))
            return static_cast<int32_t>(i);
    }
    return -1;
}

enum { SIZE_MISSING = -1, SIZE_UNREADABLE = -2, SIZE_FOLDER = -3 };

// Byte size of `path`, counted by reading it; SIZE_MISSING when nothing is there, SIZE_FOLDER
// for a folder, SIZE_UNREADABLE when a file is there but cannot be opened (memory short, no
// right to read), and LIST_MAX_SIZE + 1 once it grows past what an image can hold.
static int64_t size_of_file(const char* path)
{
    HostFile* file = open_host_file(path);
    if (file == nullptr) {
        if (is_regular_host_file(path))
            return SIZE_UNREADABLE;
        return folder_exists(path) ? SIZE_FOLDER : SIZE_MISSING;
    }
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

// The size of the listed file `name` under `source_folder`, or one of the SIZE_ codes.
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

// The image being made, and what the entries so far need to be checked against.
struct ImageInProgress {
    GrowingBlock image;   // the header, then one entry per name
    GrowingBlock hashes;  // folded_name_hash of each entry
    int64_t total;
    int options;
};

// Checks the line's name and appends its entry, with the size of its file. LIST_IMAGE_OK or the
// failure the line causes.
static ListImageResult add_entry(ImageInProgress* made, const ListLineText& name,
                                 const char* source_folder, ListImageReport* report,
                                 MissingFileCallback on_missing, void* user)
{
    if (!is_acceptable_name(name, made->options, &report->name_problem))
        return LIST_IMAGE_BAD_NAME;
    uint32_t hash = folded_name_hash(name.text);
    int32_t earlier = earlier_entry_named(made->image, made->hashes, name.text, hash);
    if (earlier >= 0) {
        report->other_line = earlier + 1;  // every line before the first blank one is an entry
        return LIST_IMAGE_NAMED_TWICE;
    }
    if (report->count == INT32_MAX / LIST_ENTRY_BYTES)
        return LIST_IMAGE_TOO_MANY;
    uint8_t entry[LIST_ENTRY_BYTES] = {};
    std::memcpy(entry, name.text, name.length);
    int64_t size = size_in_folder(source_folder, name.text);
    if (size == SIZE_UNREADABLE)
        return LIST_IMAGE_FILE_UNREADABLE;
    if (size == SIZE_FOLDER)
        return LIST_IMAGE_FOLDER;
    if (size < 0) {
        report->missing_files++;
        if (on_missing != nullptr)
            on_missing(name.text, user);
        size = 0;
    }
    made->total += size;
    if (size > LIST_MAX_SIZE || made->total > LIST_MAX_SIZE)
        return LIST_IMAGE_FILE_TOO_LARGE;
    write_le32(entry + LIST_ENTRY_SIZE_OFFSET, (int32_t)size);
    if (!append_to_block(&made->image, entry, LIST_ENTRY_BYTES) ||
        !append_to_block(&made->hashes, &hash, sizeof hash))
        return LIST_IMAGE_WRITE_FAILED;
    report->count++;
    return LIST_IMAGE_OK;
}

// Reads the list and builds the image's entries behind its header.
static ListImageResult read_entries(HostFile* list, const char* source_folder,
                                    ImageInProgress* made, ListImageReport* report,
                                    MissingFileCallback on_missing, void* user)
{
    ListLineText name;
    bool failed = false;
    int32_t blank_line = 0;
    ListImageResult result = LIST_IMAGE_OK;
    for (int32_t line = 1; result == LIST_IMAGE_OK && read_line(list, &name, &failed); line++) {
        if (is_blank_line(name)) {
            if (blank_line == 0)
                blank_line = line;
            continue;
        }
        note_line(report, line, name);
        if (blank_line != 0) {
            report->other_line = blank_line;
            result = LIST_IMAGE_AFTER_BLANK_LINE;
        } else {
            result = add_entry(made, name, source_folder, report, on_missing, user);
        }
    }
    if (result == LIST_IMAGE_OK && failed)
        result = LIST_IMAGE_LIST_UNREADABLE;
    report->total_size = made->total;
    return result;
}

ListImageResult make_list_image(const char* list_path, const char* source_folder,
                                const char* image_path, ListImageReport* report,
                                MissingFileCallback on_missing, void* user, int options)
{
    std::memset(report, 0, sizeof *report);
    HostFile* list = open_host_file(list_path);
    if (list == nullptr)
        return LIST_IMAGE_LIST_UNREADABLE;
    ImageInProgress made = {};
    made.options = options;
    const uint8_t header[LIST_HEADER_BYTES] = {};
    ListImageResult result = append_to_block(&made.image, header, sizeof header)
                                 ? read_entries(list, source_folder, &made, report, on_missing,
                                                user)
                                 : LIST_IMAGE_WRITE_FAILED;
    close_host_file(list);
    if (result == LIST_IMAGE_OK && report->missing_files > 0 &&
        (options & LIST_IMAGE_ONLY_COMPLETE) != 0)
        result = LIST_IMAGE_FILES_MISSING;
    if (result == LIST_IMAGE_OK) {
        write_le32(made.image.bytes + LIST_COUNT_OFFSET, report->count);
        write_le32(made.image.bytes + LIST_TOTAL_SIZE_OFFSET, (int32_t)report->total_size);
        if (!write_whole_file(image_path, made.image))
            result = LIST_IMAGE_WRITE_FAILED;
    }
    host_release(made.image.bytes);
    host_release(made.hashes.bytes);
    return result;
}
