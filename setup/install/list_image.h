// list_image.h -- the layout of a ".install" list image, the test that accepts or refuses one,
// and the making of an image from a file list.
//
// An image is a 268-byte header followed by `count` entries of 260 bytes, all integers 32-bit
// signed little-endian. Only a well-formed image is ever kept in a slot, so the readers below may
// walk `count` entries without further checks. Standard library only: the same code runs in
// setup, in the listimage tool and under the fuzzers.

#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

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
// with a count of 0 or more, and every entry name terminated within its 256 bytes and safe to
// join to a folder (not empty or absolute, no drive, no ".." component).
bool list_image_is_valid(const uint8_t* image, size_t bytes);

// Readers of a well-formed image.
int32_t list_count(const InstallList* list);
int32_t list_total_size(const InstallList* list);
const InstallListEntry* list_entry(const InstallList* list, int32_t index);

// Making an image from a file list ("listimage"). Results of make_list_image.
enum ListImageResult {
    LIST_IMAGE_OK = 0,
    LIST_IMAGE_LIST_UNREADABLE = -1,   // the file list could not be opened or read
    LIST_IMAGE_NAME_TOO_LONG = -2,     // a line longer than 255 characters
    LIST_IMAGE_BAD_NAME = -3,          // an empty line before the end, blanks around a name, or
                                       // a name that leaves the folder (absolute, drive, "..")
    LIST_IMAGE_FILE_TOO_LARGE = -4,    // a file or the total above 2147483647 bytes
    LIST_IMAGE_WRITE_FAILED = -5,      // the image could not be written
    LIST_IMAGE_TOO_MANY = -6,          // more entries than an image can count
};

// What make_list_image reports about the line it stopped at or a file it did not find.
struct ListImageReport {
    int32_t line;                  // 1-based line of the file list
    char name[LIST_NAME_BYTES + 1];
    int32_t missing_files;         // names whose file was not found in the source folder
    int32_t count;
    int64_t total_size;
};

// Called for every listed name whose file is absent from the source folder (its size stays 0).
typedef void (*MissingFileCallback)(const char* name, void* user);

// Reads `list_path`, sizes each named file under `source_folder` (which ends with a separator)
// and writes the image to `image_path`, replacing an existing file only when all went well.
ListImageResult make_list_image(const char* list_path, const char* source_folder,
                                const char* image_path, ListImageReport* report,
                                MissingFileCallback on_missing, void* user);

// The image name of a file list: everything from the last "." of the file part replaced by
// ".install" (appended when there is no "."). False when it does not fit `capacity`.
bool list_image_name(const char* list_path, char* dest, size_t capacity);
