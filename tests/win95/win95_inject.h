// win95_inject.h -- starts a program with the Windows 95 layer (win95_rules.dll) in it: the
// process is created suspended, a thread of ours loads the layer into it (the layer's DllMain
// then finds the program's imports bound and points them at its rules), and only then does the
// program's own thread start.
//
// The Windows 95 run is on when the environment variable TRV_WIN95_RULES is set to anything but
// "" or "0" (scripts/test.sh sets it; cmake/wine-exec and the end-to-end fixture honour it).

#pragma once

#include <windows.h>

// True when the Windows 95 run is on.
bool win95_rules_on();

// The layer's path in this build tree, as the programs under Wine see it.
const char* win95_rules_dll();

// CreateProcessA(nullptr, command_line, ..., folder, ...) with the layer loaded into the new
// process before it runs: `program_scope` true for a program built for Windows 95 (every rule,
// refused imports end it), false for a test program or tool. False, with nothing left running,
// when the process cannot be started or the layer cannot be loaded into it.
bool start_with_win95_rules(const char* command_line, const char* folder, bool program_scope,
                            bool inherit_handles, PROCESS_INFORMATION* info);
