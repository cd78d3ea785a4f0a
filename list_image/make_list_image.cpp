// make_list_image.cpp -- makes ".install" list images from file lists.

#include "list_image/make_list_image.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

// Reads one line without its line end (LF or CR LF) into `line`. False at the end of the file.
static bool read_line(FILE* file, std::string* line, bool* failed)
{
    line->clear();
    int c;
    while ((c = std::getc(file)) != EOF && c != '\n')
        line->push_back((char)c);
    if (c == EOF && std::ferror(file))
        *failed = true;
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return c != EOF || !line->empty();
}

// A name that unpack_archive extracts under exactly this spelling and that stays inside the
// destination folder.
static bool is_acceptable_name(const std::string& name)
{
    if (!is_safe_entry_name(name.c_str()))
        return false;
    std::vector<char> collapsed(name.begin(), name.end());
    collapsed.push_back('\0');
    collapse_whitespace(collapsed.data(), ' ');
    return name == collapsed.data();
}

// Byte size of `path`, counted by reading it; -1 when it cannot be opened, and LIST_MAX_SIZE + 1
// once it grows past what an image can hold.
static int64_t size_of_file(const char* path)
{
    FILE* file = open_host_file(path, "rb");
    if (file == nullptr)
        return -1;
    static uint8_t chunk[65536];
    int64_t total = 0;
    size_t n;
    while (total <= LIST_MAX_SIZE && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        total += (int64_t)n;
    std::fclose(file);
    return total;
}

static bool write_whole_file(const char* path, const std::vector<uint8_t>& bytes)
{
    std::string partial = std::string(path) + ".partial";
    FILE* file = open_host_file(partial.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    if (written && replace_file(partial.c_str(), path))
        return true;
    remove_host_file(partial.c_str());
    return false;
}

static void note_line(ListImageReport* report, int32_t line, const std::string& name)
{
    report->line = line;
    size_t length = name.size() < (size_t)LIST_NAME_BYTES ? name.size() : (size_t)LIST_NAME_BYTES;
    std::memcpy(report->name, name.data(), length);
    report->name[length] = '\0';
}

ListImageResult make_list_image(const char* list_path, const char* source_folder,
                                const char* image_path, ListImageReport* report,
                                MissingFileCallback on_missing, void* user)
{
    std::memset(report, 0, sizeof *report);
    FILE* list = open_host_file(list_path, "rb");
    if (list == nullptr)
        return LIST_IMAGE_LIST_UNREADABLE;

    std::vector<uint8_t> image(LIST_HEADER_BYTES, 0);
    std::string name;
    bool failed = false;
    int32_t blank_line = 0;
    int64_t total = 0;
    ListImageResult result = LIST_IMAGE_OK;
    for (int32_t line = 1; result == LIST_IMAGE_OK && read_line(list, &name, &failed); line++) {
        if (name.empty()) {
            if (blank_line == 0)
                blank_line = line;
            continue;
        }
        note_line(report, line, name);
        if (blank_line != 0) {
            report->line = blank_line;
            report->name[0] = '\0';
            result = LIST_IMAGE_BAD_NAME;
        } else if (name.size() >= LIST_NAME_BYTES) {
            result = LIST_IMAGE_NAME_TOO_LONG;
        } else if (!is_acceptable_name(name)) {
            result = LIST_IMAGE_BAD_NAME;
        } else if (report->count == INT32_MAX / LIST_ENTRY_BYTES) {
            result = LIST_IMAGE_TOO_MANY;
        } else {
            uint8_t entry[LIST_ENTRY_BYTES] = {};
            std::memcpy(entry, name.data(), name.size());
            int64_t size = size_of_file((std::string(source_folder) + name).c_str());
            if (size < 0) {
                report->missing_files++;
                if (on_missing != nullptr)
                    on_missing(name.c_str(), user);
                size = 0;
            }
            total += size;
            if (size > LIST_MAX_SIZE || total > LIST_MAX_SIZE)
                result = LIST_IMAGE_FILE_TOO_LARGE;
            write_le32(entry + LIST_ENTRY_SIZE_OFFSET, (int32_t)size);
            image.insert(image.end(), entry, entry + LIST_ENTRY_BYTES);
            report->count++;
        }
    }
    std::fclose(list);
    if (result != LIST_IMAGE_OK)
        return result;
    if (failed)
        return LIST_IMAGE_LIST_UNREADABLE;

    report->total_size = total;
    write_le32(image.data() + LIST_COUNT_OFFSET, report->count);
    write_le32(image.data() + LIST_TOTAL_SIZE_OFFSET, (int32_t)total);
    return write_whole_file(image_path, image) ? LIST_IMAGE_OK : LIST_IMAGE_WRITE_FAILED;
}
