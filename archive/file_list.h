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
    NAME_BYTE_ORDER_MARK,        // the UTF-8 byte order mark first: a list saved with one
    NAME_TOO_LONG_TO_INSTALL,    // installable_name_problem: no room in setup's paths
    NAME_NOT_ASCII,              // installable_name_problem: outside printable ASCII
};

// The rule for every name a list gives, in pack, unpack and list images alike: what no Windows
// can create, or would create under another name, and what leads outside the folder.
NameProblem entry_name_problem(const char* name);

// The problem in a few words, for messages: "a \"..\" part, which leads outside the folder".
const char* name_problem_text(NameProblem problem);

// entry_name_problem(name) == NAME_OK.
bool is_safe_entry_name(const char* name);

// setup's path buffers, terminator included, and the working path of its default destination
// (the folder with its final separator): the longest name it installs there is 248 characters.
enum { INSTALL_PATH_CHARS = 256 };
extern const char DEFAULT_INSTALL_WORKING_PATH[];  // "C:\\trv\\"

// Which bytes a name may hold: printable ASCII (0x20 to 0x7E), or those and 0x80 to 0xFF, for a
// list written in the Windows code page that setup creates its files under.
enum NameCharacters { NAMES_PRINTABLE_ASCII, NAMES_CODE_PAGE };

// The longest name setup can put behind a working path of `working_path_chars` characters.
size_t longest_installable_name(size_t working_path_chars);

// The rule for a name that setup can install behind a working path of `working_path_chars`
// characters: entry_name_problem's, then room in setup's paths, then the characters.
NameProblem installable_name_problem(const char* name, size_t working_path_chars,
                                     NameCharacters characters);

// True when Windows takes the two names for the same file: equal but for the case of ASCII
// letters, with "\" and "/" alike. (Trailing dots and blanks, which it also drops, are refused
// by entry_name_problem.)
bool same_installed_name(const char* a, const char* b);
