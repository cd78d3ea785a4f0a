// entry_sums.h -- the sums file the medium has beside an archive (GROUP_install.crc): one line per
// entry of its file list, in list order, "CRC SIZE NAME": the CRC-32 of the file's bytes in 8 hex
// digits, its size in bytes in decimal, and its list name, one blank between them, each line ended
// by CR LF or LF. Setup checks every extracted file against its line.

#pragma once

#include <cstddef>
#include <cstdint>

struct EntrySum {
    uint32_t crc;
    int64_t size;
    const char* name;  // inside the sums' text
};

// A sums file read and checked; its text and rows on the process's heap.
struct EntrySums {
    char* text;
    EntrySum* entries;
    int32_t count;
};

enum SumsRead {
    SUMS_ABSENT,     // the medium has no sums file there: nothing to check against
    SUMS_READ,
    SUMS_MALFORMED,  // unreadable, a line not in the form, or not one line per entry
};

// Reads the sums file at `path` for a list of `entry_count` entries into `*sums` (all zero unless
// SUMS_READ). With SUMS_MALFORMED, `*bad_line` is the first line that is not in the form, or the
// line where one too many or too few entries are.
SumsRead read_entry_sums(const char* path, int32_t entry_count, EntrySums* sums,
                         int32_t* bad_line);

// Releases what read_entry_sums read; does nothing for all-zero sums.
void free_entry_sums(EntrySums* sums);
