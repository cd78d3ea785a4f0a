// runtime.cpp -- what setup.exe has instead of a C runtime: its entry point, and the memory and
// string routines that GCC calls for copies and initialisations and that setup and the archive
// library call by their C names.
//
// Linked into setup.exe alone; the tests link the C runtime instead, and call the bodies
// (runtime_routines.h) by their own names.
// Plain byte loops: setup copies paths and small records, and the decoder copies matches of at
// most 17 bytes and 4 KiB once per 64 KiB it decodes (the sample's typical group, 1.3 MB, decodes
// in about 20 ms under Wine). This file is built with -fno-tree-loop-distribute-patterns, so that
// GCC does not turn the loops back into calls of the very routines they define.

#include "runtime_routines.h"

#include <windows.h>

extern "C" {

void* memcpy(void* dest, const void* source, size_t count)
{
    return copy_bytes(dest, source, count);
}

void* memmove(void* dest, const void* source, size_t count)
{
    return move_bytes(dest, source, count);
}

void* memset(void* dest, int value, size_t count)
{
    return fill_bytes(dest, value, count);
}

int memcmp(const void* a, const void* b, size_t count)
{
    return compare_bytes(a, b, count);
}

void* memchr(const void* bytes, int value, size_t count)
{
    return find_byte(bytes, value, count);
}

size_t strlen(const char* text)
{
    return text_length(text);
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
