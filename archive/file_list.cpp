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

bool read_list_line(HostFile* list, char* dest, size_t room, size_t* length, size_t* line_bytes)
{
    size_t count = 0, bytes = 0;
    int c, last = -1;
    while ((c = read_host_byte(list)) >= 0) {
        bytes++;
        if (c == '\n')
            break;
        if (count + 1 < room)
            dest[count] = static_cast<char>(c);
        count++;
        last = c;
    }
    if (last == '\r')
        count--;  // a CR before the LF, or before the end, is part of the line end
    if (room > 0)
        dest[count < room ? count : room - 1] = '\0';
    *length = count;
    *line_bytes = bytes;
    return bytes > 0;
}

ListLine read_list_name(HostFile* list, char* dest, size_t room)
{
    if (room < 2)
        return LIST_TOO_LONG;
    size_t length = 0, line_bytes = 0;
    bool read = read_list_line(list, dest, room, &length, &line_bytes);
    if (list->failed)
        return LIST_READ_FAILED;
    if (!read)
        return LIST_END;
    // The line must fit the room with its terminator; its line end is not kept, so it needs none.
    if (length + 1 > room)
        return LIST_TOO_LONG;
    collapse_whitespace(dest, ' ');
    return dest[0] == '\0' ? LIST_END : LIST_NAME;
}

// The first character of `name` that no Windows name may hold, or null.
static const char* bad_character(const char* begin, const char* end)
{
    for (const char* p = begin; p < end; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' ||
            c == '?' || c == '*')
            return p;
    }
    return nullptr;
}

// EF BB BF, which an editor may put before the first line of a text saved as UTF-8.
static bool starts_with_byte_order_mark(const char* name)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(name);
    return bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
}

NameProblem entry_name_problem(const char* name)
{
    if (name[0] == '\0')
        return NAME_EMPTY;
    if (starts_with_byte_order_mark(name))
        return NAME_BYTE_ORDER_MARK;
    if (is_folder_separator(name[0]) || name[1] == ':')
        return NAME_ABSOLUTE;
    const char* part = name;
    for (const char* p = name;; p++) {
        if (*p != '\0' && !is_folder_separator(*p))
            continue;
        // The device test first: "nul:" is a device before its colon is a bad character.
        if (is_windows_device_name(part, p))
            return NAME_DEVICE;
        if (p == part)
            return NAME_EMPTY_PART;
        // A part of dots and blanks: "..", and the spellings that Windows trims down to it
        // (". .", "..."); ".", and ". ".
        int dots = 0;
        bool dots_and_blanks = true;
        for (const char* q = part; q < p; q++) {
            dots += *q == '.';
            dots_and_blanks = dots_and_blanks && (*q == '.' || *q == ' ');
        }
        if (dots_and_blanks && dots >= 2)
            return NAME_OUTSIDE;
        if (dots_and_blanks && dots == 1)
            return NAME_DOT_PART;
        if (bad_character(part, p) != nullptr)
            return NAME_BAD_CHARACTER;
        if (p[-1] == '.' || p[-1] == ' ')
            return NAME_TRAILING_DOT_OR_BLANK;
        if (*p == '\0')
            return NAME_OK;
        part = p + 1;
    }
}

const char* name_problem_text(NameProblem problem)
{
    switch (problem) {
    case NAME_OK: return "a name Windows can create";
    case NAME_EMPTY: return "an empty name";
    case NAME_ABSOLUTE: return "an absolute name or a drive";
    case NAME_EMPTY_PART: return "an empty folder name (two separators in a row, or one at the end)";
    case NAME_OUTSIDE: return "a \"..\" part, which leads outside the folder";
    case NAME_DOT_PART: return "a \".\" part";
    case NAME_DEVICE: return "a Windows device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9) as a part";
    case NAME_BAD_CHARACTER: return "a character no Windows name may hold (<>:\"|?* or a control character)";
    case NAME_TRAILING_DOT_OR_BLANK: return "a part ending in a dot or a blank, which Windows strips";
    case NAME_BYTE_ORDER_MARK:
        return "a UTF-8 byte order mark before the first name (save the list without one)";
    case NAME_TOO_LONG_TO_INSTALL:
        return "longer than setup can install: 248 characters under C:\\trv";
    case NAME_NOT_ASCII:
        return "a character outside printable ASCII (a UTF-8 list? give its Windows code page)";
    }
    return "?";
}

bool is_safe_entry_name(const char* name) { return entry_name_problem(name) == NAME_OK; }

const char DEFAULT_INSTALL_WORKING_PATH[] = "C:\\trv\\";

size_t longest_installable_name(size_t working_path_chars)
{
    return working_path_chars + 1 < INSTALL_PATH_CHARS ? INSTALL_PATH_CHARS - 1 - working_path_chars
                                                       : 0;
}

NameProblem installable_name_problem(const char* name, size_t working_path_chars,
                                     NameCharacters characters)
{
    NameProblem problem = entry_name_problem(name);
    if (problem != NAME_OK)
        return problem;
    if (std::strlen(name) > longest_installable_name(working_path_chars))
        return NAME_TOO_LONG_TO_INSTALL;
    for (const char* p = name; characters == NAMES_PRINTABLE_ASCII && *p != '\0'; p++) {
        if (static_cast<unsigned char>(*p) > 0x7E)
            return NAME_NOT_ASCII;
    }
    return NAME_OK;
}

static char folded(char c)
{
    if (is_folder_separator(c))
        return '\\';
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool same_installed_name(const char* a, const char* b)
{
    for (; *a != '\0' && folded(*a) == folded(*b); a++, b++) {
    }
    return folded(*a) == folded(*b);
}
