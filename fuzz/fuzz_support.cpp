// fuzz_support.cpp -- a private scratch folder for a fuzz target and whole-file helpers.

#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

const std::string& fuzz_folder()
{
    static std::string folder;
    if (folder.empty()) {
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        base /= "trv-fuzz-" + std::to_string(getpid());
        std::filesystem::create_directories(base);
        folder = base.string() + "/";
        static struct Cleanup {
            ~Cleanup() { std::filesystem::remove_all(fuzz_folder()); }
        } cleanup;
    }
    return folder;
}

bool write_whole_file(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

bool read_whole_file(const std::string& path, std::string* content)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    content->clear();
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        content->append(chunk, n);
    std::fclose(file);
    return true;
}
