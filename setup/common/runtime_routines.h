// runtime_routines.h -- the bodies of setup.exe's memory and string routines and of its
// command-line step, under names of their own: runtime.cpp gives them their C names, and the
// native tests call them as they are.
//
// Plain byte loops. Whatever includes this is built with -fno-tree-loop-distribute-patterns, so
// that GCC does not turn the loops into calls of the C routines they stand for.

#pragma once

#include <stddef.h>

inline void* copy_bytes(void* dest, const void* source, size_t count)
{
    unsigned char* to = (unsigned char*)dest;
    const unsigned char* from = (const unsigned char*)source;
    while (count-- > 0)
        *to++ = *from++;
    return dest;
}

// Copies front to back unless the destination starts inside the source, where a forward copy
// would overwrite bytes before it reads them.
inline void* move_bytes(void* dest, const void* source, size_t count)
{
    unsigned char* to = (unsigned char*)dest;
    const unsigned char* from = (const unsigned char*)source;
    if (to <= from || to >= from + count)
        return copy_bytes(dest, source, count);
    while (count-- > 0)
        to[count] = from[count];
    return dest;
}

inline void* fill_bytes(void* dest, int value, size_t count)
{
    unsigned char* to = (unsigned char*)dest;
    while (count-- > 0)
        *to++ = (unsigned char)value;
    return dest;
}

// Negative, zero or positive as the first differing byte, taken unsigned, is smaller or larger.
inline int compare_bytes(const void* a, const void* b, size_t count)
{
    const unsigned char* first = (const unsigned char*)a;
    const unsigned char* second = (const unsigned char*)b;
    for (size_t i = 0; i < count; i++) {
        if (first[i] != second[i])
            return first[i] < second[i] ? -1 : 1;
    }
    return 0;
}

inline void* find_byte(const void* bytes, int value, size_t count)
{
    const unsigned char* at = (const unsigned char*)bytes;
    for (size_t i = 0; i < count; i++) {
        if (at[i] == (unsigned char)value)
            return (void*)(at + i);
    }
    return nullptr;
}

inline size_t text_length(const char* text)
{
    size_t length = 0;
    while (text[length] != '\0')
        length++;
    return length;
}

// The command line after the program's name and the blanks (spaces, tabs) behind it. The name is
// quoted when it holds blanks; an unclosed quote takes the rest of the line.
inline char* after_program_name(char* line)
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
