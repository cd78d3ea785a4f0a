// win95_rules.cpp -- the Windows 95 layer's entry: when the DLL is loaded into a program (by
// win95_inject, before the program's first instruction), it points the main module's imports at
// the rules of the table, refuses a program that imports what Windows 95 lacks, and answers
// GetProcAddress, LoadLibraryA and GetModuleHandleA as Windows 95 would.
//
// Environment: TRV_WIN95_SCOPE ("program" or "tests", set by the injector for the program it
// starts) and TRV_WIN95_LOG (the file the log lines are appended to).

#include "win95/win95_rules.h"

#include <cstdio>
#include <cstring>

Win95Scope win95_scope = WIN95_TESTS;

static CRITICAL_SECTION log_lock;

// ---- log

struct LoggedRule {
    const char* what;
    const void* caller;
    const char* detail;
};
static LoggedRule logged[256];
static size_t logged_count = 0;

// True the first time a rule meets a calling place (for the progress bar: a message).
static bool first_time(const char* what, const void* caller, const char* detail)
{
    for (size_t i = 0; i < logged_count; i++) {
        if (logged[i].what == what && logged[i].caller == caller && logged[i].detail == detail)
            return false;
    }
    if (logged_count < sizeof logged / sizeof logged[0])
        logged[logged_count++] = LoggedRule{what, caller, detail};
    return true;
}

// "setup.exe+0x1a2b" for a return address, or "" without one.
static void describe_caller(const void* caller, char* text, size_t capacity)
{
    text[0] = '\0';
    HMODULE module = nullptr;
    if (caller == nullptr ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCSTR)caller, &module))
        return;
    char path[MAX_PATH];
    char name[MAX_PATH];
    if (GetModuleFileNameA(module, path, sizeof path) == 0 ||
        !dll_file_name(path, name, sizeof name))
        return;
    std::snprintf(text, capacity, "%s+0x%llx: ", name,
                  (unsigned long long)((const char*)caller - (const char*)module));
}

static void write_log_line(const char* line)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("TRV_WIN95_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, (DWORD)std::strlen(line), &written, nullptr);
    CloseHandle(file);
}

void win95_log(const void* caller, const char* function, const char* what, const char* detail)
{
    EnterCriticalSection(&log_lock);
    bool first = first_time(what, caller, caller == nullptr ? detail : nullptr);
    LeaveCriticalSection(&log_lock);
    if (!first)
        return;
    char place[MAX_PATH + 32];
    describe_caller(caller, place, sizeof place);
    char line[1024];
    std::snprintf(line, sizeof line, "win95_rules: [%lu] %s%s: %s%s%s%s\n",
                  (unsigned long)GetCurrentProcessId(), place, function, what,
                  detail ? " (" : "", detail ? detail : "", detail ? ")" : "");
    write_log_line(line);
}

// ---- which rows apply

// In a test program the layer leaves the loader functions and the wide-character stubs alone:
// its C runtime needs them, and they are not what the tests are about.
static bool applies(const Win95Export& row)
{
    if (win95_scope == WIN95_PROGRAM)
        return true;
    if (row.state == WIN95_MISSING || row.replacement == nullptr)
        return row.state == WIN95_MISSING;
    size_t length = std::strlen(row.name);
    if (row.state == WIN95_STUB)
        return row.name[length - 1] != 'W';
    return std::strcmp(row.name, "LoadLibraryA") != 0 &&
           std::strcmp(row.name, "LoadLibraryExA") != 0 &&
           std::strcmp(row.name, "GetModuleHandleA") != 0;
}

// What GetProcAddress gives for `name` of the listed DLL `dll` instead of `real`.
static FARPROC answer_for(const char* dll, const char* name, FARPROC real, const void* caller)
{
    const Win95Export* row = find_win95_export(dll, name);
    if (row == nullptr) {
        if (win95_scope == WIN95_TESTS)
            return real;
        win95_log(caller, "GetProcAddress", "not exported by Windows 95: null", name);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (!applies(*row))
        return real;
    if (row->state == WIN95_MISSING) {
        win95_log(caller, "GetProcAddress", "not exported by Windows 95: null", name);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return row->replacement != nullptr ? row->replacement : real;
}

// ---- the loader's functions

FARPROC WINAPI win95_GetProcAddress(HMODULE module, LPCSTR name)
{
    FARPROC real = GetProcAddress(module, name);
    char path[MAX_PATH];
    if (real == nullptr || IS_INTRESOURCE(name) ||
        GetModuleFileNameA(module, path, sizeof path) == 0 || !is_listed_dll(path))
        return real;
    return answer_for(path, name, real, __builtin_return_address(0));
}

// Null, as for a file that is not there, for a DLL that Windows 95 did not ship.
static bool refuse_dll(const void* caller, const char* function, const char* path)
{
    if (path == nullptr || win95_ships_dll(path))
        return false;
    win95_log(caller, function, "a DLL that Windows 95 did not ship: null", path);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return true;
}

HMODULE WINAPI win95_LoadLibraryA(LPCSTR path)
{
    if (refuse_dll(__builtin_return_address(0), "LoadLibraryA", path))
        return nullptr;
    return LoadLibraryA(path);
}

HMODULE WINAPI win95_LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags)
{
    if (refuse_dll(__builtin_return_address(0), "LoadLibraryExA", path))
        return nullptr;
    return LoadLibraryExA(path, file, flags);
}

HMODULE WINAPI win95_GetModuleHandleA(LPCSTR path)
{
    if (refuse_dll(__builtin_return_address(0), "GetModuleHandleA", path))
        return nullptr;
    return GetModuleHandleA(path);
}

// ---- the main module's imports

enum : DWORD {
    WIN95_DLL_REFUSED = 0xC0000135,     // STATUS_DLL_NOT_FOUND
    WIN95_IMPORT_REFUSED = 0xC0000139,  // STATUS_ENTRYPOINT_NOT_FOUND
};

// Ends the process before its first instruction, as the Windows 95 loader refuses to start a
// program whose imports it cannot resolve; the message names the import.
static void refuse_program(const char* program, const char* dll, const char* name, DWORD status)
{
    char line[1024];
    if (name == nullptr)
        std::snprintf(line, sizeof line,
                      "win95_rules: [%lu] %s cannot start on Windows 95: it imports from %s, a "
                      "DLL that Windows 95 did not ship\n",
                      (unsigned long)GetCurrentProcessId(), program, dll);
    else
        std::snprintf(line, sizeof line,
                      "win95_rules: [%lu] %s cannot start on Windows 95: it imports %s from %s, "
                      "which Windows 95 does not export\n",
                      (unsigned long)GetCurrentProcessId(), program, name, dll);
    write_log_line(line);
    DWORD written;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, (DWORD)std::strlen(line), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), status);
}

static void set_slot(ULONG_PTR* slot, FARPROC function)
{
    DWORD protection;
    if (VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
        *slot = (ULONG_PTR)function;
        VirtualProtect(slot, sizeof *slot, protection, &protection);
    }
}

// One DLL's imports: each bound slot gets the rule of its row, or the program is refused.
static void patch_dll_imports(BYTE* base, const IMAGE_IMPORT_DESCRIPTOR& imports,
                              const char* program)
{
    const char* dll = (const char*)(base + imports.Name);
    bool listed = is_listed_dll(dll);
    if (win95_scope == WIN95_PROGRAM && !win95_ships_dll(dll))
        refuse_program(program, dll, nullptr, WIN95_DLL_REFUSED);
    if (!listed)
        return;
    DWORD names_at = imports.OriginalFirstThunk ? imports.OriginalFirstThunk : imports.FirstThunk;
    IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + names_at);
    IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + imports.FirstThunk);
    for (; names->u1.AddressOfData != 0; names++, slots++) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
            continue;  // by number: no name to look up (InitCommonControls is ordinal 17)
        const char* name = (const char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name;
        const Win95Export* row = find_win95_export(dll, name);
        bool missing = row == nullptr || row->state == WIN95_MISSING;
        if (win95_scope == WIN95_PROGRAM && missing)
            refuse_program(program, dll, name, WIN95_IMPORT_REFUSED);
        if (row != nullptr && row->replacement != nullptr && applies(*row))
            set_slot((ULONG_PTR*)&slots->u1.Function, row->replacement);
    }
}

static void patch_main_module()
{
    BYTE* base = (BYTE*)GetModuleHandleA(nullptr);
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0)
        return;
    char path[MAX_PATH];
    char program[MAX_PATH];
    if (GetModuleFileNameA(nullptr, path, sizeof path) == 0 ||
        !dll_file_name(path, program, sizeof program))
        lstrcpyA(program, "the program");
    const IMAGE_IMPORT_DESCRIPTOR* imports =
        (const IMAGE_IMPORT_DESCRIPTOR*)(base + directory.VirtualAddress);
    for (; imports->Name != 0; imports++)
        patch_dll_imports(base, *imports, program);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    InitializeCriticalSection(&log_lock);
    char scope[16];
    DWORD length = GetEnvironmentVariableA("TRV_WIN95_SCOPE", scope, sizeof scope);
    win95_scope = length > 0 && length < sizeof scope && lstrcmpiA(scope, "program") == 0
                      ? WIN95_PROGRAM
                      : WIN95_TESTS;
    // The program's own children get no layer unless their starter injects one.
    SetEnvironmentVariableA("TRV_WIN95_SCOPE", nullptr);
    patch_main_module();
    return TRUE;
}
