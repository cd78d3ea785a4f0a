// main.cpp -- listimage: makes the ".install" list image of a file list, sizing each listed file
// in the source folder the list describes.
//
//   listimage [--code-page N] filelist.txt sourcefolder\ [image.install]
//
// Without a third argument the image is named after the list, with everything from the last "."
// replaced by ".install". The names must be printable ASCII, or with --code-page the bytes of
// Windows code page N (0x80 to 0xFF pass), and fit setup's paths under its default destination.
// The image is written, or replaced, only when the status is 0: a listed file missing from the
// source folder is reported, and the status is then 3 and the image left as it was.

#include <cstdio>
#include <cstring>

#include "archive/host_files.h"
#include "list_image/make_list_image.h"

enum {
    STATUS_OK = 0,
    STATUS_USAGE = 1,
    STATUS_FAILED = 2,
    STATUS_MISSING_FILES = 3,
};

static void report_missing(const char* name, void* user)
{
    const char* source_folder = (const char*)user;
    std::fprintf(stderr, "listimage: %s%s is missing\n", source_folder, name);
}

static const char* failure_text(ListImageResult result, const ListImageReport& report)
{
    switch (result) {
    case LIST_IMAGE_LIST_UNREADABLE: return "the file list could not be read";
    case LIST_IMAGE_BAD_NAME:
        return report.name_problem != NAME_OK ? name_problem_text(report.name_problem)
                                              : "blanks around a name or doubled inside it";
    case LIST_IMAGE_FILE_TOO_LARGE:  return "the files are larger than 2147483647 bytes";
    case LIST_IMAGE_WRITE_FAILED:    return "the image could not be written";
    case LIST_IMAGE_TOO_MANY:        return "the list has too many names";
    case LIST_IMAGE_FILE_UNREADABLE: return "the file is there but could not be opened";
    default:                         return "unknown failure";
    }
}

// The message for a refused list or a failure, on standard error.
static void report_failure(const char* list_path, ListImageResult result,
                           const ListImageReport& report)
{
    const char* name = report.name;
    switch (result) {
    case LIST_IMAGE_AFTER_BLANK_LINE:
        std::fprintf(stderr, "listimage: %s, line %d: %s comes after the blank line %d, which "
                     "ends the list\n", list_path, (int)report.line, name, (int)report.other_line);
        return;
    case LIST_IMAGE_NAMED_TWICE:
        std::fprintf(stderr, "listimage: %s, line %d: %s is named twice (also line %d)\n",
                     list_path, (int)report.line, name, (int)report.other_line);
        return;
    case LIST_IMAGE_FOLDER:
        std::fprintf(stderr, "listimage: %s, line %d: %s is a folder, not a file\n", list_path,
                     (int)report.line, name);
        return;
    default:
        break;
    }
    if (report.line > 0)
        std::fprintf(stderr, "listimage: %s, line %d: %s%s%s\n", list_path, (int)report.line,
                     failure_text(result, report), name[0] ? ": " : "", name);
    else
        std::fprintf(stderr, "listimage: %s: %s\n", list_path, failure_text(result, report));
}

static int usage(const char* program)
{
    std::fprintf(stderr, "usage: %s [--code-page N] filelist.txt sourcefolder\\ [image.install]\n",
                 program);
    return STATUS_USAGE;
}

// True for a code page number: 1 to 65535, digits only.
static bool is_code_page(const char* text)
{
    long value = 0;
    for (const char* p = text; *p != '\0'; p++) {
        if (*p < '0' || *p > '9' || value > 65535)
            return false;
        value = value * 10 + (*p - '0');
    }
    return value >= 1 && value <= 65535;
}

int main(int argc, char** argv)
{
    int options = LIST_IMAGE_ONLY_COMPLETE;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--code-page") == 0) {
        if (argc < 3 || !is_code_page(argv[2])) {
            std::fprintf(stderr, "listimage: --code-page takes a Windows code page, such as 1252\n");
            return STATUS_USAGE;
        }
        options |= LIST_IMAGE_CODE_PAGE_NAMES;
        first = 3;
    }
    int arguments = argc - first;
    if (arguments < 2 || arguments > 3)
        return usage(argv[0]);
    const char* list_path = argv[first];
    char source_folder[1024];
    size_t length = std::strlen(argv[first + 1]);
    if (length + 2 > sizeof source_folder) {
        std::fprintf(stderr, "listimage: the source folder name is too long\n");
        return STATUS_USAGE;
    }
    std::memcpy(source_folder, argv[first + 1], length + 1);
    if (length > 0 && !is_folder_separator(source_folder[length - 1]))
        std::memcpy(source_folder + length, "\\", 2);

    char image_path[1024];
    if (arguments == 3) {
        if (std::strlen(argv[first + 2]) >= sizeof image_path) {
            std::fprintf(stderr, "listimage: the image name is too long\n");
            return STATUS_USAGE;
        }
        std::strcpy(image_path, argv[first + 2]);
    } else if (!list_image_name(list_path, image_path, sizeof image_path)) {
        std::fprintf(stderr, "listimage: the image name is too long\n");
        return STATUS_USAGE;
    }

    ListImageReport report;
    ListImageResult result = make_list_image(list_path, source_folder, image_path, &report,
                                             report_missing, source_folder, options);
    if (result == LIST_IMAGE_FILES_MISSING) {
        std::fprintf(stderr, "listimage: %s: no image was written; listed files missing: %d\n",
                     list_path, (int)report.missing_files);
        return STATUS_MISSING_FILES;
    }
    if (result != LIST_IMAGE_OK) {
        report_failure(list_path, result, report);
        return STATUS_FAILED;
    }
    std::printf("%s: %d names, %lld bytes\n", image_path, (int)report.count,
                (long long)report.total_size);
    return STATUS_OK;
}
