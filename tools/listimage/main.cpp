// main.cpp -- listimage: makes the ".install" list image of a file list, sizing each listed file
// in the source folder the list describes.
//
//   listimage filelist.txt sourcefolder\ [image.install]
//
// Without a third argument the image is named after the list, with everything from the last "."
// replaced by ".install". A listed file missing from the source folder is reported and gets
// the size 0, as the image format wants; the status is then 3 so that a build can refuse it.

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
    std::fprintf(stderr, "listimage: %s%s is missing; its size is recorded as 0\n",
                 source_folder, name);
}

static const char* failure_text(ListImageResult result, const ListImageReport& report)
{
    switch (result) {
    case LIST_IMAGE_LIST_UNREADABLE: return "the file list could not be read";
    case LIST_IMAGE_NAME_TOO_LONG:   return "a name is longer than 255 characters";
    case LIST_IMAGE_BAD_NAME:
        return report.name_problem != NAME_OK ? name_problem_text(report.name_problem)
                                              : "a blank line before the end, or blanks around "
                                                "a name";
    case LIST_IMAGE_FILE_TOO_LARGE:  return "the files are larger than 2147483647 bytes";
    case LIST_IMAGE_WRITE_FAILED:    return "the image could not be written";
    case LIST_IMAGE_TOO_MANY:        return "the list has too many names";
    case LIST_IMAGE_FILE_UNREADABLE: return "the file is there but could not be opened";
    default:                         return "unknown failure";
    }
}

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s filelist.txt sourcefolder\\ [image.install]\n", argv[0]);
        return STATUS_USAGE;
    }
    const char* list_path = argv[1];
    char source_folder[1024];
    size_t length = std::strlen(argv[2]);
    if (length + 2 > sizeof source_folder) {
        std::fprintf(stderr, "listimage: the source folder name is too long\n");
        return STATUS_USAGE;
    }
    std::memcpy(source_folder, argv[2], length + 1);
    if (length > 0 && !is_folder_separator(source_folder[length - 1]))
        std::memcpy(source_folder + length, "\\", 2);

    char image_path[1024];
    if (argc == 4) {
        if (std::strlen(argv[3]) >= sizeof image_path) {
            std::fprintf(stderr, "listimage: the image name is too long\n");
            return STATUS_USAGE;
        }
        std::strcpy(image_path, argv[3]);
    } else if (!list_image_name(list_path, image_path, sizeof image_path)) {
        std::fprintf(stderr, "listimage: the image name is too long\n");
        return STATUS_USAGE;
    }

    ListImageReport report;
    ListImageResult result = make_list_image(list_path, source_folder, image_path, &report,
                                             report_missing, source_folder);
    if (result != LIST_IMAGE_OK) {
        if (report.line > 0)
            std::fprintf(stderr, "listimage: %s, line %d: %s%s%s\n", list_path, (int)report.line,
                         failure_text(result, report), report.name[0] ? ": " : "", report.name);
        else
            std::fprintf(stderr, "listimage: %s: %s\n", list_path, failure_text(result, report));
        return STATUS_FAILED;
    }
    std::printf("%s: %d names, %lld bytes\n", image_path, (int)report.count,
                (long long)report.total_size);
    return report.missing_files > 0 ? STATUS_MISSING_FILES : STATUS_OK;
}
