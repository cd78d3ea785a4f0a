// host_files.cpp -- what the host layer does the same way on every host: a HostFile's buffering,
// folder separators and file identities. The host's own calls are in host_files_posix.cpp and
// host_files_win32.cpp.

#include "archive/host_files.h"

#include <cstring>

#include "archive/host_handles.h"

HostFile* new_host_file(intptr_t handle, bool writing)
{
    HostFile* file = static_cast<HostFile*>(host_allocate(sizeof(HostFile)));
    if (file == nullptr) {
        close_handle(handle);
        return nullptr;
    }
    file->handle = handle;
    file->writing = writing;
    file->failed = false;
    file->next = 0;
    file->end = 0;
    return file;
}

int64_t read_host_file(HostFile* file, uint8_t* bytes, size_t size)
{
    if (file->next < file->end) {
        size_t held = file->end - file->next;
        size_t count = held < size ? held : size;
        std::memcpy(bytes, file->buffer + file->next, count);
        file->next += count;
        return static_cast<int64_t>(count);
    }
    int64_t read = read_handle(file->handle, bytes, size);
    if (read < 0)
        file->failed = true;
    return read;
}

// Writes the bytes held in the buffer; false on failure.
static bool write_held(HostFile* file)
{
    bool written = file->end == 0 || write_handle(file->handle, file->buffer, file->end);
    file->end = 0;
    if (!written)
        file->failed = true;
    return written;
}

bool write_host_file(HostFile* file, const uint8_t* bytes, size_t size)
{
    if (file->end + size <= HOST_FILE_BUFFER_BYTES) {
        std::memcpy(file->buffer + file->end, bytes, size);
        file->end += size;
        return !file->failed;
    }
    if (!write_held(file))
        return false;
    if (size < HOST_FILE_BUFFER_BYTES)
        return write_host_file(file, bytes, size);
    bool written = write_handle(file->handle, bytes, size);
    if (!written)
        file->failed = true;
    return written;
}

bool flush_host_file(HostFile* file) { return !file->writing || write_held(file); }

bool close_host_file(HostFile* file)
{
    bool ok = flush_host_file(file) && !(file->writing && file->failed);
    if (!close_handle(file->handle))
        ok = false;
    host_release(file);
    return ok;
}

bool is_folder_separator(char c) { return c == '\\' || c == '/'; }

// A name without colons whose base (up to its first dot, without the blanks at its end) is a
// device's.
static bool is_device_base(const char* begin, const char* end)
{
    const char* base_end = begin;
    while (base_end < end && *base_end != '.')
        base_end++;
    while (base_end > begin && base_end[-1] == ' ')
        base_end--;
    size_t length = static_cast<size_t>(base_end - begin);
    if (length < 3 || length > 7)
        return false;
    char base[8] = {};
    for (size_t i = 0; i < length; i++)
        base[i] = begin[i] >= 'A' && begin[i] <= 'Z' ? static_cast<char>(begin[i] + 32) : begin[i];
    static const char names[][8] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* name : names) {
        if (std::strlen(name) == length && std::memcmp(base, name, length) == 0)
            return true;
    }
    return length == 4 && (std::memcmp(base, "com", 3) == 0 || std::memcmp(base, "lpt", 3) == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

bool is_windows_device_name(const char* begin, const char* end)
{
    for (;;) {
        const char* colon = begin;
        while (colon < end && *colon != ':')
            colon++;
        if (is_device_base(begin, colon))
            return true;
        if (colon == end)
            return false;
        begin = colon + 1;
    }
}

// A volume may report file number 0 for every file: then nothing can be told apart.
bool same_file_identity(const FileIdentity& a, const FileIdentity& b)
{
    return a.index != 0 && a.volume == b.volume && a.index == b.index;
}

bool same_existing_file(const char* a, const char* b)
{
    FileIdentity ia, ib;
    return get_file_identity(a, &ia) && get_file_identity(b, &ib) && same_file_identity(ia, ib);
}

bool append_to_block(GrowingBlock* block, const void* bytes, size_t size)
{
    if (block->used + size > block->capacity) {
        size_t capacity = block->capacity * 2 + size + 1024;
        uint8_t* grown = static_cast<uint8_t*>(host_allocate(capacity));
        if (grown == nullptr)
            return false;
        if (block->used > 0)
            std::memcpy(grown, block->bytes, block->used);
        host_release(block->bytes);
        block->bytes = grown;
        block->capacity = capacity;
    }
    std::memcpy(block->bytes + block->used, bytes, size);
    block->used += size;
    return true;
}
