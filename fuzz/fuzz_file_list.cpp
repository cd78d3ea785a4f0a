// fuzz_file_list.cpp -- arbitrary bytes read as a file list, line by line, into rooms of several
// sizes: each name read fits its room, has no white space at its ends, and the safety test of a
// stored name answers for it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/file_list.h"
#include "archive/host_files.h"
#include "fuzz_support.h"

static bool is_white(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const size_t rooms[] = {2, 16, 256, 1024};
    for (size_t room : rooms) {
        const std::string path = fuzz_folder() + "list.txt";
        if (!write_whole_file(path, data, size))
            std::abort();
        HostFile* list = open_host_file(path.c_str());
        if (list == nullptr)
            std::abort();
        char name[1024];
        for (size_t lines = 0;; lines++) {
            ListLine line = read_list_name(list, name, room);
            if (line != LIST_NAME)
                break;
            size_t length = std::strlen(name);
            if (length == 0 || length >= room || is_white(name[0]) || is_white(name[length - 1]))
                std::abort();
            is_safe_entry_name(name);
            if (lines > size)
                std::abort();  // more names than bytes: the reader is not advancing
        }
        close_host_file(list);
    }
    return 0;
}
