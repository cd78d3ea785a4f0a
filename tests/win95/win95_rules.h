// win95_rules.h -- the parts of the Windows 95 layer (win95_rules.dll) that its files share: the
// table of what retail Windows 95 (4.00.950) exports from the DLLs a program of ours may import,
// the scope the layer runs in, and its log.
//
// The layer is loaded into a program under Wine by win95_inject; its DllMain points the main
// module's imports at the replacements of the table, so that the program meets the documented
// behaviour of Windows 95 instead of Wine's NT behaviour.

#pragma once

#include <cstdint>

#include <windows.h>

// How strictly the layer treats the program it is in.
//   WIN95_PROGRAM: a program built for Windows 95 (setup.exe): every rule, and an import that
//     Windows 95 lacks ends the process at load, as the 95 loader refuses such a program.
//   WIN95_TESTS: a test program or tool with the C runtime, which itself needs the NT family:
//     the rules on the ANSI functions our code calls, the answers of GetProcAddress for the
//     functions the table names; its imports, the wide-character functions and the loading of
//     DLLs are left alone.
enum Win95Scope { WIN95_PROGRAM, WIN95_TESTS };
extern Win95Scope win95_scope;

// What Windows 95 does with one exported function.
enum Win95State {
    WIN95_PRESENT,  // exported and working (through `replacement`, a rule, when there is one)
    WIN95_STUB,     // exported, but fails with ERROR_CALL_NOT_IMPLEMENTED (`replacement` does)
    WIN95_MISSING,  // not exported: the import is refused, GetProcAddress returns null
};

// One row of the table: `dll` in lower case with its extension; `source` names the
// documentation the row follows (README.md, "The Windows 95 run", lists them).
struct Win95Export {
    const char* dll;
    const char* name;
    Win95State state;
    FARPROC replacement;
    const char* source;
};

extern const Win95Export WIN95_EXPORTS[];
extern const size_t WIN95_EXPORT_COUNT;

// The row of `name` in `dll` (any case, with or without folder and ".dll"), or null when the
// table does not know the function.
const Win95Export* find_win95_export(const char* dll, const char* name);

// True for the DLLs our programs may import, whose exports the table lists.
bool is_listed_dll(const char* dll);
// True for a DLL that retail Windows 95 installs; false for the ones it did not ship
// (msvcrt.dll, shfolder.dll, ...) and for any the layer does not know.
bool win95_ships_dll(const char* dll);

// The lower-case file name of a module or path ("C:\windows\system32\KERNEL32.dll" gives
// "kernel32.dll", "comctl32" gives "comctl32.dll"); false when it does not fit `capacity`.
bool dll_file_name(const char* path, char* name, size_t capacity);

// Notes a refused call or a rule that changed a result, once per rule and calling place:
// "win95_rules: setup.exe+0x1a2b: CreateFileA: FILE_SHARE_DELETE in the share mode ...".
// The lines go to the file named by TRV_WIN95_LOG, or to standard error without it.
void win95_log(const void* caller, const char* function, const char* what, const char* detail);

// The replacements of the rules (win95_calls.cpp), which the table points at, and the hook that
// makes progress bars of this process behave as comctl32 4.00's.
void install_progress_hook();
