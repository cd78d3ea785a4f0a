// win95_exports.cpp -- what retail Windows 95 (4.00.950: comctl32 4.00, shell32 4.00, ole32
// without DCOM, no Internet Explorer) exports from the seven DLLs setup.exe imports, and what it
// does with each function that the layer changes: the rule that replaces it, the stub that fails
// as 95's does, or its absence.
//
// A function of these DLLs that the table does not name counts as missing for a program built
// for Windows 95 (scope WIN95_PROGRAM). Sources, by the short names of the last column:
//   limits    MSDN98 "Windows 95 General Limitations": the wide-character functions are stubs
//             that fail, except ExtTextOut, GetCharWidth, GetTextExtentExPoint,
//             GetTextExtentPoint, MessageBox, MessageBoxEx, TextOut, MultiByteToWideChar and
//             WideCharToMultiByte; security functions are stubs.
//   services  MSDN98 "Windows 95 System Services": no overlapped I/O except on serial devices,
//             no "\\.\C:" or "\\.\PhysicalDrive0" names.
//   imports   docs/windows_imports.tsv: the 95 state of every function our programs import.
//   q231497   Microsoft KB Q231497: GetDiskFreeSpaceEx came with Windows 95 OSR2, not retail 950;
//             GetDiskFreeSpace reports at most 2 GB and 65536 clusters.
//   msdn      the function's page in the 1998 MSDN Library / Platform SDK ("Windows 95/98:"
//             notes and the version of Windows, comctl32 or shell32 that first has it).
//   dcom      MSDN98 CoInitializeEx and the other DCOM functions: Windows 95 needs DCOM95.
//   comctl    MSDN98 "Shell and Common Controls Versions": comctl32 4.00 came with Windows 95,
//             4.70 with Internet Explorer 3, 4.71 with Internet Explorer 4; shell32 4.71 with
//             Internet Explorer 4's desktop update, 5.0 with Windows 2000.

#include "win95/win95_rules.h"

// ---- stubs: exported by Windows 95, failing with ERROR_CALL_NOT_IMPLEMENTED

// The stubs are __stdcall on i686: each is declared with the number of arguments of its function,
// so that it pops what the caller pushed.
#define STUB_ARGS_1 DWORD_PTR
#define STUB_ARGS_2 DWORD_PTR, DWORD_PTR
#define STUB_ARGS_3 DWORD_PTR, DWORD_PTR, DWORD_PTR
#define STUB_ARGS_4 STUB_ARGS_2, STUB_ARGS_2
#define STUB_ARGS_5 STUB_ARGS_4, DWORD_PTR
#define STUB_ARGS_6 STUB_ARGS_4, STUB_ARGS_2
#define STUB_ARGS_7 STUB_ARGS_4, STUB_ARGS_3
#define STUB_ARGS_8 STUB_ARGS_4, STUB_ARGS_4
#define STUB_ARGS_9 STUB_ARGS_8, DWORD_PTR
#define STUB_ARGS_10 STUB_ARGS_8, STUB_ARGS_2
#define STUB_ARGS_12 STUB_ARGS_8, STUB_ARGS_4

static DWORD_PTR not_implemented(const void* caller, const char* name, DWORD_PTR failure)
{
    win95_log(caller, name, "a stub on Windows 95: ERROR_CALL_NOT_IMPLEMENTED", nullptr);
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return failure;
}

#define STUB(name, arguments, failure)                                                         \
    static DWORD_PTR WINAPI stub_##name(STUB_ARGS_##arguments)                                 \
    {                                                                                          \
        return not_implemented(__builtin_return_address(0), #name, (DWORD_PTR)(failure));      \
    }

static const DWORD_PTR NO_HANDLE = (DWORD_PTR)INVALID_HANDLE_VALUE;

STUB(MoveFileExA, 3, FALSE)
STUB(CreateFileW, 7, NO_HANDLE)
STUB(DeleteFileW, 1, FALSE)
STUB(MoveFileW, 2, FALSE)
STUB(MoveFileExW, 3, FALSE)
STUB(CopyFileW, 3, FALSE)
STUB(CreateDirectoryW, 2, FALSE)
STUB(RemoveDirectoryW, 1, FALSE)
STUB(GetFileAttributesW, 1, INVALID_FILE_ATTRIBUTES)
STUB(SetFileAttributesW, 2, FALSE)
STUB(FindFirstFileW, 2, NO_HANDLE)
STUB(FindNextFileW, 2, FALSE)
STUB(GetModuleFileNameW, 3, 0)
STUB(GetModuleHandleW, 1, 0)
STUB(LoadLibraryW, 1, 0)
STUB(LoadLibraryExW, 3, 0)
STUB(CreateProcessW, 10, FALSE)
STUB(GetCurrentDirectoryW, 2, 0)
STUB(SetCurrentDirectoryW, 1, FALSE)
STUB(GetDiskFreeSpaceW, 5, FALSE)
STUB(GetDriveTypeW, 1, DRIVE_UNKNOWN)
STUB(GetWindowsDirectoryW, 2, 0)
STUB(GetSystemDirectoryW, 2, 0)
STUB(GetTempPathW, 2, 0)
STUB(CreateEventW, 4, 0)
STUB(CreateMutexW, 3, 0)
STUB(CreateSemaphoreW, 4, 0)
STUB(SetWindowTextW, 2, FALSE)
STUB(GetWindowTextW, 3, 0)
STUB(SetDlgItemTextW, 3, FALSE)
STUB(GetDlgItemTextW, 4, 0)
STUB(SendMessageW, 4, 0)
STUB(PostMessageW, 4, FALSE)
STUB(SendDlgItemMessageW, 5, 0)
STUB(DialogBoxParamW, 5, -1)
STUB(CreateDialogParamW, 5, 0)
STUB(CreateWindowExW, 12, 0)
STUB(DefWindowProcW, 4, 0)
STUB(CallWindowProcW, 5, 0)
STUB(RegisterClassW, 1, 0)
STUB(RegisterClassExW, 1, 0)
STUB(FindWindowW, 2, 0)
STUB(LoadCursorW, 2, 0)
STUB(LoadIconW, 2, 0)
STUB(LoadStringW, 4, 0)
STUB(GetClassNameW, 3, 0)
STUB(CreateFontIndirectW, 1, 0)
STUB(GetObjectW, 3, 0)
STUB(RegOpenKeyExW, 5, ERROR_CALL_NOT_IMPLEMENTED)
STUB(RegCreateKeyExW, 9, ERROR_CALL_NOT_IMPLEMENTED)
STUB(RegSetValueExW, 6, ERROR_CALL_NOT_IMPLEMENTED)
STUB(RegQueryValueExW, 6, ERROR_CALL_NOT_IMPLEMENTED)
STUB(RegDeleteKeyW, 2, ERROR_CALL_NOT_IMPLEMENTED)
STUB(RegDeleteValueW, 2, ERROR_CALL_NOT_IMPLEMENTED)
STUB(RegEnumKeyExW, 8, ERROR_CALL_NOT_IMPLEMENTED)
STUB(GetUserNameW, 2, FALSE)
STUB(SHGetPathFromIDListW, 2, FALSE)
STUB(ShellExecuteW, 6, 0)
STUB(CreateStatusWindowW, 4, 0)

// ---- the rules (win95_calls.cpp, win95_rules.cpp)

HANDLE WINAPI win95_CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
BOOL WINAPI win95_ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
BOOL WINAPI win95_WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
BOOL WINAPI win95_GetDiskFreeSpaceA(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
LSTATUS WINAPI win95_RegSetValueExA(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
LSTATUS WINAPI win95_RegDeleteKeyA(HKEY, LPCSTR);
int WINAPI win95_wvsprintfA(LPSTR, LPCSTR, va_list);
int WINAPIV win95_wsprintfA(LPSTR, LPCSTR, ...);
INT_PTR WINAPI win95_DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM);
HWND WINAPI win95_CreateDialogParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM);
HWND WINAPI win95_CreateWindowExA(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU,
                                  HINSTANCE, LPVOID);
FARPROC WINAPI win95_GetProcAddress(HMODULE, LPCSTR);
HMODULE WINAPI win95_LoadLibraryA(LPCSTR);
HMODULE WINAPI win95_LoadLibraryExA(LPCSTR, HANDLE, DWORD);
HMODULE WINAPI win95_GetModuleHandleA(LPCSTR);

#define RULE(function) reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(win95_##function))
#define STUBBED(function) reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(stub_##function))

#define K "kernel32.dll"
#define U "user32.dll"
#define G "gdi32.dll"
#define A "advapi32.dll"
#define S "shell32.dll"
#define O "ole32.dll"
#define C "comctl32.dll"

#define PRESENT(dll, name, source) {dll, #name, WIN95_PRESENT, nullptr, source}
#define RULED(dll, name, source) {dll, #name, WIN95_PRESENT, RULE(name), source}
#define STUB_ROW(dll, name, source) {dll, #name, WIN95_STUB, STUBBED(name), source}
#define MISSING(dll, name, source) {dll, #name, WIN95_MISSING, nullptr, source}

const Win95Export WIN95_EXPORTS[] = {
    // kernel32: the rules
    RULED(K, CreateFileA, "msdn (FILE_SHARE_DELETE, FILE_FLAG_BACKUP_SEMANTICS: NT only); services"),
    RULED(K, ReadFile, "services"),
    RULED(K, WriteFile, "services"),
    RULED(K, GetDiskFreeSpaceA, "q231497"),
    RULED(K, GetProcAddress, "imports; this table"),
    RULED(K, LoadLibraryA, "imports; comctl"),
    RULED(K, LoadLibraryExA, "msdn"),
    RULED(K, GetModuleHandleA, "imports"),
    STUB_ROW(K, MoveFileExA, "msdn (Windows 95: not implemented); imports"),
    // kernel32: present
    PRESENT(K, CloseHandle, "imports"), PRESENT(K, CopyFileA, "msdn"),
    PRESENT(K, CreateDirectoryA, "imports"), PRESENT(K, CreateEventA, "msdn"),
    PRESENT(K, CreateProcessA, "imports"), PRESENT(K, CreateSemaphoreA, "imports"),
    PRESENT(K, CreateThread, "msdn"), PRESENT(K, DeleteCriticalSection, "imports"),
    PRESENT(K, DeleteFileA, "imports"), PRESENT(K, EnterCriticalSection, "imports"),
    PRESENT(K, ExitProcess, "imports"), PRESENT(K, FindClose, "imports"),
    PRESENT(K, FindFirstFileA, "imports"), PRESENT(K, FindNextFileA, "imports"),
    PRESENT(K, FindResourceA, "imports"), PRESENT(K, FlushFileBuffers, "msdn"),
    PRESENT(K, FreeLibrary, "imports"), PRESENT(K, FreeResource, "imports"),
    PRESENT(K, GetCommandLineA, "imports"), PRESENT(K, GetCurrentDirectoryA, "imports"),
    PRESENT(K, GetCurrentProcess, "imports"), PRESENT(K, GetCurrentProcessId, "msdn"),
    PRESENT(K, GetCurrentThreadId, "imports"), PRESENT(K, GetDriveTypeA, "imports"),
    PRESENT(K, GetExitCodeProcess, "msdn"), PRESENT(K, GetExitCodeThread, "msdn"), PRESENT(K, GetFileAttributesA, "imports"),
    PRESENT(K, GetFileInformationByHandle, "imports"), PRESENT(K, GetFileSize, "imports"),
    PRESENT(K, GetFileType, "imports"), PRESENT(K, GetFullPathNameA, "msdn"),
    PRESENT(K, GetLastError, "imports"), PRESENT(K, GetLogicalDrives, "msdn"),
    PRESENT(K, GetModuleFileNameA, "imports"), PRESENT(K, GetProcessHeap, "imports"),
    PRESENT(K, GetStartupInfoA, "imports"), PRESENT(K, GetStdHandle, "msdn"),
    PRESENT(K, GetSystemDirectoryA, "imports"), PRESENT(K, GetTempFileNameA, "msdn"),
    PRESENT(K, GetTempPathA, "msdn"), PRESENT(K, GetTickCount, "msdn"),
    PRESENT(K, GetVersion, "msdn"), PRESENT(K, GetVersionExA, "msdn"),
    PRESENT(K, GetVolumeInformationA, "msdn"), PRESENT(K, GetWindowsDirectoryA, "imports"),
    PRESENT(K, GlobalAlloc, "imports"), PRESENT(K, GlobalFree, "imports"),
    PRESENT(K, GlobalHandle, "imports"), PRESENT(K, GlobalLock, "imports"),
    PRESENT(K, GlobalUnlock, "imports"), PRESENT(K, HeapAlloc, "imports"),
    PRESENT(K, HeapFree, "imports"), PRESENT(K, InitializeCriticalSection, "imports"),
    PRESENT(K, LeaveCriticalSection, "imports"), PRESENT(K, LoadResource, "imports"),
    PRESENT(K, LocalAlloc, "msdn"), PRESENT(K, LocalFree, "msdn"),
    PRESENT(K, LockResource, "imports"), PRESENT(K, lstrcatA, "msdn"),
    PRESENT(K, lstrcmpA, "msdn"), PRESENT(K, lstrcmpiA, "msdn"), PRESENT(K, lstrcpyA, "msdn"), PRESENT(K, lstrcpynA, "msdn"),
    PRESENT(K, lstrlenA, "imports"), PRESENT(K, MoveFileA, "imports"),
    PRESENT(K, MultiByteToWideChar, "limits"), PRESENT(K, ReleaseSemaphore, "imports"),
    PRESENT(K, RemoveDirectoryA, "imports"), PRESENT(K, SetCurrentDirectoryA, "imports"),
    PRESENT(K, SetEndOfFile, "msdn"), PRESENT(K, SetErrorMode, "imports"),
    PRESENT(K, SetEvent, "msdn"), PRESENT(K, SetFileAttributesA, "msdn"),
    PRESENT(K, SetFilePointer, "imports"), PRESENT(K, SetLastError, "imports"),
    PRESENT(K, SetUnhandledExceptionFilter, "imports"), PRESENT(K, SizeofResource, "imports"),
    PRESENT(K, Sleep, "imports"), PRESENT(K, TerminateProcess, "msdn"),
    PRESENT(K, TlsAlloc, "imports"), PRESENT(K, TlsFree, "imports"),
    PRESENT(K, TlsGetValue, "imports"), PRESENT(K, TlsSetValue, "imports"),
    PRESENT(K, VirtualProtect, "imports"), PRESENT(K, VirtualQuery, "imports"),
    PRESENT(K, WaitForSingleObject, "imports"), PRESENT(K, WideCharToMultiByte, "limits"),
    // kernel32: later than retail Windows 95
    MISSING(K, GetDiskFreeSpaceExA, "q231497 (Windows 95 OSR2)"),
    MISSING(K, GetFileAttributesExA, "msdn (Windows 98)"),
    MISSING(K, GetLongPathNameA, "msdn (Windows 98)"),
    MISSING(K, IsDebuggerPresent, "msdn (Windows 98)"),
    MISSING(K, GetFileSizeEx, "msdn (Windows 2000)"),
    MISSING(K, SetFilePointerEx, "msdn (Windows 2000)"),
    MISSING(K, ReplaceFileA, "msdn (Windows 2000)"),
    MISSING(K, CreateHardLinkA, "msdn (Windows 2000)"),
    MISSING(K, GlobalMemoryStatusEx, "msdn (Windows 2000)"),
    MISSING(K, GetModuleHandleExA, "msdn (Windows XP)"),
    // kernel32: wide-character stubs
    STUB_ROW(K, CreateFileW, "limits"), STUB_ROW(K, DeleteFileW, "limits"),
    STUB_ROW(K, MoveFileW, "limits"), STUB_ROW(K, MoveFileExW, "limits"),
    STUB_ROW(K, CopyFileW, "limits"), STUB_ROW(K, CreateDirectoryW, "limits"),
    STUB_ROW(K, RemoveDirectoryW, "limits"), STUB_ROW(K, GetFileAttributesW, "limits"),
    STUB_ROW(K, SetFileAttributesW, "limits"), STUB_ROW(K, FindFirstFileW, "limits"),
    STUB_ROW(K, FindNextFileW, "limits"), STUB_ROW(K, GetModuleFileNameW, "limits"),
    STUB_ROW(K, GetModuleHandleW, "limits; imports"), STUB_ROW(K, LoadLibraryW, "limits"),
    STUB_ROW(K, LoadLibraryExW, "limits"), STUB_ROW(K, CreateProcessW, "limits"),
    STUB_ROW(K, GetCurrentDirectoryW, "limits"), STUB_ROW(K, SetCurrentDirectoryW, "limits"),
    STUB_ROW(K, GetDiskFreeSpaceW, "limits"), STUB_ROW(K, GetDriveTypeW, "limits"),
    STUB_ROW(K, GetWindowsDirectoryW, "limits"), STUB_ROW(K, GetSystemDirectoryW, "limits"),
    STUB_ROW(K, GetTempPathW, "limits"), STUB_ROW(K, CreateEventW, "limits"),
    STUB_ROW(K, CreateMutexW, "limits"), STUB_ROW(K, CreateSemaphoreW, "limits; imports"),

    // user32: the rules
    RULED(U, wvsprintfA, "msdn (wsprintf: the buffer is at most 1024 bytes)"),
    RULED(U, wsprintfA, "msdn (wsprintf: the buffer is at most 1024 bytes)"),
    RULED(U, DialogBoxParamA, "comctl (its progress bars are comctl32 4.00's)"),
    RULED(U, CreateDialogParamA, "comctl (its progress bars are comctl32 4.00's)"),
    RULED(U, CreateWindowExA, "comctl (its progress bars are comctl32 4.00's)"),
    // user32: present
    PRESENT(U, BeginPaint, "imports"), PRESENT(U, CallNextHookEx, "msdn"),
    PRESENT(U, CallWindowProcA, "msdn"), PRESENT(U, CharNextA, "msdn"),
    PRESENT(U, CheckDlgButton, "imports"), PRESENT(U, DefWindowProcA, "imports"),
    PRESENT(U, DestroyWindow, "msdn"), PRESENT(U, DispatchMessageA, "imports"),
    PRESENT(U, DrawTextA, "imports"), PRESENT(U, EnableWindow, "imports"),
    PRESENT(U, EndDialog, "imports"), PRESENT(U, EndPaint, "imports"),
    PRESENT(U, EnumChildWindows, "msdn"), PRESENT(U, EnumWindows, "msdn"),
    PRESENT(U, FillRect, "msdn"), PRESENT(U, FindWindowA, "imports"),
    PRESENT(U, GetClassNameA, "msdn"), PRESENT(U, GetClientRect, "imports"),
    PRESENT(U, GetDC, "imports"), PRESENT(U, GetDlgCtrlID, "msdn"),
    PRESENT(U, GetDlgItem, "imports"), PRESENT(U, GetDlgItemTextA, "imports"),
    PRESENT(U, GetFocus, "msdn"), PRESENT(U, GetMessageA, "imports"),
    PRESENT(U, GetParent, "imports"), PRESENT(U, GetSystemMetrics, "msdn"),
    PRESENT(U, GetWindowLongA, "msdn"), PRESENT(U, GetWindowRect, "imports"),
    PRESENT(U, GetWindowTextA, "imports"), PRESENT(U, GetWindowThreadProcessId, "msdn"),
    PRESENT(U, InSendMessage, "msdn"), PRESENT(U, InvalidateRect, "msdn"),
    PRESENT(U, IsDialogMessageA, "msdn"), PRESENT(U, IsDlgButtonChecked, "imports"),
    PRESENT(U, IsWindow, "msdn"), PRESENT(U, IsWindowEnabled, "msdn"),
    PRESENT(U, IsWindowVisible, "msdn"), PRESENT(U, KillTimer, "msdn"),
    PRESENT(U, LoadBitmapA, "msdn"), PRESENT(U, LoadCursorA, "imports"),
    PRESENT(U, LoadIconA, "msdn"), PRESENT(U, LoadImageA, "msdn"),
    PRESENT(U, LoadStringA, "msdn"), PRESENT(U, MessageBoxA, "imports"),
    PRESENT(U, MessageBoxExA, "imports"), PRESENT(U, MessageBoxW, "limits"),
    PRESENT(U, MessageBoxExW, "limits"), PRESENT(U, MoveWindow, "msdn"), PRESENT(U, MsgWaitForMultipleObjects, "msdn"),
    PRESENT(U, PeekMessageA, "imports"), PRESENT(U, PostMessageA, "imports"),
    PRESENT(U, PostQuitMessage, "imports"), PRESENT(U, PostThreadMessageA, "msdn"),
    PRESENT(U, RegisterClassA, "imports"), PRESENT(U, RegisterClassExA, "msdn"),
    PRESENT(U, ReleaseDC, "imports"), PRESENT(U, ScreenToClient, "imports"),
    PRESENT(U, SendDlgItemMessageA, "imports"), PRESENT(U, SendMessageA, "msdn"),
    PRESENT(U, SetCursor, "imports"), PRESENT(U, SetDlgItemTextA, "imports"),
    PRESENT(U, SetFocus, "msdn"), PRESENT(U, SetForegroundWindow, "imports"),
    PRESENT(U, SetTimer, "msdn"), PRESENT(U, SetWindowLongA, "msdn"),
    PRESENT(U, SetWindowPos, "msdn"), PRESENT(U, SetWindowTextA, "msdn"),
    PRESENT(U, SetWindowsHookExA, "msdn"), PRESENT(U, ShowWindow, "imports"),
    PRESENT(U, TranslateMessage, "imports"), PRESENT(U, UnhookWindowsHookEx, "msdn"),
    PRESENT(U, UpdateWindow, "imports"),
    // user32: later than Windows 95
    MISSING(U, AnimateWindow, "msdn (Windows 98)"), MISSING(U, FlashWindowEx, "msdn (Windows 98)"),
    MISSING(U, GetAncestor, "msdn (Windows 98)"), MISSING(U, GetMonitorInfoA, "msdn (Windows 98)"),
    MISSING(U, MonitorFromWindow, "msdn (Windows 98)"), MISSING(U, SendInput, "msdn (Windows 98)"),
    MISSING(U, TrackMouseEvent, "msdn (Windows 98)"),
    MISSING(U, SetLayeredWindowAttributes, "msdn (Windows 2000)"),
    // user32: wide-character stubs
    STUB_ROW(U, SetWindowTextW, "limits"), STUB_ROW(U, GetWindowTextW, "limits"),
    STUB_ROW(U, SetDlgItemTextW, "limits"), STUB_ROW(U, GetDlgItemTextW, "limits"),
    STUB_ROW(U, SendMessageW, "limits"), STUB_ROW(U, PostMessageW, "limits"),
    STUB_ROW(U, SendDlgItemMessageW, "limits"), STUB_ROW(U, DialogBoxParamW, "limits"),
    STUB_ROW(U, CreateDialogParamW, "limits"), STUB_ROW(U, CreateWindowExW, "limits"),
    STUB_ROW(U, DefWindowProcW, "limits"), STUB_ROW(U, CallWindowProcW, "limits"),
    STUB_ROW(U, RegisterClassW, "limits"), STUB_ROW(U, RegisterClassExW, "limits"),
    STUB_ROW(U, FindWindowW, "limits"), STUB_ROW(U, LoadCursorW, "limits"),
    STUB_ROW(U, LoadIconW, "limits"), STUB_ROW(U, LoadStringW, "limits"),
    STUB_ROW(U, GetClassNameW, "limits"),

    // gdi32
    PRESENT(G, BitBlt, "msdn"), PRESENT(G, CreateCompatibleBitmap, "msdn"),
    PRESENT(G, CreateCompatibleDC, "imports"), PRESENT(G, CreateDIBitmap, "imports"),
    PRESENT(G, CreateFontIndirectA, "msdn"), PRESENT(G, CreateSolidBrush, "msdn"),
    PRESENT(G, DeleteDC, "imports"), PRESENT(G, DeleteObject, "imports"),
    PRESENT(G, ExtTextOutA, "msdn"), PRESENT(G, ExtTextOutW, "limits"),
    PRESENT(G, GetCharWidthW, "limits"), PRESENT(G, GetDeviceCaps, "msdn"),
    PRESENT(G, GetObjectA, "imports"), PRESENT(G, GetStockObject, "msdn"),
    PRESENT(G, GetTextExtentExPointW, "limits"), PRESENT(G, GetTextExtentPoint32A, "msdn"),
    PRESENT(G, GetTextExtentPoint32W, "limits"), PRESENT(G, GetTextExtentPointW, "limits"),
    PRESENT(G, SelectObject, "imports"), PRESENT(G, SetBkMode, "msdn"),
    PRESENT(G, SetStretchBltMode, "msdn"), PRESENT(G, SetTextColor, "msdn"),
    PRESENT(G, StretchBlt, "imports"), PRESENT(G, StretchDIBits, "msdn"),
    PRESENT(G, TextOutA, "msdn"), PRESENT(G, TextOutW, "limits"),
    MISSING(G, SetDCBrushColor, "msdn (Windows 2000)"),
    STUB_ROW(G, CreateFontIndirectW, "limits"), STUB_ROW(G, GetObjectW, "limits"),

    // advapi32
    RULED(A, RegSetValueExA, "msdn (Windows 95: a string is stored with one NUL after its text)"),
    RULED(A, RegDeleteKeyA, "msdn (Windows 95/98: also deletes all subkeys)"),
    PRESENT(A, GetUserNameA, "msdn"), PRESENT(A, RegCloseKey, "imports"),
    PRESENT(A, RegCreateKeyExA, "imports"), PRESENT(A, RegDeleteValueA, "msdn"),
    PRESENT(A, RegEnumKeyExA, "msdn"), PRESENT(A, RegEnumValueA, "msdn"),
    PRESENT(A, RegFlushKey, "imports"), PRESENT(A, RegOpenKeyExA, "imports"),
    PRESENT(A, RegQueryInfoKeyA, "msdn"), PRESENT(A, RegQueryValueExA, "imports"),
    MISSING(A, RegOpenCurrentUser, "msdn (Windows 2000)"),
    MISSING(A, RegDeleteKeyExA, "msdn (Windows XP x64)"),
    MISSING(A, RegDeleteTreeA, "msdn (Windows Vista)"),
    MISSING(A, RegGetValueA, "msdn (Windows Vista)"),
    STUB_ROW(A, RegOpenKeyExW, "limits"), STUB_ROW(A, RegCreateKeyExW, "limits"),
    STUB_ROW(A, RegSetValueExW, "limits"), STUB_ROW(A, RegQueryValueExW, "limits"),
    STUB_ROW(A, RegDeleteKeyW, "limits"), STUB_ROW(A, RegDeleteValueW, "limits"),
    STUB_ROW(A, RegEnumKeyExW, "limits"), STUB_ROW(A, GetUserNameW, "limits"),

    // shell32 4.00
    PRESENT(S, DragQueryFileA, "msdn"), PRESENT(S, SHAddToRecentDocs, "msdn"),
    PRESENT(S, SHBrowseForFolderA, "msdn"), PRESENT(S, SHChangeNotify, "msdn"),
    PRESENT(S, SHFileOperationA, "msdn"), PRESENT(S, SHGetDesktopFolder, "msdn"),
    PRESENT(S, SHGetFileInfoA, "msdn"), PRESENT(S, SHGetMalloc, "imports"),
    PRESENT(S, SHGetPathFromIDListA, "imports"), PRESENT(S, SHGetSpecialFolderLocation, "imports"),
    PRESENT(S, ShellExecuteA, "msdn"), PRESENT(S, ShellExecuteExA, "msdn"),
    PRESENT(S, Shell_NotifyIconA, "msdn"),
    MISSING(S, DllGetVersion, "comctl (shell32 4.71)"),
    MISSING(S, SHGetSpecialFolderPathA, "comctl (shell32 4.71)"),
    MISSING(S, SHGetFolderPathA, "comctl (shell32 5.0; shfolder.dll elsewhere)"),
    MISSING(S, SHGetFolderLocation, "comctl (shell32 5.0)"),
    MISSING(S, SHCreateDirectoryExA, "comctl (shell32 5.0)"),
    STUB_ROW(S, SHGetPathFromIDListW, "limits"), STUB_ROW(S, ShellExecuteW, "limits"),

    // ole32 without DCOM
    PRESENT(O, CLSIDFromString, "msdn"), PRESENT(O, CoCreateGuid, "msdn"),
    PRESENT(O, CoCreateInstance, "imports"), PRESENT(O, CoFreeUnusedLibraries, "msdn"),
    PRESENT(O, CoGetMalloc, "msdn"), PRESENT(O, CoInitialize, "imports"),
    PRESENT(O, CoTaskMemAlloc, "msdn"), PRESENT(O, CoTaskMemFree, "msdn"),
    PRESENT(O, CoUninitialize, "imports"), PRESENT(O, OleInitialize, "msdn"),
    PRESENT(O, OleUninitialize, "msdn"), PRESENT(O, StringFromGUID2, "msdn"),
    MISSING(O, CoInitializeEx, "dcom"), MISSING(O, CoCreateInstanceEx, "dcom"),
    MISSING(O, CoInitializeSecurity, "dcom"), MISSING(O, CoSetProxyBlanket, "dcom"),

    // comctl32 4.00
    PRESENT(C, CreateMappedBitmap, "comctl"), PRESENT(C, CreatePropertySheetPageA, "comctl"),
    PRESENT(C, CreateStatusWindowA, "comctl"), PRESENT(C, CreateToolbarEx, "comctl"),
    PRESENT(C, CreateUpDownControl, "comctl"), PRESENT(C, DestroyPropertySheetPage, "comctl"),
    PRESENT(C, DrawInsert, "comctl"), PRESENT(C, DrawStatusTextA, "comctl"),
    PRESENT(C, GetEffectiveClientRect, "comctl"), PRESENT(C, ImageList_Add, "comctl"),
    PRESENT(C, ImageList_AddMasked, "comctl"), PRESENT(C, ImageList_Create, "comctl"),
    PRESENT(C, ImageList_Destroy, "comctl"), PRESENT(C, ImageList_Draw, "comctl"),
    PRESENT(C, ImageList_LoadImageA, "comctl"), PRESENT(C, ImageList_ReplaceIcon, "comctl"),
    PRESENT(C, InitCommonControls, "imports; comctl"), PRESENT(C, LBItemFromPt, "comctl"),
    PRESENT(C, MakeDragList, "comctl"), PRESENT(C, MenuHelp, "comctl"),
    PRESENT(C, PropertySheetA, "comctl"), PRESENT(C, ShowHideMenuCtl, "comctl"),
    MISSING(C, InitCommonControlsEx, "comctl (comctl32 4.70)"),
    MISSING(C, ImageList_SetImageCount, "comctl (comctl32 4.70)"),
    MISSING(C, DllGetVersion, "comctl (comctl32 4.71)"),
    MISSING(C, _TrackMouseEvent, "comctl (comctl32 4.71)"),
    MISSING(C, FlatSB_EnableScrollBar, "comctl (comctl32 4.71)"),
    STUB_ROW(C, CreateStatusWindowW, "limits"),
};

const size_t WIN95_EXPORT_COUNT = sizeof WIN95_EXPORTS / sizeof WIN95_EXPORTS[0];

// The seven DLLs whose exports the table lists.
static const char* const LISTED_DLLS[] = {K, U, G, A, S, O, C};

// Further DLLs of retail Windows 95 a program might load; every other DLL counts as one it did
// not ship (msvcrt.dll came with Windows 98 and later updates, shfolder.dll and shlwapi.dll with
// Internet Explorer, psapi.dll and userenv.dll with the NT family).
static const char* const OTHER_WIN95_DLLS[] = {
    "comdlg32.dll", "version.dll", "winmm.dll",    "mpr.dll",      "wsock32.dll",
    "lz32.dll",     "oleaut32.dll", "rpcrt4.dll",  "msvcrt20.dll", "msvcrt40.dll",
    "winspool.drv", "msacm32.dll", "avifil32.dll", "msvfw32.dll",  "tapi32.dll",
    "ntdll.dll",
};

static bool in_list(const char* const* list, size_t count, const char* name)
{
    for (size_t i = 0; i < count; i++) {
        if (lstrcmpiA(list[i], name) == 0)
            return true;
    }
    return false;
}

bool is_listed_dll(const char* dll)
{
    char name[64];
    return dll_file_name(dll, name, sizeof name) &&
           in_list(LISTED_DLLS, sizeof LISTED_DLLS / sizeof LISTED_DLLS[0], name);
}

bool win95_ships_dll(const char* dll)
{
    char name[64];
    return dll_file_name(dll, name, sizeof name) &&
           (in_list(LISTED_DLLS, sizeof LISTED_DLLS / sizeof LISTED_DLLS[0], name) ||
            in_list(OTHER_WIN95_DLLS, sizeof OTHER_WIN95_DLLS / sizeof OTHER_WIN95_DLLS[0], name));
}

const Win95Export* find_win95_export(const char* dll, const char* name)
{
    char file[64];
    if (!dll_file_name(dll, file, sizeof file))
        return nullptr;
    for (size_t i = 0; i < WIN95_EXPORT_COUNT; i++) {
        // Exported names are compared as the loader compares them, exactly.
        if (lstrcmpiA(WIN95_EXPORTS[i].dll, file) == 0 && lstrcmpA(WIN95_EXPORTS[i].name, name) == 0)
            return &WIN95_EXPORTS[i];
    }
    return nullptr;
}

bool dll_file_name(const char* path, char* name, size_t capacity)
{
    const char* start = path;
    for (const char* c = path; *c != '\0'; c++) {
        if (*c == '\\' || *c == '/' || *c == ':')
            start = c + 1;
    }
    size_t length = lstrlenA(start);
    bool has_extension = false;
    for (size_t i = 0; i < length; i++)
        has_extension = start[i] == '.' ? true : has_extension;
    if (length == 0 || length + (has_extension ? 1 : 5) > capacity)
        return false;
    for (size_t i = 0; i <= length; i++)
        name[i] = (start[i] >= 'A' && start[i] <= 'Z') ? (char)(start[i] - 'A' + 'a') : start[i];
    if (!has_extension)
        lstrcatA(name, ".dll");
    return true;
}
