// win95_run.cpp -- runs a program with the Windows 95 layer in it and ends with its exit code:
// cmake/wine-exec puts it in front of every test program of the Windows 95 run.
//   win95_run.exe [--program] PROGRAM [ARGUMENTS...]
// --program: every rule, as for setup.exe; without it, the test programs' scope. PROGRAM may
// be a Linux path ("/work/.../codec_test.exe", as ctest gives it); the arguments pass unchanged.

#include <cstdio>
#include <cstring>
#include <string>

#include <windows.h>

#include "win95/win95_inject.h"

// The word at `line` (quoted or not) in `word`, and where the blanks after it end.
static const char* next_word(const char* line, std::string* word)
{
    word->clear();
    if (*line == '"') {
        for (line++; *line != '\0' && *line != '"'; line++)
            word->push_back(*line);
        if (*line == '"')
            line++;
    } else {
        for (; *line != '\0' && *line != ' ' && *line != '\t'; line++)
            word->push_back(*line);
    }
    while (*line == ' ' || *line == '\t')
        line++;
    return line;
}

int main()
{
    std::string word;
    const char* rest = next_word(GetCommandLineA(), &word);  // our own name
    rest = next_word(rest, &word);
    bool program_scope = word == "--program";
    if (program_scope)
        rest = next_word(rest, &word);
    if (word.empty()) {
        std::fprintf(stderr, "usage: win95_run.exe [--program] PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    if (word[0] == '/') {
        word = "Z:" + word;  // drive Z: is the Linux root
        for (char& c : word)
            c = c == '/' ? '\\' : c;
    }
    std::string line = "\"" + word + "\"";
    if (*rest != '\0')
        line += " " + std::string(rest);

    PROCESS_INFORMATION info;
    if (!start_with_win95_rules(line.c_str(), nullptr, program_scope, TRUE, &info)) {
        std::fprintf(stderr, "win95_run: cannot start %s with %s (error %lu)\n", word.c_str(),
                     win95_rules_dll(), (unsigned long)GetLastError());
        return 126;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return (int)code;
}
