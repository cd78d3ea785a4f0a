// runtime.cpp -- what setup.exe has instead of a C runtime: its entry point, and the memory and
// string routines that GCC calls for copies and initialisations and that setup and the archive
// library call by their C names.
//
// Linked into setup.exe alone; the tests that run the same code link the C runtime instead.
// Plain byte loops: setup copies paths and small records, and the decoder copies matches of at
// most 17 bytes and 4 KiB once per 64 KiB it decodes (the sample's typical group, 1.3 MB, decodes
// in about 20 ms under Wine). This file is built with -fno-tree-loop-distribute-patterns, so that
// GCC does not turn the loops back into calls of the very routines they define.

#include <windows.h>

extern "C" {

void* memcpy(void* dest, const void* source, size_t count)
{
    unsigned char* to = (unsigned char*)dest;
    const unsigned char* from = (const unsigned char*)source;
    while (count-- > 0)
        *to++ = *from++;
    return dest;
}

void* memmove(void* dest, const void* source, size_t count)
{
    unsigned char* to = (unsigned char*)dest;
    const unsigned char* from = (const unsigned char*)source;
    if (to <= from || to >= from + count)
        return memcpy(dest, source, count);
    while (count-- > 0)
        to[count] = from[count];
    return dest;
}

void* memset(void* dest, int value, size_t count)
{
    unsigned char* to = (unsigned char*)dest;
    while (count-- > 0)
        *to++ = (unsigned char)value;
    return dest;
}

int memcmp(const void* a, const void* b, size_t count)
{
    const unsigned char* first = (const unsigned char*)a;
    const unsigned char* second = (const unsigned char*)b;
    for (size_t i = 0; i < count; i++) {
        if (first[i] != second[i])
            return first[i] < second[i] ? -1 : 1;
    }
    return 0;
}

void* memchr(const void* bytes, int value, size_t count)
{
    const unsigned char* at = (const unsigned char*)bytes;
    for (size_t i = 0; i < count; i++) {
        if (at[i] == (unsigned char)value)
            return (void*)(at + i);
    }
    return nullptr;
}

size_t strlen(const char* text)
{
    size_t length = 0;
    while (text[length] != '\0')
        length++;
    return length;
}

// The command line after the program's name and the blanks behind it. The name is quoted when
// it holds blanks; an unclosed quote takes the rest of the line.
static char* after_program_name(char* line)
{
    if (*line == '"') {
        line++;
        while (*line != '\0' && *line != '"')
            line++;
        if (*line == '"')
            line++;
    } else {
        while (*line != '\0' && *line != ' ' && *line != '\t')
            line++;
    }
    while (*line == ' ' || *line == '\t')
        line++;
    return line;
}

// The entry point the linker is given (-e): the module handle and the command line come from the
// system, and WinMain's result is the exit code.
void WINAPI WinMainCRTStartup()
{
    char* arguments = after_program_name(GetCommandLineA());
    int code = WinMain(GetModuleHandleA(nullptr), nullptr, arguments, SW_SHOWDEFAULT);
    ExitProcess((UINT)code);
}

}
