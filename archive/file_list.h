// file_list.h -- the text helpers shared by the archive operations and the archive tool: file
// list lines, name suffixes and the rule for a stored name.

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

// Reads the next line of a file list as it stands, without its line end (LF, or CR LF): its first
// `room` - 1 characters into `dest`, terminated, its whole length into `*length` and the bytes it
// took in the file, line end included, into `*line_bytes`. False at the end of the file; a
// failed read shows in `list->failed`. The one reader of list lines.
bool read_list_line(HostFile* list, char* dest, size_t room, size_t* length, size_t* line_bytes);

// Reads the next line of a file list into `dest` (at most `room` bytes with the terminator,
// line end included) and collapses its whitespace.
ListLine read_list_name(HostFile* list, char* dest, size_t room);

// What keeps a stored name from being one that every host can create inside the output folder,
// the first found from the left. Both "\" and "/" separate its parts (is_folder_separator).
enum NameProblem {
    NAME_OK,
    NAME_EMPTY,
    NAME_ABSOLUTE,               // a separator first, or a drive ("C:")
    NAME_EMPTY_PART,             // two separators in a row, or one at the end
    NAME_OUTSIDE,                // "..", or what Windows trims down to it ("...", ". .")
    NAME_DOT_PART,               // ".", or ". "
    NAME_DEVICE,                 // is_windows_device_name: "nul", "con.txt", "com1", "nul:", ...
    NAME_BAD_CHARACTER,          // < > : " | ? * or a control character
    NAME_TRAILING_DOT_OR_BLANK,  // a part ending so: Windows strips them, so "a." would be "a"
};

// The rule for every name a list gives, in pack, unpack and list images alike: what no Windows
// can create, or would create under another name, and what leads outside the folder.
NameProblem entry_name_problem(const char* name);

// The problem in a few words, for messages: "a \"..\" part, which leads outside the folder".
const char* name_problem_text(NameProblem problem);

// entry_name_problem(name) == NAME_OK.
bool is_safe_entry_name(const char* name);
