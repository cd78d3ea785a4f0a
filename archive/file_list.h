// file_list.h -- the text helpers shared by the archive operations and the archive tool: file
// list lines, name suffixes and the safety test of a stored name.

#pragma once

#include <cstddef>

#include "archive/host_files.h"

// Drops whitespace (0x09 to 0x0D and blank) at the start and end of `text` and turns every run
// of it inside into one `separator`, in place. Returns `text`.
char* collapse_whitespace(char* text, char separator);

// True when `text` ends with a suffix of the length of `variant1` whose every character equals
// the character at the same place in `variant1` or in `variant2` (null: `variant1` again).
bool has_suffix(const char* text, const char* variant1, const char* variant2);

enum ListLine {
    LIST_NAME,         // a name was read into the destination
    LIST_END,          // end of the file, or the first blank line
    LIST_TOO_LONG,     // the line does not fit the room given
    LIST_READ_FAILED,  // the file could not be read
};

// Reads the next line of a file list into `dest` (at most `room` bytes with the terminator,
// line end included) and collapses its whitespace.
ListLine read_list_name(HostFile* list, char* dest, size_t room);

// True when extracting under `name` stays inside the output folder and reaches a file on every
// host: the name is not empty, is not absolute, carries no drive prefix, has no ".." component
// and no component that Windows takes for a device ("nul", "con.txt", "com1", "nul:", ...:
// is_windows_device_name). Both "\" and "/" separate components.
bool is_safe_entry_name(const char* name);
