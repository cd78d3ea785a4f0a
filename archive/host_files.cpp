// host_files.cpp -- what the host layer does the same way on every host: a HostFile's buffering,
// folder separators and file identities. The host's own calls are in host_files_posix.cpp and
// host_files_win32.cpp.

#include "archive/host_files.h"

#include <cstring>

#ifdef __GCC_HAVE_SYNC_COMPARE_AND_SWAP_4
#include <atomic>
#endif

#include "archive/host_handles.h"

// The allocation to refuse (0: none), and those counted. Pack workers allocate on their own
// threads, so the count is atomic; the 386 has no atomic add, and setup.exe, built for it, runs on
// one thread.
static unsigned long refused_allocation = 0;
#ifdef __GCC_HAVE_SYNC_COMPARE_AND_SWAP_4
static std::atomic<unsigned long> allocations_counted(0);
#else
static unsigned long allocations_counted = 0;
#endif

void fail_host_allocation(unsigned long failing)
{
    allocations_counted = 0;
    refused_allocation = failing;
}

unsigned long counted_host_allocations() { return allocations_counted; }

bool host_allocation_refused()
{
    return ++allocations_counted == refused_allocation && refused_allocation != 0;
}

void* host_allocate_zeroed(size_t count, size_t size)
{
    if (size != 0 && count > size_t(-1) / size)
        return nullptr;
    void* block = host_allocate(count * size);
    if (block != nullptr)
        std::memset(block, 0, count * size);
    return block;
}

// The last failure of each kind, and how many were noted. Workers of the parallel pack and the
// pipelined unpack note theirs on their own threads: a lock (spun, held for a copy) keeps each
// record whole. setup.exe, built for the 386, which has no atomic exchange, runs on one thread.
static HostFailure host_failures[HOST_CALLS];
static uint32_t host_failures_noted = 0;
#ifdef __GCC_HAVE_SYNC_COMPARE_AND_SWAP_4
static std::atomic_flag host_failures_busy = ATOMIC_FLAG_INIT;
static void lock_host_failures()
{
    while (host_failures_busy.test_and_set(std::memory_order_acquire)) {
    }
}
static void unlock_host_failures() { host_failures_busy.clear(std::memory_order_release); }
#else
static void lock_host_failures() {}
static void unlock_host_failures() {}
#endif

void note_host_failure(HostCall call, const char* path, uint32_t code)
{
    lock_host_failures();
    HostFailure& failure = host_failures[call];
    failure.call = call;
    failure.code = code;
    failure.order = ++host_failures_noted;
    size_t length = 0;
    for (; path != nullptr && path[length] != '\0' && length + 1 < HOST_PATH_CHARS; length++)
        failure.path[length] = path[length];
    failure.path[length] = '\0';
    unlock_host_failures();
}

void forget_host_failures()
{
    lock_host_failures();
    for (HostFailure& failure : host_failures)
        failure.order = 0;
    unlock_host_failures();
}

bool last_host_failure(HostCall call, HostFailure* failure)
{
    lock_host_failures();
    bool noted = host_failures[call].order != 0;
    if (noted)
        *failure = host_failures[call];
    unlock_host_failures();
    return noted;
}

// The file the tests make give out (fail_host_file_after), and after how many bytes. Read by the
// thread that opens the files, which is the one that set them.
static const char* failing_path = nullptr;
static int64_t failing_after = 0;

void fail_host_file_after(const char* path, int64_t bytes)
{
    failing_path = path;
    failing_after = bytes;
}

bool same_text(const char* a, const char* b)
{
    while (*a != '\0' && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

// How many of `size` bytes the file may still move before the tests' fault stops it: all of them
// for every other file.
static size_t within_fault(const HostFile* file, size_t size)
{
    if (file->fault_left < 0 || static_cast<uint64_t>(file->fault_left) >= size)
        return size;
    return static_cast<size_t>(file->fault_left);
}

// The path's copy lives behind the record, in the same block.
HostFile* new_host_file(intptr_t handle, bool writing, const char* path)
{
    size_t path_bytes = std::strlen(path) + 1;
    HostFile* file = static_cast<HostFile*>(host_allocate(sizeof(HostFile) + path_bytes));
    if (file == nullptr) {
        close_handle(handle);
        return nullptr;
    }
    char* copy = reinterpret_cast<char*>(file + 1);
    std::memcpy(copy, path, path_bytes);
    file->handle = handle;
    file->path = copy;
    file->writing = writing;
    file->failed = false;
    file->next = 0;
    file->end = 0;
    file->fault_left = failing_path != nullptr && same_text(path, failing_path) ? failing_after : -1;
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
    size_t allowed = within_fault(file, size);
    bool faulted = allowed == 0 && size > 0;
    int64_t read = faulted ? -1 : read_handle(file->handle, bytes, allowed);
    if (read > 0 && file->fault_left > 0)
        file->fault_left -= read;
    if (read < 0) {
        file->failed = true;
        note_host_failure(HOST_READ, file->path,
                          faulted ? failing_disk_error(false) : last_host_error());
    }
    return read;
}

// Writes bytes to the host, as many as the tests' fault lets through; false on failure.
static bool write_out(HostFile* file, const uint8_t* bytes, size_t size)
{
    size_t allowed = within_fault(file, size);
    if (file->fault_left >= 0)
        file->fault_left -= static_cast<int64_t>(allowed);
    if (!write_handle(file->handle, bytes, allowed)) {
        note_host_failure(HOST_WRITE, file->path, last_host_error());
        return false;
    }
    if (allowed < size)
        note_host_failure(HOST_WRITE, file->path, failing_disk_error(true));
    return allowed == size;
}

// Writes the bytes held in the buffer; false on failure.
static bool write_held(HostFile* file)
{
    bool written = file->end == 0 || write_out(file, file->buffer, file->end);
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
    bool written = write_out(file, bytes, size);
    if (!written)
        file->failed = true;
    return written;
}

bool flush_host_file(HostFile* file) { return !file->writing || write_held(file); }

bool close_host_file(HostFile* file)
{
    bool ok = flush_host_file(file) && !(file->writing && file->failed);
    if (!close_handle(file->handle)) {
        if (file->writing)
            note_host_failure(HOST_WRITE, file->path, last_host_error());
        ok = false;
    }
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

enum { PARTIAL_NAMES = 100 };

HostFile* create_partial_file(const char* target, char* partial)
{
    size_t length = std::strlen(target);
    for (int n = 1; n < PARTIAL_NAMES; n++) {
        char suffix[16] = ".partial";
        if (n > 1) {
            suffix[8] = n >= 10 ? static_cast<char>('0' + n / 10) : static_cast<char>('0' + n);
            suffix[9] = n >= 10 ? static_cast<char>('0' + n % 10) : '\0';
        }
        size_t suffix_length = std::strlen(suffix);
        if (length + suffix_length >= HOST_PATH_CHARS)
            return nullptr;
        std::memcpy(partial, target, length);
        std::memcpy(partial + length, suffix, suffix_length + 1);
        bool exists = false;
        HostFile* file = create_new_host_file(partial, &exists);
        if (file != nullptr || !exists)
            return file;
    }
    return nullptr;
}

bool finish_partial_file(const char* partial, const char* target, bool written)
{
    if (written && replace_file(partial, target))
        return true;
    remove_host_file(partial);
    return false;
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
