// win95_calls.cpp -- the rules of the Windows 95 layer: replacements of the functions whose
// behaviour on retail Windows 95 differs from Wine's. Each refuses or changes what Windows 95
// refuses or changes, notes it in the layer's log, and otherwise calls the real function.
// (win95_exports.cpp names the source of each rule.)

#include "win95/win95_rules.h"

#include <cstdarg>
#include <cstdio>

#include <commctrl.h>

#define CALLER __builtin_return_address(0)

// ---- files

// "\\.\C:" and "\\.\PhysicalDrive0": Windows 95 reaches drives only through its VxDs.
static bool names_a_raw_drive(const char* path)
{
    if (lstrlenA(path) < 6 || path[0] != '\\' || path[1] != '\\' || path[2] != '.' ||
        path[3] != '\\')
        return false;
    const char* device = path + 4;
    bool letter = ((device[0] | 0x20) >= 'a' && (device[0] | 0x20) <= 'z') && device[1] == ':';
    return letter || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, device, 13,
                                    "PhysicalDrive", 13) == CSTR_EQUAL;
}

static HANDLE refuse_open(const void* caller, const char* what, const char* path, DWORD error)
{
    win95_log(caller, "CreateFileA", what, path);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE WINAPI win95_CreateFileA(LPCSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE template_file)
{
    const void* caller = CALLER;
    if (share & FILE_SHARE_DELETE)
        return refuse_open(caller, "FILE_SHARE_DELETE in the share mode: ERROR_INVALID_PARAMETER",
                           path, ERROR_INVALID_PARAMETER);
    if (template_file != nullptr)
        return refuse_open(caller, "a template file: ERROR_NOT_SUPPORTED", path,
                           ERROR_NOT_SUPPORTED);
    if (path != nullptr) {
        if (names_a_raw_drive(path))
            return refuse_open(caller, "a raw drive name: ERROR_FILE_NOT_FOUND", path,
                               ERROR_FILE_NOT_FOUND);
        // FILE_FLAG_BACKUP_SEMANTICS is NT's way to open a folder; Windows 95 opens none.
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return refuse_open(caller, "a folder: ERROR_ACCESS_DENIED", path, ERROR_ACCESS_DENIED);
    }
    return CreateFileA(path, access, share, security, disposition, flags, template_file);
}

// Overlapped reads and writes work on serial devices only.
static bool refuse_overlapped(const void* caller, const char* function, HANDLE file,
                              LPOVERLAPPED overlapped)
{
    if (overlapped == nullptr || GetFileType(file) == FILE_TYPE_CHAR)
        return false;
    win95_log(caller, function, "an OVERLAPPED on a file: ERROR_INVALID_PARAMETER", nullptr);
    SetLastError(ERROR_INVALID_PARAMETER);
    return true;
}

BOOL WINAPI win95_ReadFile(HANDLE file, LPVOID bytes, DWORD size, LPDWORD read,
                           LPOVERLAPPED overlapped)
{
    if (refuse_overlapped(CALLER, "ReadFile", file, overlapped))
        return FALSE;
    return ReadFile(file, bytes, size, read, overlapped);
}

BOOL WINAPI win95_WriteFile(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                            LPOVERLAPPED overlapped)
{
    if (refuse_overlapped(CALLER, "WriteFile", file, overlapped))
        return FALSE;
    return WriteFile(file, bytes, size, written, overlapped);
}

// At most 65536 clusters and 2 GB, total and free: what retail Windows 95, whose FAT16 volumes
// end at 2 GB, reports for a larger volume. The clusters grow to 32 KB where they must.
BOOL WINAPI win95_GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectors_per_cluster,
                                    LPDWORD bytes_per_sector, LPDWORD free_clusters,
                                    LPDWORD total_clusters)
{
    DWORD sectors = 0, sector_bytes = 0, free = 0, total = 0;
    if (!GetDiskFreeSpaceA(root, &sectors, &sector_bytes, &free, &total))
        return FALSE;
    const uint64_t LIMIT = 0x80000000u;
    uint64_t cluster_bytes = uint64_t(sectors) * sector_bytes;
    uint64_t free_bytes = cluster_bytes * free;
    uint64_t total_bytes = cluster_bytes * total;
    if ((total_bytes > LIMIT || total > 65536) && sector_bytes != 0 && sector_bytes <= 32768) {
        sectors = 32768 / sector_bytes;
        cluster_bytes = uint64_t(sectors) * sector_bytes;
        free = DWORD((free_bytes < LIMIT ? free_bytes : LIMIT) / cluster_bytes);
        total = DWORD((total_bytes < LIMIT ? total_bytes : LIMIT) / cluster_bytes);
        char detail[64];
        std::snprintf(detail, sizeof detail, "%s: %llu MB free", root ? root : "(current)",
                      (unsigned long long)(free_bytes >> 20));
        win95_log(CALLER, "GetDiskFreeSpaceA", "a volume over 2 GB reported as 2 GB", detail);
    }
    if (sectors_per_cluster != nullptr)
        *sectors_per_cluster = sectors;
    if (bytes_per_sector != nullptr)
        *bytes_per_sector = sector_bytes;
    if (free_clusters != nullptr)
        *free_clusters = free;
    if (total_clusters != nullptr)
        *total_clusters = total;
    return TRUE;
}

// ---- registry

// A string value is stored as its text and one NUL, whatever size the caller gives.
LSTATUS WINAPI win95_RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                    const BYTE* data, DWORD size)
{
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && data != nullptr) {
        DWORD text_size = (DWORD)lstrlenA((const char*)data) + 1;
        if (text_size != size) {
            char detail[300];
            std::snprintf(detail, sizeof detail, "\"%s\": %lu bytes given, %lu stored",
                          name ? name : "", (unsigned long)size, (unsigned long)text_size);
            win95_log(CALLER, "RegSetValueExA", "a string stored by its text", detail);
        }
        size = text_size;
    }
    return RegSetValueExA(key, name, reserved, type, data, size);
}

// Deletes every subkey of `key`\`name`, deepest first.
static LSTATUS delete_subkeys(HKEY key, const char* name, bool* had_subkeys)
{
    HKEY opened;
    LSTATUS status = RegOpenKeyExA(key, name, 0, KEY_READ | KEY_WRITE, &opened);
    if (status != ERROR_SUCCESS)
        return status;
    char child[256];
    for (;;) {
        DWORD length = sizeof child;
        // Always the first: the others move up as each is deleted.
        status = RegEnumKeyExA(opened, 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            break;
        *had_subkeys = true;
        status = delete_subkeys(opened, child, had_subkeys);
        if (status == ERROR_SUCCESS)
            status = RegDeleteKeyA(opened, child);
        if (status != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(opened);
    return status == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : status;
}

// Windows 95 deletes a key with all its subkeys.
LSTATUS WINAPI win95_RegDeleteKeyA(HKEY key, LPCSTR name)
{
    bool had_subkeys = false;
    if (name != nullptr && name[0] != '\0') {
        LSTATUS status = delete_subkeys(key, name, &had_subkeys);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return status;
    }
    if (had_subkeys)
        win95_log(CALLER, "RegDeleteKeyA", "a key deleted with its subkeys", name);
    return RegDeleteKeyA(key, name);
}

// ---- texts

enum { WSPRINTF_BYTES = 1024 };

// At most 1023 characters and the NUL, as the documented 1024-byte buffer holds; the cut is
// silent, the result the characters written.
static int cut_format(const void* caller, LPSTR out, LPCSTR format, va_list arguments)
{
    char whole[4 * WSPRINTF_BYTES];
    int length = wvsprintfA(whole, format, arguments);
    if (length < 0)
        return length;
    if (length >= WSPRINTF_BYTES) {
        win95_log(caller, "wvsprintfA", "a text cut at 1024 bytes", format);
        length = WSPRINTF_BYTES - 1;
    }
    CopyMemory(out, whole, length);
    out[length] = '\0';
    return length;
}

int WINAPI win95_wvsprintfA(LPSTR out, LPCSTR format, va_list arguments)
{
    return cut_format(CALLER, out, format, arguments);
}

int WINAPIV win95_wsprintfA(LPSTR out, LPCSTR format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = cut_format(CALLER, out, format, arguments);
    va_end(arguments);
    return length;
}

// ---- comctl32 4.00's progress bar

static const char ORIGINAL_PROC[] = "win95_rules.progress_proc";

// The messages and styles that came with comctl32 4.70 and later.
static const char* newer_progress_message(UINT message)
{
    switch (message) {
    case PBM_SETRANGE32:  return "PBM_SETRANGE32 (comctl32 4.70)";
    case PBM_GETRANGE:    return "PBM_GETRANGE (comctl32 4.70)";
    case PBM_GETPOS:      return "PBM_GETPOS (comctl32 4.70)";
    case PBM_SETBARCOLOR: return "PBM_SETBARCOLOR (comctl32 4.71)";
    case PBM_SETBKCOLOR:  return "PBM_SETBKCOLOR (comctl32 4.71)";
    }
    if (message > PBM_STEPIT && message < WM_USER + 0x100)
        return "a progress bar message of comctl32 6.0 or later";
    if (message >= CCM_FIRST && message < CCM_FIRST + 0x200)
        return "a common control message of comctl32 4.71 or later";
    return nullptr;
}

// The window procedure of a progress bar of this process: what the program itself sends that
// comctl32 4.00 did not know is ignored, as its window procedure left it to DefWindowProc. A
// message sent from another thread or process (a test driver asking the real control) passes.
static LRESULT CALLBACK progress_proc(HWND bar, UINT message, WPARAM wparam, LPARAM lparam)
{
    WNDPROC original = (WNDPROC)GetPropA(bar, ORIGINAL_PROC);
    const char* newer = newer_progress_message(message);
    if (newer != nullptr && !InSendMessage()) {
        win95_log(nullptr, "progress bar", "ignored, as comctl32 4.00 ignores it", newer);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(bar, GWLP_WNDPROC, (LONG_PTR)original);
        RemovePropA(bar, ORIGINAL_PROC);
    }
    return CallWindowProcA(original, bar, message, wparam, lparam);
}

static LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HCBT_CREATEWND) {
        HWND window = (HWND)wparam;
        char class_name[32];
        if (GetClassNameA(window, class_name, sizeof class_name) > 0 &&
            lstrcmpiA(class_name, PROGRESS_CLASSA) == 0) {
            LONG_PTR original = GetWindowLongPtrA(window, GWLP_WNDPROC);
            SetPropA(window, ORIGINAL_PROC, (HANDLE)original);
            SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)progress_proc);
            // Smooth and vertical bars came with 4.70: 4.00 draws blocks, left to right.
            LONG style = GetWindowLongA(window, GWL_STYLE);
            if (style & (PBS_SMOOTH | PBS_VERTICAL))
                SetWindowLongA(window, GWL_STYLE, style & ~(PBS_SMOOTH | PBS_VERTICAL));
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// One hook per thread that makes windows through the program's imports.
void install_progress_hook()
{
    static DWORD hooked_threads[64];
    static LONG hooked_count = 0;
    DWORD thread = GetCurrentThreadId();
    LONG count = hooked_count;
    for (LONG i = 0; i < count && i < 64; i++) {
        if (hooked_threads[i] == thread)
            return;
    }
    if (SetWindowsHookExA(WH_CBT, on_cbt, nullptr, thread) == nullptr)
        return;
    LONG slot = InterlockedIncrement(&hooked_count) - 1;
    if (slot < 64)
        hooked_threads[slot] = thread;
}

INT_PTR WINAPI win95_DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc,
                                     LPARAM value)
{
    install_progress_hook();
    return DialogBoxParamA(instance, name, owner, proc, value);
}

HWND WINAPI win95_CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc,
                                     LPARAM value)
{
    install_progress_hook();
    return CreateDialogParamA(instance, name, owner, proc, value);
}

HWND WINAPI win95_CreateWindowExA(DWORD extended, LPCSTR class_name, LPCSTR title, DWORD style,
                                  int x, int y, int width, int height, HWND parent, HMENU menu,
                                  HINSTANCE instance, LPVOID value)
{
    install_progress_hook();
    return CreateWindowExA(extended, class_name, title, style, x, y, width, height, parent, menu,
                           instance, value);
}
