// fuzz_round_trip.cpp -- arbitrary contents split into up to four files, packed and unpacked
// again: every byte must come back.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/archive_ops.h"
#include "archive/lzss_codec.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string& folder = fuzz_folder();
    size_t files = data[0] % 4 + 1;
    data++;
    size--;
    std::filesystem::create_directories(folder + "in/sub");
    std::string list;
    std::string names[4];
    size_t start = 0;
    for (size_t i = 0; i < files; i++) {
        size_t end = i + 1 == files ? size : size * (i + 1) / files;
        names[i] = i % 2 ? "sub\\part" + std::to_string(i) : "part" + std::to_string(i);
        std::string host_name = names[i];
        if (i % 2)
            host_name[3] = '/';
        if (!write_whole_file(folder + "in/" + host_name, data + start, end - start))
            std::abort();
        list += names[i] + "\n";
        start = end;
    }
    if (!write_whole_file(folder + "list.txt", (const uint8_t*)list.data(), list.size()))
        std::abort();

    // Each operation starts from the window of a fresh process, as the tool does.
    char path[1024];
    std::snprintf(path, sizeof path, "%sin/", folder.c_str());
    lzss_reset_window();
    int64_t packed = pack_archive(path, sizeof path, (folder + "list.txt").c_str(),
                                  (folder + "a.qbr").c_str(), nullptr, nullptr);
    if (packed != (int64_t)size)
        std::abort();
    std::snprintf(path, sizeof path, "%sout/", folder.c_str());
    int cancel = 0;
    lzss_reset_window();
    if (unpack_archive((folder + "a.qbr").c_str(), (folder + "list.txt").c_str(), path,
                       sizeof path, nullptr, &cancel, nullptr) != ARCHIVE_OK)
        std::abort();
    start = 0;
    for (size_t i = 0; i < files; i++) {
        size_t end = i + 1 == files ? size : size * (i + 1) / files;
        std::string host_name = names[i];
        if (i % 2)
            host_name[3] = '/';
        std::string back;
        if (!read_whole_file(folder + "out/" + host_name, &back) ||
            back != std::string((const char*)data + start, end - start))
            std::abort();
        start = end;
    }
    std::filesystem::remove_all(folder + "out");
    std::filesystem::remove_all(folder + "in");
    return 0;
}
