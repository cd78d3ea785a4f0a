// entry_sums.cpp -- reading and checking a medium's sums file, through the archive library's host
// layer.

#include "install/entry_sums.h"

#include <windows.h>

#include "archive/host_files.h"

// The longest line a list entry can have: 8 hex digits, 10 digits, 255 characters of name, two
// blanks and CR LF.
enum { SUMS_LINE_BYTES = 8 + 1 + 10 + 1 + 255 + 2 };

// The whole file at `path`, ended by a 0, in `*text`; false when it cannot be read or holds more
// than `limit` bytes.
static bool read_text(const char* path, size_t limit, char** text)
{
    HostFile* file = open_host_file(path);
    if (file == nullptr)
        return false;
    GrowingBlock block = {};
    uint8_t chunk[4096];
    int64_t read;
    bool ok = true;
    while (ok && (read = read_host_file(file, chunk, sizeof chunk)) > 0)
        ok = block.used + size_t(read) <= limit && append_to_block(&block, chunk, size_t(read));
    ok = ok && !file->failed && append_to_block(&block, "", 1);
    close_host_file(file);
    if (!ok) {
        host_release(block.bytes);
        return false;
    }
    *text = reinterpret_cast<char*>(block.bytes);
    return true;
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Reads one line "CRC SIZE NAME" at `*line` into `*sum`, ends its name with a 0 and moves `*line`
// behind its line end; false when the line is not in that form.
static bool read_sum_line(char** line, EntrySum* sum)
{
    char* p = *line;
    sum->crc = 0;
    for (int i = 0; i < 8; i++) {
        int digit = hex_digit(p[i]);
        if (digit < 0)
            return false;
        sum->crc = sum->crc << 4 | uint32_t(digit);
    }
    p += 8;
    if (*p++ != ' ')
        return false;
    sum->size = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 10; p++, digits++)
        sum->size = sum->size * 10 + (*p - '0');
    if (digits == 0 || *p++ != ' ')
        return false;
    sum->name = p;
    while (*p != '\0' && *p != '\r' && *p != '\n')
        p++;
    if (p == sum->name)
        return false;
    if (p[0] == '\r' && p[1] == '\n')
        *p++ = '\0';
    if (*p == '\n')
        *p++ = '\0';
    else if (*p != '\0')
        return false;  // a CR alone
    *line = p;
    return true;
}

SumsRead read_entry_sums(const char* path, int32_t entry_count, EntrySums* sums,
                         int32_t* bad_line)
{
    *sums = EntrySums{};
    *bad_line = 0;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES &&
        (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND))
        return SUMS_ABSENT;
    EntrySums read = {};
    size_t rows = entry_count < 0 ? 0 : size_t(entry_count) + 1;
    read.entries = static_cast<EntrySum*>(host_allocate(rows * sizeof(EntrySum)));
    if (rows == 0 || read.entries == nullptr ||
        !read_text(path, rows * SUMS_LINE_BYTES, &read.text)) {
        *bad_line = 1;
        free_entry_sums(&read);
        return SUMS_MALFORMED;
    }
    char* line = read.text;
    while (*line != '\0') {
        if (read.count == entry_count || !read_sum_line(&line, &read.entries[read.count])) {
            *bad_line = read.count + 1;
            free_entry_sums(&read);
            return SUMS_MALFORMED;
        }
        read.count++;
    }
    if (read.count != entry_count) {
        *bad_line = read.count + 1;
        free_entry_sums(&read);
        return SUMS_MALFORMED;
    }
    *sums = read;
    return SUMS_READ;
}

void free_entry_sums(EntrySums* sums)
{
    host_release(sums->text);
    host_release(sums->entries);
    *sums = EntrySums{};
}
