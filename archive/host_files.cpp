// host_files.cpp -- folder creation, renames and file identity; the only OS-specific code of the
// archive library.

#include "archive/host_files.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

bool is_folder_separator(char c) { return c == '\\' || c == '/'; }

#ifdef _WIN32

static const char* host_path(const char* path, std::string&) { return path; }

#else

// A copy of the path with "\" turned into "/", held in the caller's string.
static const char* host_path(const char* path, std::string& storage)
{
    storage.assign(path);
    for (char& c : storage) {
        if (c == '\\')
            c = '/';
    }
    return storage.c_str();
}

#endif

FILE* open_host_file(const char* path, const char* mode)
{
    std::string storage;
    return std::fopen(host_path(path, storage), mode);
}

bool remove_host_file(const char* path)
{
    std::string storage;
    return std::remove(host_path(path, storage)) == 0;
}

#ifdef _WIN32

FILE* create_host_file(const char* path) { return std::fopen(path, "wb"); }

bool is_host_link(const char*) { return false; }

bool replacement_target(const char* path, std::string* target)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    target->assign(path);
    return true;
}

bool make_folder(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool is_regular_host_file(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_DEVICE);
}

bool folder_exists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// MoveFileExA is looked up when it is needed rather than imported: the Windows 95 family exports
// it only as a stub that fails with ERROR_CALL_NOT_IMPLEMENTED. There the target is deleted and
// the file moved, which is not atomic but is the best that system offers.
bool replace_file(const char* from, const char* to)
{
    typedef BOOL(WINAPI * MoveFileExFunction)(const char*, const char*, DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    MoveFileExFunction move_file_ex =
        kernel ? reinterpret_cast<MoveFileExFunction>(
                     reinterpret_cast<void (*)()>(GetProcAddress(kernel, "MoveFileExA")))
               : nullptr;
    if (move_file_ex != nullptr) {
        if (move_file_ex(from, to, MOVEFILE_REPLACE_EXISTING))
            return true;
        if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
            return false;
    }
    if (!DeleteFileA(to) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return false;
    return MoveFileA(from, to) != 0;
}

bool get_file_identity(const char* path, FileIdentity* identity)
{
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file = CreateFileA(path, 0, sharing | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    // The Windows 95 family refuses FILE_SHARE_DELETE as an invalid parameter.
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        file = CreateFileA(path, 0, sharing, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                           nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!ok)
        return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return true;
}

#else

FILE* create_host_file(const char* path)
{
    std::string storage;
    const char* host = host_path(path, storage);
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    int file = open(host, flags | O_TRUNC, 0666);
    if (file < 0 && errno == ELOOP && unlink(host) == 0)
        file = open(host, flags | O_EXCL, 0666);
    if (file < 0)
        return nullptr;
    FILE* stream = fdopen(file, "wb");
    if (stream == nullptr)
        close(file);
    return stream;
}

bool is_host_link(const char* path)
{
    std::string storage;
    struct stat info;
    return lstat(host_path(path, storage), &info) == 0 && S_ISLNK(info.st_mode);
}

bool replacement_target(const char* path, std::string* target)
{
    std::string storage;
    const char* host = host_path(path, storage);
    struct stat info;
    target->assign(path);
    if (lstat(host, &info) != 0)
        return true;  // a new file
    if (S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (stat(host, &info) != 0)
            return true;  // a link to nothing is replaced itself
        if (!S_ISREG(info.st_mode) || realpath(host, resolved) == nullptr)
            return false;
        target->assign(resolved);
        return true;
    }
    return S_ISREG(info.st_mode);
}

bool make_folder(const char* path)
{
    std::string storage;
    return mkdir(host_path(path, storage), 0777) == 0;
}

bool is_regular_host_file(const char* path)
{
    std::string storage;
    struct stat info;
    return stat(host_path(path, storage), &info) == 0 && S_ISREG(info.st_mode);
}

bool folder_exists(const char* path)
{
    std::string storage;
    struct stat info;
    return stat(host_path(path, storage), &info) == 0 && S_ISDIR(info.st_mode);
}

bool replace_file(const char* from, const char* to)
{
    std::string from_storage, to_storage;
    return std::rename(host_path(from, from_storage), host_path(to, to_storage)) == 0;
}

bool get_file_identity(const char* path, FileIdentity* identity)
{
    std::string storage;
    struct stat info;
    if (stat(host_path(path, storage), &info) != 0)
        return false;
    identity->volume = static_cast<uint64_t>(info.st_dev);
    identity->index = static_cast<uint64_t>(info.st_ino);
    return true;
}

#endif

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
