// file_list.cpp -- file list lines, suffix tests and stored-name checks.

#include "archive/file_list.h"

#include <cstring>

static bool is_list_whitespace(char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

char* collapse_whitespace(char* text, char separator)
{
    size_t out = 0;
    bool in_run = false;
    for (size_t in = 0; text[in] != '\0'; in++) {
        if (is_list_whitespace(text[in])) {
            in_run = out > 0;
            continue;
        }
        if (in_run) {
            text[out++] = separator;
            in_run = false;
        }
        text[out++] = text[in];
    }
    text[out] = '\0';
    return text;
}

bool has_suffix(const char* text, const char* variant1, const char* variant2)
{
    if (variant2 == nullptr)
        variant2 = variant1;
    size_t n = std::strlen(variant1);
    size_t length = std::strlen(text);
    if (length < n)
        return false;
    const char* tail = text + length - n;
    for (size_t i = 0; i < n; i++) {
        if (tail[i] != variant1[i] && tail[i] != variant2[i])
            return false;
    }
    return true;
}

ListLine read_list_name(FILE* list, char* dest, size_t room)
{
    if (room < 2)
        return LIST_TOO_LONG;
    if (std::fgets(dest, static_cast<int>(room), list) == nullptr) {
        dest[0] = '\0';
        return std::ferror(list) ? LIST_READ_FAILED : LIST_END;
    }
    if (std::strchr(dest, '\n') == nullptr) {
        // Either the last line of a file without a final line feed, or a line cut short.
        int next = std::getc(list);
        if (next != EOF)
            return LIST_TOO_LONG;
        if (std::ferror(list))
            return LIST_READ_FAILED;
    }
    collapse_whitespace(dest, ' ');
    return dest[0] == '\0' ? LIST_END : LIST_NAME;
}

// A component made of dots and blanks only, with two dots or more: ".." itself, and the
// spellings that Windows trims down to it.
static bool is_parent_component(const char* begin, const char* end)
{
    int dots = 0;
    for (const char* p = begin; p < end; p++) {
        if (*p == '.')
            dots++;
        else if (*p != ' ')
            return false;
    }
    return dots >= 2;
}

static bool is_any_separator(char c) { return c == '\\' || c == '/'; }

bool is_safe_entry_name(const char* name)
{
    if (name[0] == '\0' || is_any_separator(name[0]) || name[1] == ':')
        return false;
    const char* component = name;
    for (const char* p = name;; p++) {
        if (*p != '\0' && !is_any_separator(*p))
            continue;
        if (is_parent_component(component, p))
            return false;
        if (*p == '\0')
            return true;
        component = p + 1;
    }
}
