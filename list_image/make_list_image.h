// make_list_image.h -- the making of a ".install" list image from a file list ("listimage").

#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/file_list.h"
#include "list_image/list_image.h"

// Results of make_list_image.
enum ListImageResult {
    LIST_IMAGE_OK = 0,
    LIST_IMAGE_LIST_UNREADABLE = -1,   // the file list could not be opened or read
    LIST_IMAGE_BAD_NAME = -3,          // blanks around a name or doubled inside it, or a name that
                                       // breaks the rule for installable names
                                       // (installable_name_problem, in the report)
    LIST_IMAGE_FILE_TOO_LARGE = -4,    // a file or the total above 2147483647 bytes
    LIST_IMAGE_WRITE_FAILED = -5,      // the image could not be written
    LIST_IMAGE_TOO_MANY = -6,          // more entries than an image can count
    LIST_IMAGE_FILE_UNREADABLE = -7,   // a listed file is there but could not be opened
    LIST_IMAGE_AFTER_BLANK_LINE = -8,  // a name after the blank line that ends the list
    LIST_IMAGE_NAMED_TWICE = -9,       // a name Windows takes for an earlier one
    LIST_IMAGE_FOLDER = -10,           // a listed name is a folder in the source folder
    LIST_IMAGE_FILES_MISSING = -11,    // LIST_IMAGE_ONLY_COMPLETE: a listed file is missing
};

// Options of make_list_image, or-ed together.
enum {
    LIST_IMAGE_CODE_PAGE_NAMES = 1,  // the names are in a Windows code page: 0x80..0xFF pass
    LIST_IMAGE_ONLY_COMPLETE = 2,    // no image when a listed file is missing from the folder
};

// What make_list_image reports about the line it stopped at or a file it did not find.
struct ListImageReport {
    int32_t line;                  // 1-based line of the file list
    int32_t other_line;            // the blank line before it, or the earlier line of its name
    char name[LIST_NAME_BYTES + 1];
    NameProblem name_problem;      // LIST_IMAGE_BAD_NAME: the rule the name breaks, if one
    int32_t missing_files;         // names whose file was not found in the source folder
    int32_t count;
    int64_t total_size;
};

// Called for every listed name whose file is absent from the source folder (its size stays 0).
typedef void (*MissingFileCallback)(const char* name, void* user);

// Reads `list_path`, sizes each named file under `source_folder` (which ends with a separator)
// and writes the image to `image_path`, replacing an existing file only when all went well. The
// list ends at its first blank line (blanks alone count as none); a name after it is refused.
// Names are held to installable_name_problem behind setup's default destination.
ListImageResult make_list_image(const char* list_path, const char* source_folder,
                                const char* image_path, ListImageReport* report,
                                MissingFileCallback on_missing, void* user, int options = 0);

// The image name of a file list: everything from the last "." of the file part replaced by
// ".install" (appended when there is no "."). False when it does not fit `capacity`.
bool list_image_name(const char* list_path, char* dest, size_t capacity);
