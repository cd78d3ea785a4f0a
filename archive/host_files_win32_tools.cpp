// host_files_win32_tools.cpp -- the Windows host's calls that only the tools make (lzss and
// listimage write a file beside its target and put it in place, and read their inputs ahead):
// replacing a file, the target of a replacement, sizes, positioned reads, and the functions looked
// up at run time. setup.exe only unpacks; its build of the library leaves this file out, so that
// it imports none of the functions used here alone.

#include "archive/host_files.h"

#include <windows.h>

#include "archive/host_handles.h"

// Every function the host looks up at run time rather than imports, because a Windows it runs on
// may lack it, and what the host does there instead. A test may hide one to run the fallback.
struct RuntimeFunction {
    const char* dll;
    const char* name;
    const char* fallback;
    bool hidden;
};

enum { MOVE_FILE_EX };

static RuntimeFunction runtime_functions[] = {
    // The 95 family exports it only as a stub that fails with ERROR_CALL_NOT_IMPLEMENTED.
    {"kernel32.dll", "MoveFileExA",
     "replace_file deletes the target, then moves the file in: not in one step", false},
};

static FARPROC runtime_function(int which)
{
    const RuntimeFunction& function = runtime_functions[which];
    HMODULE module = function.hidden ? nullptr : GetModuleHandleA(function.dll);
    return module != nullptr ? GetProcAddress(module, function.name) : nullptr;
}

bool hide_host_function(const char* name, bool hidden)
{
    for (RuntimeFunction& function : runtime_functions) {
        if (same_text(function.name, name)) {
            function.hidden = hidden;
            return true;
        }
    }
    return false;
}

// Every HostFile of this host is a disk file (host_files_win32.cpp refuses the others).
int64_t host_file_size(HostFile* file)
{
    DWORD high = 0;
    DWORD low = GetFileSize(reinterpret_cast<HANDLE>(file->handle), &high);
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

bool is_regular_host_file(const char* path)
{
    return !is_device_path(path) && host_entry_of(GetFileAttributesA(path)) == HOST_FILE;
}

// A link at `path` is refused, neither followed nor replaced: the file it leads to cannot be named
// on every Windows (GetFinalPathNameByHandleA came with Vista), and a file put in the link's place
// would undo, unasked, what its owner set up. Where the attributes cannot be read for another
// reason than a missing file or folder, nothing is known and the path is refused too: Wine answers
// so for a Unix pipe or device reached through drive Z:.
// A refusal is noted as a failure to create `path`.
bool replacement_target(const char* path, char* target, size_t capacity)
{
    DWORD code = ERROR_ACCESS_DENIED;
    HostEntry entry = is_device_path(path) ? HOST_FOLDER : host_entry_of(GetFileAttributesA(path));
    if (entry == HOST_NOTHING && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND)
        code = GetLastError();
    else if (entry == HOST_NOTHING || entry == HOST_FILE)
        code = NO_ERROR;
    if (code != NO_ERROR) {
        note_host_failure(HOST_CREATE, path, code);
        return false;
    }
    size_t length = 0;
    while (path[length] != '\0')
        length++;
    if (length >= capacity)
        return false;
    CopyMemory(target, path, length + 1);
    return true;
}

// Without MoveFileExA the target is deleted and the file moved, which is not atomic but is the
// best that the 95 family offers; the file must exist first, or a failed move would lose the
// target for nothing.
bool replace_file(const char* from, const char* to)
{
    if (is_device_path(from) || is_device_path(to))
        return false;
    typedef BOOL(WINAPI * MoveFileExFunction)(const char*, const char*, DWORD);
    MoveFileExFunction move_file_ex = reinterpret_cast<MoveFileExFunction>(
        reinterpret_cast<void (*)()>(runtime_function(MOVE_FILE_EX)));
    if (move_file_ex != nullptr) {
        if (move_file_ex(from, to, MOVEFILE_REPLACE_EXISTING))
            return true;
        if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
            return false;
    }
    if (host_entry_of(GetFileAttributesA(from)) != HOST_FILE)
        return false;
    if (!DeleteFileA(to) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return false;
    return MoveFileA(from, to) != 0;
}

bool remove_host_file(const char* path) { return !is_device_path(path) && DeleteFileA(path) != 0; }

// The system's message in the default language without its line end, or "error N" for a code
// the system has no message for.
void host_failure_reason(const HostFailure& failure, char* text, size_t capacity)
{
    if (capacity == 0)
        return;
    DWORD size = capacity > 0xFFFF ? 0xFFFF : DWORD(capacity);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, failure.code, 0, text, size, nullptr);
    if (length == 0 || length >= size) {
        char number[24] = "error ";
        char digits[12];
        int count = 0;
        for (uint32_t code = failure.code; count == 0 || code != 0; code /= 10)
            digits[count++] = static_cast<char>('0' + code % 10);
        for (int i = 0; i < count; i++)
            number[6 + i] = digits[count - 1 - i];
        number[6 + count] = '\0';
        length = 0;
        for (; number[length] != '\0' && length + 1 < size; length++)
            text[length] = number[length];
    }
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == ' '))
        length--;
    text[length] = '\0';
}

char host_folder_separator() { return '\\'; }

void fail_writes_to_broken_pipes() {}
