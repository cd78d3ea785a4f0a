// drive_utils.cpp -- file tests and loading, drives, free space, path joining and name order,
// on the ANSI Win32 calls.

#include "install/drive_utils.h"

#include <windows.h>

#include "archive/host_files.h"
#include "common/text.h"

static HANDLE open_for_reading(const char* file_name)
{
    return CreateFileA(file_name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool file_exists(const char* file_name)
{
    HANDLE file = open_for_reading(file_name);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

static void* read_into_block(HANDLE file, DWORD size)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == nullptr)
        return nullptr;
    void* data = GlobalLock(block);
    if (data == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    DWORD read = 0;
    if (!ReadFile(file, data, size, &read, nullptr) || read != size) {
        GlobalUnlock(block);
        GlobalFree(block);
        return nullptr;
    }
    return data;
}

void* load_whole_file(const char* file_name, uint32_t* bytes)
{
    HANDLE file = open_for_reading(file_name);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    void* data = nullptr;
    if (size != INVALID_FILE_SIZE && size != 0 && high == 0)
        data = read_into_block(file, size);
    CloseHandle(file);
    if (data != nullptr && bytes != nullptr)
        *bytes = size;
    return data;
}

void free_whole_file(void* block)
{
    if (block == nullptr)
        return;
    HGLOBAL handle = GlobalHandle(block);
    GlobalUnlock(handle);
    GlobalFree(handle);
}

unsigned drive_type_of(char letter)
{
    char root[4] = {letter, ':', '\\', '\0'};
    return GetDriveTypeA(root);
}

char find_drive_of_type(unsigned drive_type)
{
    for (char letter = 'C'; letter <= 'Z'; letter++) {
        if (drive_type_of(letter) == drive_type)
            return letter;
    }
    return 'C';
}

int64_t free_disk_bytes(const char* path)
{
    char root[256];
    if (!copy_text(root, sizeof root, path))
        return -1;
    for (char* c = root; *c != '\0'; c++) {
        if (is_folder_separator(*c)) {
            c[1] = '\0';  // the root ends after the first separator
            break;
        }
    }
    DWORD sectors_per_cluster, bytes_per_sector, free_clusters, total_clusters;
    if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                           &total_clusters))
        return -1;
    return (int64_t)bytes_per_sector * sectors_per_cluster * free_clusters;
}

int32_t free_disk_space(const char* path)
{
    int64_t bytes = free_disk_bytes(path);
    return bytes > 0x7FFFFFFF ? 0x7FFFFFFF : (int32_t)bytes;
}

bool append_path_component(char* path, size_t capacity, const char* name)
{
    size_t length = strlen(path);
    bool needs_separator = length > 0 && path[length - 1] != '\\' && path[length - 1] != '/';
    size_t name_length = strlen(name);
    // The joined text, its terminator and the second NUL.
    if (length + (needs_separator ? 1 : 0) + name_length + 2 > capacity)
        return false;
    if (needs_separator)
        path[length++] = '\\';
    memcpy(path + length, name, name_length);
    path[length + name_length] = '\0';
    path[length + name_length + 1] = '\0';
    return true;
}

int shorter_name_first(const void* a, const void* b)
{
    size_t first = strlen((const char*)a);
    size_t second = strlen((const char*)b);
    return first < second ? -1 : first > second ? 1 : 0;
}
