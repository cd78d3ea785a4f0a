// text.h -- bounded formatting and copying of texts, and the sort of a table of fixed-size rows:
// what setup needs of the C library's text and sort functions, on the Win32 API.

#pragma once

#include <cstddef>
#include <stdarg.h>

// The compiler checks format_text's arguments as Microsoft's printf takes them; a native build,
// whose compiler knows only its own printf, as that one.
#if defined(_WIN32)
#define TEXT_FORMAT_CHECK __attribute__((format(ms_printf, 3, 4)))
#else
#define TEXT_FORMAT_CHECK __attribute__((format(printf, 3, 4)))
#endif

// Formats as wsprintfA does (%s %c %d %u %x %ld %lu, widths; no 64-bit numbers, no floating
// point) into `dest`. False, with `dest` empty, when the text needs `capacity` bytes or more, or
// reaches wsprintfA's limit (1023 characters and its terminator): a text is never cut.
bool format_text(char* dest, size_t capacity, const char* format, ...) TEXT_FORMAT_CHECK;

// The most wsprintfA writes, its terminator included.
enum { TEXT_FORMAT_LIMIT = 1024 };

// The formatter under format_text: writes into `text`, which holds TEXT_FORMAT_LIMIT + 1 bytes,
// as wvsprintfA does, and returns the count of characters written. A longer text is cut to the
// limit without saying so; negative when formatting fails. wvsprintfA itself on Windows
// (text_win32.cpp); a native program that links text.cpp brings its own.
int format_limited(char* text, const char* format, va_list arguments);

// Copies `source` into `dest`. False, with `dest` empty, when it does not fit `capacity` bytes.
bool copy_text(char* dest, size_t capacity, const char* source);

// Sorts `count` rows of `row_bytes` bytes each in place, as qsort would with `compare`.
void sort_rows(void* rows, size_t count, size_t row_bytes,
               int (*compare)(const void* a, const void* b));
