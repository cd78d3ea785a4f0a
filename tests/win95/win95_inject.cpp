// win95_inject.cpp -- starts a program with the Windows 95 layer loaded into it before its
// first instruction.
//
// Under Wine the first thread to run in a new process does the process's initialisation: it
// binds the imports and attaches the DLLs. Here that thread is ours, made with
// CreateRemoteThread to run LoadLibraryA on the layer's path, so the layer's DllMain sees the
// main module's imports bound; the program's own thread, created suspended, starts at its entry
// point once that is done. LoadLibraryA is at the same address in every process of one bitness.

#include "win95/win95_inject.h"

#include <cstring>

bool win95_rules_on()
{
    char value[8];
    DWORD length = GetEnvironmentVariableA("TRV_WIN95_RULES", value, sizeof value);
    return length > 0 && !(length == 1 && value[0] == '0');
}

const char* win95_rules_dll() { return WIN95_RULES_DLL; }

// Runs LoadLibraryA(dll) in `process` and waits for it; false when the layer did not load.
static bool load_layer(HANDLE process, const char* dll)
{
    size_t size = std::strlen(dll) + 1;
    void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr)
        return false;
    bool loaded = false;
    FARPROC load_library = GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA");
    if (WriteProcessMemory(process, remote, dll, size, nullptr) && load_library != nullptr) {
        HANDLE thread = CreateRemoteThread(
            process, nullptr, 0,
            reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(load_library)),
            remote, 0, nullptr);
        if (thread != nullptr) {
            DWORD module = 0;  // the low half of the module handle: zero when loading failed
            loaded = WaitForSingleObject(thread, 60000) == WAIT_OBJECT_0 &&
                     GetExitCodeThread(thread, &module) && module != 0;
            CloseHandle(thread);
        }
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return loaded;
}

bool start_with_win95_rules(const char* command_line, const char* folder, bool program_scope,
                            bool inherit_handles, PROCESS_INFORMATION* info)
{
    size_t length = std::strlen(command_line);
    char* line = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
    if (line == nullptr)
        return false;
    std::memcpy(line, command_line, length + 1);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    // The scope reaches the layer through the new process's environment, a copy of ours.
    char previous[16];
    DWORD had = GetEnvironmentVariableA("TRV_WIN95_SCOPE", previous, sizeof previous);
    SetEnvironmentVariableA("TRV_WIN95_SCOPE", program_scope ? "program" : "tests");
    bool started = CreateProcessA(nullptr, line, nullptr, nullptr, inherit_handles,
                                  CREATE_SUSPENDED, nullptr, folder, &startup, info) != 0;
    SetEnvironmentVariableA("TRV_WIN95_SCOPE",
                            had > 0 && had < sizeof previous ? previous : nullptr);
    HeapFree(GetProcessHeap(), 0, line);
    if (!started)
        return false;
    if (!load_layer(info->hProcess, win95_rules_dll())) {
        TerminateProcess(info->hProcess, 1);
        CloseHandle(info->hThread);
        CloseHandle(info->hProcess);
        return false;
    }
    ResumeThread(info->hThread);
    return true;
}
