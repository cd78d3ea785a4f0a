// host_files.cpp -- folder creation, renames and file identity; the only OS-specific code of the
// archive library.

#include "archive/host_files.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

bool is_folder_separator(char c) { return c == '\\'; }

static const char* host_path(const char* path, std::string&) { return path; }

#else

bool is_folder_separator(char c) { return c == '\\' || c == '/'; }

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

bool make_folder(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool folder_exists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool replace_file(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

// Volume serial number and file index of an existing file; false if it cannot be opened.
static bool file_identity(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return ok;
}

bool same_existing_file(const char* a, const char* b)
{
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (!file_identity(a, &ia) || !file_identity(b, &ib))
        return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

#else

bool make_folder(const char* path)
{
    std::string storage;
    return mkdir(host_path(path, storage), 0777) == 0;
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

bool same_existing_file(const char* a, const char* b)
{
    std::string a_storage, b_storage;
    struct stat sa, sb;
    if (stat(host_path(a, a_storage), &sa) != 0 || stat(host_path(b, b_storage), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

#endif
