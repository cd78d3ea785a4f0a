// text.cpp -- bounded formatting and copying of texts, and the sort of a table of fixed-size rows.
//
// wsprintfA (user32) formats (text_win32.cpp): it is on every 32-bit Windows, needs no C runtime
// and writes at most 1024 bytes with the terminator, cutting a longer text without saying so. So
// it formats into a buffer of that size plus one, a text of 1023 characters or more counts as
// cut, and only a text that fits both that limit and the caller's buffer is copied out.

#include "common/text.h"

#include <cstring>

bool format_text(char* dest, size_t capacity, const char* format, ...)
{
    char text[TEXT_FORMAT_LIMIT + 1];
    va_list arguments;
    va_start(arguments, format);
    int length = format_limited(text, format, arguments);
    va_end(arguments);
    if (capacity > 0)
        dest[0] = '\0';
    if (length < 0 || length >= TEXT_FORMAT_LIMIT - 1 || (size_t)length >= capacity)
        return false;
    memcpy(dest, text, (size_t)length + 1);
    return true;
}

bool copy_text(char* dest, size_t capacity, const char* source)
{
    size_t length = strlen(source);
    if (length >= capacity) {
        if (capacity > 0)
            dest[0] = '\0';
        return false;
    }
    memcpy(dest, source, length + 1);
    return true;
}

static void swap_rows(char* a, char* b, size_t row_bytes)
{
    for (size_t i = 0; i < row_bytes; i++) {
        char kept = a[i];
        a[i] = b[i];
        b[i] = kept;
    }
}

// Lets the row at `top` sink in the heap of the first `count` rows until no child is larger.
static void sift_down(char* rows, size_t top, size_t count, size_t row_bytes,
                      int (*compare)(const void*, const void*))
{
    for (;;) {
        size_t largest = top;
        size_t left = 2 * top + 1;
        size_t right = left + 1;
        if (left < count && compare(rows + left * row_bytes, rows + largest * row_bytes) > 0)
            largest = left;
        if (right < count && compare(rows + right * row_bytes, rows + largest * row_bytes) > 0)
            largest = right;
        if (largest == top)
            return;
        swap_rows(rows + top * row_bytes, rows + largest * row_bytes, row_bytes);
        top = largest;
    }
}

// A heap sort: no recursion, no extra memory, n log n steps for the longest table.
void sort_rows(void* rows, size_t count, size_t row_bytes,
               int (*compare)(const void* a, const void* b))
{
    char* table = (char*)rows;
    for (size_t top = count / 2; top-- > 0;)
        sift_down(table, top, count, row_bytes, compare);
    for (size_t end = count; end-- > 1;) {
        swap_rows(table, table + end * row_bytes, row_bytes);
        sift_down(table, 0, end, row_bytes, compare);
    }
}
