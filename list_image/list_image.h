// list_image.h -- the layout of a ".install" list image, the test that accepts or refuses one,
// and its readers.
//
// An image is a 268-byte header followed by `count` entries of 260 bytes, all integers 32-bit
// signed little-endian. Only a well-formed image is ever kept in a slot, so the readers below may
// walk `count` entries without further checks. No more of the C library than the memory routines
// setup's own runtime gives: the same code runs in setup, in the listimage tool and under the
// fuzzers.

#pragma once

#include <cstddef>
#include <cstdint>

enum {
    LIST_NAME_BYTES = 256,
    LIST_HEADER_BYTES = 268,
    LIST_ENTRY_BYTES = 260,
    LIST_COUNT_OFFSET = 256,
    LIST_TOTAL_SIZE_OFFSET = 260,
    LIST_ENTRY_SIZE_OFFSET = 256,
    LIST_MAX_SIZE = 0x7FFFFFFF,
};

struct InstallListEntry {
    char name[LIST_NAME_BYTES];  // the file list line, NUL-terminated, rest zero
    int32_t size;                // bytes of the file when the image was made; 0 if it was absent
};

struct InstallList {
    char list_name[LIST_NAME_BYTES];  // zeros on disk; the file name it was loaded under
    int32_t count;
    int32_t total_size;
    int32_t reserved;
    // `count` InstallListEntry records follow.
};

static_assert(sizeof(InstallListEntry) == LIST_ENTRY_BYTES, "entry layout");
static_assert(sizeof(InstallList) == LIST_HEADER_BYTES, "header layout");

// True when `bytes` bytes at `image` form a well-formed image: exactly 268 + 260 x count bytes
// with a count of 0 or more, and every entry name terminated within its 256 bytes and keeping the
// rule for stored names (entry_name_problem: inside the folder, and one that Windows creates as
// it is spelled).
bool list_image_is_valid(const uint8_t* image, size_t bytes);

// Readers of a well-formed image.
int32_t list_count(const InstallList* list);
int32_t list_total_size(const InstallList* list);
const InstallListEntry* list_entry(const InstallList* list, int32_t index);
