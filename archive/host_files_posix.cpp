// host_files_posix.cpp -- the archive library's files, folders, links and memory on a POSIX
// host. A stored path's "\" separators become "/" in a copy made for each call.

#include "archive/host_files.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/host_handles.h"

// The path with "\" turned into "/", in `storage` of HOST_PATH_CHARS; null when it does not fit
// (errno ENAMETOOLONG).
static const char* host_path(const char* path, char* storage)
{
    size_t length = std::strlen(path);
    if (length >= HOST_PATH_CHARS) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    for (size_t i = 0; i <= length; i++)
        storage[i] = path[i] == '\\' ? '/' : path[i];
    return storage;
}

int64_t read_handle(intptr_t handle, uint8_t* bytes, size_t size)
{
    for (;;) {
        ssize_t read_count = read(static_cast<int>(handle), bytes, size);
        if (read_count >= 0)
            return read_count;
        if (errno != EINTR)
            return -1;
    }
}

bool write_handle(intptr_t handle, const uint8_t* bytes, size_t size)
{
    while (size > 0) {
        ssize_t written = write(static_cast<int>(handle), bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool close_handle(intptr_t handle) { return close(static_cast<int>(handle)) == 0; }

uint32_t last_host_error() { return static_cast<uint32_t>(errno); }

uint32_t failing_disk_error(bool) { return EIO; }

// Notes the failure of `call` with `code`, or errno when it is 0; false.
static bool refused(HostCall call, const char* path, int code = 0)
{
    note_host_failure(call, path, static_cast<uint32_t>(code != 0 ? code : errno));
    return false;
}

// Null, with the failure noted as refused() notes it.
static HostFile* failed(HostCall call, const char* path, int code = 0)
{
    refused(call, path, code);
    return nullptr;
}

// What the host says where a file is wanted and something else stands: a folder, or another
// thing that is not replaced (as O_EXCL finds it).
static int refusal_code(const struct stat& info) { return S_ISDIR(info.st_mode) ? EISDIR : EEXIST; }

HostFile* open_host_file(const char* path)
{
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    if (host == nullptr)
        return failed(HOST_OPEN, path);
    int descriptor = open(host, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return failed(HOST_OPEN, path);
    // A folder opens for reading here, but is no file to read.
    struct stat info;
    int code = fstat(descriptor, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
    if (code != 0) {
        close(descriptor);
        return failed(HOST_OPEN, path, code);
    }
    return new_host_file(descriptor, false, path);
}

HostFile* create_host_file(const char* path)
{
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    if (host == nullptr)
        return failed(HOST_CREATE, path);
    int descriptor = open(host, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return descriptor < 0 ? failed(HOST_CREATE, path) : new_host_file(descriptor, true, path);
}

// Only a file or a link is removed: a pipe, a socket or a device stays, and is refused.
HostFile* create_unlinked_host_file(const char* path)
{
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    if (host == nullptr)
        return failed(HOST_CREATE, path);
    struct stat info;
    if (lstat(host, &info) == 0) {
        if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
            return failed(HOST_CREATE, path, refusal_code(info));
        if (unlink(host) != 0)
            return failed(HOST_CREATE, path);
    }
    bool exists = false;
    return create_new_host_file(path, &exists);
}

HostFile* create_new_host_file(const char* path, bool* exists)
{
    *exists = false;
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    if (host == nullptr)
        return failed(HOST_CREATE, path);
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int descriptor = open(host, flags, 0666);
    if (descriptor < 0) {
        *exists = errno == EEXIST;
        return failed(HOST_CREATE, path);
    }
    HostFile* file = new_host_file(descriptor, true, path);
    if (file == nullptr)
        unlink(host);  // made just now, and given to nobody
    return file;
}

int64_t host_file_size(HostFile* file)
{
    struct stat info;
    if (fstat(static_cast<int>(file->handle), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return static_cast<int64_t>(info.st_size);
}

bool read_host_file_at(HostFile* file, int64_t offset, uint8_t* bytes, size_t size)
{
    while (size > 0) {
        ssize_t read_count = pread(static_cast<int>(file->handle), bytes, size, offset);
        if (read_count < 0 && errno == EINTR)
            continue;
        if (read_count <= 0)
            return false;
        bytes += read_count;
        size -= static_cast<size_t>(read_count);
        offset += read_count;
    }
    return true;
}

bool is_host_link(const char* path)
{
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    struct stat info;
    return host != nullptr && lstat(host, &info) == 0 && S_ISLNK(info.st_mode);
}

bool is_regular_host_file(const char* path)
{
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    struct stat info;
    return host != nullptr && stat(host, &info) == 0 && S_ISREG(info.st_mode);
}

// Copies `text` into `target`; false when it does not fit.
static bool copy_path(const char* text, char* target, size_t capacity)
{
    size_t length = std::strlen(text);
    if (length >= capacity)
        return false;
    std::memcpy(target, text, length + 1);
    return true;
}

// A refusal is noted as a failure to create `path`.
bool replacement_target(const char* path, char* target, size_t capacity)
{
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    if (host == nullptr)
        return refused(HOST_CREATE, path);
    struct stat info;
    if (lstat(host, &info) != 0)
        return copy_path(path, target, capacity);  // a new file
    if (S_ISLNK(info.st_mode)) {
        if (stat(host, &info) != 0)
            return copy_path(path, target, capacity);  // a link to nothing is replaced itself
        char resolved[PATH_MAX];
        if (!S_ISREG(info.st_mode))
            return refused(HOST_CREATE, path, refusal_code(info));
        if (realpath(host, resolved) == nullptr)
            return refused(HOST_CREATE, path);
        return copy_path(resolved, target, capacity);
    }
    if (!S_ISREG(info.st_mode))
        return refused(HOST_CREATE, path, refusal_code(info));
    return copy_path(path, target, capacity);
}

bool make_folder(const char* path)
{
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    return (host != nullptr && mkdir(host, 0777) == 0) || refused(HOST_MAKE_FOLDER, path);
}

bool folder_exists(const char* path)
{
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    struct stat info;
    return host != nullptr && stat(host, &info) == 0 && S_ISDIR(info.st_mode);
}

bool replace_file(const char* from, const char* to)
{
    char from_storage[HOST_PATH_CHARS], to_storage[HOST_PATH_CHARS];
    const char* host_from = host_path(from, from_storage);
    const char* host_to = host_path(to, to_storage);
    return host_from != nullptr && host_to != nullptr && std::rename(host_from, host_to) == 0;
}

bool remove_host_file(const char* path)
{
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    return host != nullptr && unlink(host) == 0;
}

bool get_file_identity(const char* path, FileIdentity* identity)
{
    char storage[HOST_PATH_CHARS];
    const char* host = host_path(path, storage);
    struct stat info;
    if (host == nullptr || stat(host, &info) != 0)
        return false;
    identity->volume = static_cast<uint64_t>(info.st_dev);
    identity->index = static_cast<uint64_t>(info.st_ino);
    return true;
}

void* host_allocate(size_t size)
{
    void* block = host_allocation_refused() ? nullptr : std::malloc(size);
    if (block == nullptr)
        note_host_failure(HOST_ALLOCATE, nullptr, ENOMEM);
    return block;
}

void host_release(void* block) { std::free(block); }

void host_failure_reason(const HostFailure& failure, char* text, size_t capacity)
{
    if (capacity == 0)
        return;
    std::snprintf(text, capacity, "%s", std::strerror(static_cast<int>(failure.code)));
}

char host_folder_separator() { return '/'; }

void fail_writes_to_broken_pipes() { std::signal(SIGPIPE, SIG_IGN); }
