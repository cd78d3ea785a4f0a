// win95_rules_test.cpp -- the Windows 95 layer itself: win95_probe.exe, a program built as
// setup.exe is, started with the layer, finds each documented behaviour of retail Windows 95 that
// the layer makes happen, where Wine alone shows NT's; a program that imports what Windows 95
// does not export is stopped before it runs, with a message naming the import.

#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "support/test_support.h"
#include "support/win_test_support.h"
#include "win95/win95_inject.h"

// A program beside this test program.
static std::string beside_this_program(const char* name)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + name;
}

// Runs `command_line`, with the layer or without, and gives its exit code (-1: did not start).
static int64_t run(const std::string& command_line, bool with_layer)
{
    PROCESS_INFORMATION info;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string line = command_line;
    bool started = with_layer ? start_with_win95_rules(line.c_str(), nullptr, true, FALSE, &info)
                              : CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0,
                                               nullptr, nullptr, &startup, &info) != 0;
    if (!started)
        return -1;
    DWORD code = 0;
    if (WaitForSingleObject(info.hProcess, 60000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(info.hProcess, &code)) {
        TerminateProcess(info.hProcess, 1);
        code = 0xFFFF;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return code;
}

TEST(Win95Layer, ProgramFindsTheDocumentedBehaviour)
{
    ScratchFolder scratch;
    const std::string probe = "\"" + beside_this_program("win95_probe.exe") + "\" ";
    const struct {
        const char* name;
        bool wine_alone_differs;  // as every Windows version of Wine does
    } cases[] = {
        {"share_delete", true}, {"folder", true},      {"move_file_ex", true},
        {"wide_text", true},    {"exports", true},     {"dlls", true},
        {"disk_space", false},  {"format", false},     {"registry", false},
        {"progress_bar", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string line = probe + c.name + " " + win_path(scratch / "");
        EXPECT_EQ(0, run(line, true)) << "the number of the check that found otherwise";
        if (c.wine_alone_differs) {
            EXPECT_NE(0, run(line, false)) << "the probe sees no difference";
        }
    }
}

TEST(Win95Layer, ProgramImportingWhatWindows95LacksDoesNotStart)
{
    ScratchFolder scratch;
    std::string log = win_path(scratch / "win95_rules.log");
    SetEnvironmentVariableA("TRV_WIN95_LOG", log.c_str());
    int64_t code = run("\"" + beside_this_program("win95_probe_import.exe") + "\"", true);
    SetEnvironmentVariableA("TRV_WIN95_LOG", nullptr);
    EXPECT_EQ(0xC0000139, code);  // STATUS_ENTRYPOINT_NOT_FOUND
    Bytes text = read_file(log);
    EXPECT_NE(std::string::npos,
              std::string(text.begin(), text.end())
                  .find("win95_probe_import.exe cannot start on Windows 95: it imports "
                        "GetDiskFreeSpaceExA from KERNEL32.dll"));
}
