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

ListLine read_list_name(HostFile* list, char* dest, size_t room)
{
    if (room < 2)
        return LIST_TOO_LONG;
    size_t length = 0;
    int c = 0;
    while (length + 1 < room && (c = read_host_byte(list)) >= 0) {
        dest[length++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    dest[length] = '\0';
    if (list->failed)
        return LIST_READ_FAILED;
    if (length == 0)
        return LIST_END;
    // A line that filled the room without its line feed is cut short, unless the file ends there.
    if (length + 1 == room && c != '\n' && read_host_byte(list) >= 0)
        return LIST_TOO_LONG;
    if (list->failed)
        return LIST_READ_FAILED;
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
        if (is_parent_component(component, p) || is_windows_device_name(component, p))
            return false;
        if (*p == '\0')
            return true;
        component = p + 1;
    }
}
