// host_files_win32.cpp -- the archive library's files, folders and memory through the Win32 API
// (ANSI calls, as on the Windows 95 family): no C runtime is needed for them.

#include "archive/host_files.h"

#include <windows.h>

#include "archive/host_handles.h"

// ReadFile and WriteFile take at most a DWORD at a time.
static DWORD chunk_of(size_t size) { return size > 0x40000000u ? 0x40000000u : DWORD(size); }

int64_t read_handle(intptr_t handle, uint8_t* bytes, size_t size)
{
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle), bytes, chunk_of(size), &read, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;  // a pipe whose writer has gone
    return static_cast<int64_t>(read);
}

bool write_handle(intptr_t handle, const uint8_t* bytes, size_t size)
{
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle), bytes, chunk_of(size), &written,
                       nullptr) ||
            written == 0)
            return false;
        bytes += written;
        size -= written;
    }
    return true;
}

bool close_handle(intptr_t handle) { return CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0; }

HostFile* open_host_file(const char* path)
{
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return new_host_file(reinterpret_cast<intptr_t>(handle), false);
}

HostFile* create_host_file(const char* path)
{
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return new_host_file(reinterpret_cast<intptr_t>(handle), true);
}

// The library meets no links on Windows.
HostFile* create_unlinked_host_file(const char* path) { return create_host_file(path); }

int64_t host_file_size(HostFile* file)
{
    HANDLE handle = reinterpret_cast<HANDLE>(file->handle);
    if (GetFileType(handle) != FILE_TYPE_DISK)
        return -1;
    DWORD high = 0;
    DWORD low = GetFileSize(handle, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return -1;
    return static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
}

// Moves the file's position to `offset`; false on failure.
static bool seek_handle(HANDLE handle, int64_t offset)
{
    LONG high = static_cast<LONG>(offset >> 32);
    DWORD low = SetFilePointer(handle, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

// The position is taken and put back: the 95 family has no positioned reads.
bool read_host_file_at(HostFile* file, int64_t offset, uint8_t* bytes, size_t size)
{
    HANDLE handle = reinterpret_cast<HANDLE>(file->handle);
    LONG high = 0;
    DWORD low = SetFilePointer(handle, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return false;
    int64_t position = static_cast<int64_t>(static_cast<uint64_t>(DWORD(high)) << 32 | low);
    bool ok = seek_handle(handle, offset);
    while (ok && size > 0) {
        int64_t read = read_handle(file->handle, bytes, size);
        ok = read > 0;
        if (ok) {
            bytes += read;
            size -= static_cast<size_t>(read);
        }
    }
    return seek_handle(handle, position) && ok;
}

bool is_host_link(const char*) { return false; }

bool is_regular_host_file(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_DEVICE);
}

bool replacement_target(const char* path, char* target, size_t capacity)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    size_t length = lstrlenA(path);
    if (length >= capacity)
        return false;
    CopyMemory(target, path, length + 1);
    return true;
}

bool make_folder(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

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

bool remove_host_file(const char* path) { return DeleteFileA(path) != 0; }

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

void* host_allocate(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void host_release(void* block)
{
    if (block != nullptr)
        HeapFree(GetProcessHeap(), 0, block);
}
