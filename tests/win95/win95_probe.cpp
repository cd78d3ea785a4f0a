// win95_probe.cpp -- a program built as setup.exe is (no C runtime, the seven system DLLs) that
// tries one documented behaviour of Windows 95 and ends with 0 when it found it, or with the
// number of the check that found otherwise. win95_rules_test.cpp runs it with the layer.
//   win95_probe.exe CASE FOLDER      FOLDER: a scratch folder (with a final "\") it may write in

#include <windows.h>

#include <commctrl.h>

// Fails the case with `code` unless `holds`.
#define CHECK(code, holds)                                                                    \
    do {                                                                                      \
        if (!(holds))                                                                         \
            return code;                                                                      \
    } while (0)

static char folder[MAX_PATH];

static int create_with_share_delete()
{
    char path[MAX_PATH + 16];
    wsprintfA(path, "%sshared.txt", folder);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(1, file == INVALID_HANDLE_VALUE);
    CHECK(2, GetLastError() == ERROR_INVALID_PARAMETER);
    file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(3, file != INVALID_HANDLE_VALUE);
    // An OVERLAPPED works on serial devices only.
    OVERLAPPED overlapped = {};
    DWORD written = 0;
    CHECK(4, !WriteFile(file, "x", 1, &written, &overlapped));
    CHECK(5, GetLastError() == ERROR_INVALID_PARAMETER);
    CloseHandle(file);
    return 0;
}

static int open_a_folder()
{
    HANDLE file = CreateFileA(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    CHECK(1, file == INVALID_HANDLE_VALUE);
    return 0;
}

typedef BOOL(WINAPI* MoveFileExFunction)(const char*, const char*, DWORD);

static int move_file_ex_is_a_stub()
{
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "MoveFileExA");
    CHECK(1, found != nullptr);
    MoveFileExFunction move_file_ex = (MoveFileExFunction)(void (*)())found;
    char from[MAX_PATH + 16], to[MAX_PATH + 16];
    wsprintfA(from, "%sfrom.txt", folder);
    wsprintfA(to, "%sto.txt", folder);
    // Called through a pointer: a stub that popped the wrong number of bytes would leave this
    // frame's stack pointer off, which the next call through the frame shows.
    CHECK(2, !move_file_ex(from, to, MOVEFILE_REPLACE_EXISTING));
    CHECK(3, GetLastError() == ERROR_CALL_NOT_IMPLEMENTED);
    CHECK(4, lstrlenA(from) > 0);
    return 0;
}

static int wide_text_is_a_stub()
{
    HWND window = CreateWindowExA(0, "STATIC", "ansi", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    CHECK(1, window != nullptr);
    const WCHAR wide[] = {'w', 'i', 'd', 'e', 0};
    BOOL set = SetWindowTextW(window, wide);
    DWORD error = GetLastError();
    char text[16];
    GetWindowTextA(window, text, sizeof text);
    DestroyWindow(window);
    CHECK(2, !set && error == ERROR_CALL_NOT_IMPLEMENTED);
    CHECK(3, lstrcmpA(text, "ansi") == 0);
    return 0;
}

static int later_exports_are_missing()
{
    const struct {
        const char* dll;
        const char* name;
    } missing[] = {
        {"kernel32.dll", "GetDiskFreeSpaceExA"}, {"kernel32.dll", "GetTickCount64"},
        {"comctl32.dll", "InitCommonControlsEx"}, {"ole32.dll", "CoInitializeEx"},
        {"shell32.dll", "SHGetSpecialFolderPathA"}, {"user32.dll", "GetAncestor"},
    };
    int code = 1;
    for (const auto& row : missing) {
        HMODULE module = LoadLibraryA(row.dll);
        CHECK(code, module != nullptr && GetProcAddress(module, row.name) == nullptr);
        code++;
    }
    CHECK(code, GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceA") != nullptr);
    return 0;
}

static int later_dlls_are_missing()
{
    CHECK(1, LoadLibraryA("msvcrt.dll") == nullptr);
    CHECK(2, LoadLibraryA("SHFOLDER") == nullptr);
    CHECK(3, GetModuleHandleA("msvcrt.dll") == nullptr);
    CHECK(4, LoadLibraryA("comdlg32.dll") != nullptr);
    return 0;
}

static int disk_space_ends_at_2_gb()
{
    DWORD sectors = 0, bytes = 0, free = 0, total = 0;
    CHECK(1, GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &free, &total));
    CHECK(2, total <= 65536 && free <= total);
    CHECK(3, (ULONGLONG)sectors * bytes * total <= 0x80000000u);
    return 0;
}

static int format_cuts_at_1024()
{
    static char long_text[2000];
    for (int i = 0; i < 1999; i++)
        long_text[i] = 'a' + i % 26;
    static char out[2100];
    out[1023] = 'x';
    out[1024] = 'y';
    CHECK(1, wsprintfA(out, "%s", long_text) == 1023);
    CHECK(2, out[1023] == '\0' && out[1024] == 'y');
    return 0;
}

static const char PROBE_KEY[] = "Software\\TRV99 win95 probe";

static int registry_as_95()
{
    HKEY key;
    CHECK(1, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\TRV99 win95 probe\\sub\\deeper", 0,
                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS);
    char field[256] = "C:\\trv";
    CHECK(2, RegSetValueExA(key, "text", 0, REG_SZ, (const BYTE*)field, sizeof field) ==
                 ERROR_SUCCESS);
    DWORD size = 0;
    CHECK(3, RegQueryValueExA(key, "text", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS);
    RegCloseKey(key);
    CHECK(4, size == 7);
    // The key goes with its subkeys.
    CHECK(5, RegDeleteKeyA(HKEY_CURRENT_USER, PROBE_KEY) == ERROR_SUCCESS);
    CHECK(6, RegOpenKeyExA(HKEY_CURRENT_USER, PROBE_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS);
    return 0;
}

static HWND make_progress_bar()
{
    InitCommonControls();
    return CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

static DWORD WINAPI ask_range(void* bar)
{
    return (DWORD)SendMessageA((HWND)bar, PBM_GETRANGE, FALSE, 0);
}

static int progress_bar_is_comctl32_400()
{
    HWND bar = make_progress_bar();
    CHECK(1, bar != nullptr);
    SendMessageA(bar, PBM_SETRANGE32, 0, 50);  // 4.70: ignored by 4.00
    LRESULT before = SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 20));
    CHECK(2, before == MAKELONG(0, 100));  // the default range was still set
    CHECK(3, SendMessageA(bar, PBM_GETRANGE, FALSE, 0) == 0);
    // Asked from another thread, the real control answers.
    HANDLE thread = CreateThread(nullptr, 0, ask_range, bar, 0, nullptr);
    CHECK(4, thread != nullptr);
    DWORD high = 0;
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    GetExitCodeThread(thread, &high);
    CloseHandle(thread);
    DestroyWindow(bar);
    CHECK(5, high == 20);
    return 0;
}

static const struct {
    const char* name;
    int (*run)();
} CASES[] = {
    {"share_delete", create_with_share_delete}, {"folder", open_a_folder},
    {"move_file_ex", move_file_ex_is_a_stub},   {"wide_text", wide_text_is_a_stub},
    {"exports", later_exports_are_missing},     {"dlls", later_dlls_are_missing},
    {"disk_space", disk_space_ends_at_2_gb},    {"format", format_cuts_at_1024},
    {"registry", registry_as_95},               {"progress_bar", progress_bar_is_comctl32_400},
};

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int)
{
    // "CASE FOLDER"
    char name[32];
    int length = 0;
    while (arguments[length] != '\0' && arguments[length] != ' ' && length < 31) {
        name[length] = arguments[length];
        length++;
    }
    name[length] = '\0';
    lstrcpynA(folder, arguments[length] == ' ' ? arguments + length + 1 : "", MAX_PATH);
    for (const auto& probe : CASES) {
        if (lstrcmpA(probe.name, name) == 0)
            return probe.run();
    }
    return 99;
}
