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

// A component that Windows takes for a device whatever folder it stands in: CON, PRN, AUX, NUL,
// COM1 to COM9 and LPT1 to LPT9, in any case, alone or before an extension ("nul.txt"), and with
// blanks before the extension ("nul .txt").
static bool is_device_component(const char* begin, const char* end)
{
    const char* base_end = begin;
    while (base_end < end && *base_end != '.')
        base_end++;
    while (base_end > begin && base_end[-1] == ' ')
        base_end--;
    char base[5] = {};
    size_t length = static_cast<size_t>(base_end - begin);
    if (length < 3 || length > 4)
        return false;
    for (size_t i = 0; i < length; i++)
        base[i] = begin[i] >= 'A' && begin[i] <= 'Z' ? static_cast<char>(begin[i] + 32) : begin[i];
    if (length == 3) {
        static const char names[][4] = {"con", "prn", "aux", "nul"};
        for (const char* name : names) {
            if (std::memcmp(base, name, 4) == 0)
                return true;
        }
        return false;
    }
    return (std::memcmp(base, "com", 3) == 0 || std::memcmp(base, "lpt", 3) == 0) &&
           base[3] >= '1' && base[3] <= '9';
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
        if (is_parent_component(component, p) || is_device_component(component, p))
            return false;
        if (*p == '\0')
            return true;
        component = p + 1;
    }
}
