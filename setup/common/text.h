// text.h -- bounded formatting and copying of texts, and the sort of a table of fixed-size rows:
// what setup needs of the C library's text and sort functions, on the Win32 API.

#pragma once

#include <cstddef>

// Formats as wsprintfA does (%s %c %d %u %x %ld %lu, widths; no 64-bit numbers, no floating
// point) into `dest`. False, with `dest` empty, when the text needs `capacity` bytes or more, or
// reaches wsprintfA's limit (1023 characters and its terminator): a text is never cut.
bool format_text(char* dest, size_t capacity, const char* format, ...)
    __attribute__((format(ms_printf, 3, 4)));

// Copies `source` into `dest`. False, with `dest` empty, when it does not fit `capacity` bytes.
bool copy_text(char* dest, size_t capacity, const char* source);

// Sorts `count` rows of `row_bytes` bytes each in place, as qsort would with `compare`.
void sort_rows(void* rows, size_t count, size_t row_bytes,
               int (*compare)(const void* a, const void* b));
