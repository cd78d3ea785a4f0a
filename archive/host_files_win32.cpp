// host_files_win32.cpp -- the archive library's files, folders and memory through the Win32 API
// (ANSI calls, as on the Windows 95 family): no C runtime is needed for them. What only the tools
// call (replacing a file, its target, sizes, positioned reads) is in host_files_win32_tools.cpp,
// which setup.exe's build of the library leaves out.

#include "archive/host_files.h"

#include <windows.h>

#include "archive/host_handles.h"

static bool file_index_hidden = false;

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

uint32_t last_host_error() { return GetLastError(); }

uint32_t failing_disk_error(bool writing) { return writing ? ERROR_WRITE_FAULT : ERROR_READ_FAULT; }

// False (null), with the failure of `call` noted: `code`, or GetLastError() when it is 0. A
// refusal of the host's own (a device, a folder where a file is wanted) is noted as Windows
// answers a file call on a folder: ERROR_ACCESS_DENIED.
static bool refused(HostCall call, const char* path, DWORD code = 0)
{
    note_host_failure(call, path, code != 0 ? code : GetLastError());
    return false;
}

static HostFile* failed(HostCall call, const char* path, DWORD code = 0)
{
    refused(call, path, code);
    return nullptr;
}

// True for a path in the device namespace: "\\.\" (every name there is a device), and "\\?\" or
// "\??\" before anything but a folder of a drive ("C:\") or a share ("UNC\"); "\\?\C:" alone is
// the volume itself.
static bool in_device_namespace(const char* path)
{
    bool local = is_folder_separator(path[0]) && is_folder_separator(path[1]) &&
                 (path[2] == '.' || path[2] == '?') &&
                 (path[3] == '\0' || is_folder_separator(path[3]));
    bool native = path[0] == '\\' && path[1] == '?' && path[2] == '?' && path[3] == '\\';
    if (!local && !native)
        return false;
    if (path[2] == '.' || path[3] == '\0')
        return true;
    const char* rest = path + 4;
    char letter = static_cast<char>(rest[0] | 0x20);
    bool drive = letter >= 'a' && letter <= 'z' && rest[1] == ':' && is_folder_separator(rest[2]);
    bool share = (rest[0] | 0x20) == 'u' && (rest[1] | 0x20) == 'n' && (rest[2] | 0x20) == 'c' &&
                 is_folder_separator(rest[3]);
    return !drive && !share;
}

bool is_device_path(const char* path)
{
    if (in_device_namespace(path))
        return true;
    const char* name = path;
    for (const char* p = path;; p++) {
        if (*p != '\0' && !is_folder_separator(*p))
            continue;
        if (is_windows_device_name(name, p))
            return true;
        if (*p == '\0')
            return false;
        name = p + 1;
    }
}

HostEntry host_entry_of(uint32_t attributes)
{
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return HOST_NOTHING;
    bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return folder ? HOST_FOLDER_LINK : HOST_FILE_LINK;
    return folder ? HOST_FOLDER : HOST_FILE;
}

// A HostFile around a handle that CreateFileA gave for `path`, or null: for no handle, and for
// one that is not a disk file (a device or a pipe that its name does not betray, such as Wine's
// Z:\dev\null), which is closed unused.
static HostFile* disk_file(HANDLE handle, bool writing, const char* path)
{
    HostCall call = writing ? HOST_CREATE : HOST_OPEN;
    if (handle == INVALID_HANDLE_VALUE)
        return failed(call, path);
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return failed(call, path, ERROR_ACCESS_DENIED);
    }
    return new_host_file(reinterpret_cast<intptr_t>(handle), writing, path);
}

HostFile* open_host_file(const char* path)
{
    if (is_device_path(path))
        return failed(HOST_OPEN, path, ERROR_ACCESS_DENIED);
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return disk_file(handle, false, path);
}

// CREATE_ALWAYS empties an existing file.
HostFile* create_host_file(const char* path)
{
    if (is_device_path(path))
        return failed(HOST_CREATE, path, ERROR_ACCESS_DENIED);
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return disk_file(handle, true, path);
}

// A file or a link to a file in the new file's place is deleted (DeleteFileA deletes the link,
// not its file; a hard link's other names keep the content), and the file created where nothing
// may stand any more. A link to a folder there is refused: no file can be written through it, and
// RemoveDirectoryA, which removes such a link on Windows, removes the folder it leads to under
// Wine 8, whose CREATE_NEW then writes through the link left behind. Where the attributes cannot
// be read for another reason than a missing file, nothing is known and the path is refused: Wine
// answers so for a Unix pipe or device reached through drive Z:. (A link made between the look
// and the creation makes CREATE_NEW fail.)
HostFile* create_unlinked_host_file(const char* path)
{
    if (is_device_path(path))
        return failed(HOST_CREATE, path, ERROR_ACCESS_DENIED);
    bool exists = false;
    switch (host_entry_of(GetFileAttributesA(path))) {
    case HOST_NOTHING:
        if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND)
            return failed(HOST_CREATE, path);
        return create_new_host_file(path, &exists);
    case HOST_FILE:
    case HOST_FILE_LINK:
        return DeleteFileA(path) ? create_new_host_file(path, &exists)
                                 : failed(HOST_CREATE, path);
    default:
        return failed(HOST_CREATE, path, ERROR_ACCESS_DENIED);
    }
}

HostFile* create_new_host_file(const char* path, bool* exists)
{
    *exists = false;
    if (is_device_path(path))
        return failed(HOST_CREATE, path, ERROR_ACCESS_DENIED);
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    // Something stands there when the call says so, and also when it only refuses: CREATE_NEW on
    // a folder fails with ERROR_ACCESS_DENIED on Windows, and the 95 family opens no folder at all.
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        *exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ||
                  GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
        return failed(HOST_CREATE, path, code);
    }
    HostFile* file = disk_file(handle, true, path);
    if (file == nullptr && handle != INVALID_HANDLE_VALUE)
        DeleteFileA(path);  // made just now, and given to nobody
    return file;
}

bool is_host_link(const char* path)
{
    HostEntry entry = host_entry_of(GetFileAttributesA(path));
    return entry == HOST_FILE_LINK || entry == HOST_FOLDER_LINK;
}

bool make_folder(const char* path)
{
    if (is_device_path(path))
        return refused(HOST_MAKE_FOLDER, path, ERROR_ACCESS_DENIED);
    return CreateDirectoryA(path, nullptr) != 0 || refused(HOST_MAKE_FOLDER, path);
}

bool folder_exists(const char* path)
{
    HostEntry entry = host_entry_of(GetFileAttributesA(path));
    return entry == HOST_FOLDER || entry == HOST_FOLDER_LINK;
}

void hide_file_index(bool hidden) { file_index_hidden = hidden; }

bool get_file_identity(const char* path, FileIdentity* identity)
{
    if (is_device_path(path))
        return false;
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
    if (file_index_hidden)
        identity->index = 0;
    return true;
}

void* host_allocate(size_t size)
{
    void* block = host_allocation_refused() ? nullptr : HeapAlloc(GetProcessHeap(), 0, size);
    if (block == nullptr)
        note_host_failure(HOST_ALLOCATE, nullptr, ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

void host_release(void* block)
{
    if (block != nullptr)
        HeapFree(GetProcessHeap(), 0, block);
}
