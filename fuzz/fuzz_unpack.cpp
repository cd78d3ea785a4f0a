// fuzz_unpack.cpp -- arbitrary bytes unpacked as a QBR archive under a fixed list of names:
// the operation must end with a result, never crash, hang or write outside its folder.

#include <cstdlib>
#include <filesystem>

#include "archive/archive_ops.h"
#include "fuzz_support.h"

static const char LIST[] = "first.bin\nsub\\second.bin\nsub\\deeper\\third.bin\nlast.bin\n";

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& folder = fuzz_folder();
    static bool list_written = write_whole_file(folder + "list.txt", (const uint8_t*)LIST,
                                                sizeof LIST - 1);
    if (!list_written)
        std::abort();
    const std::string archive = folder + "input.qbr";
    if (!write_whole_file(archive, data, size))
        std::abort();

    char path[1024];
    std::snprintf(path, sizeof path, "%sout/", folder.c_str());
    int cancel = 0;
    int result = unpack_archive(archive.c_str(), (folder + "list.txt").c_str(), path, sizeof path,
                                nullptr, &cancel, nullptr);
    if (result > 0 || result < ARCHIVE_SELF_REFERENCE)
        std::abort();
    // Everything written stays inside the output folder; clear it for the next input.
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != "out" && name != "list.txt" && name != "input.qbr")
            std::abort();
    }
    std::filesystem::remove_all(folder + "out");
    return 0;
}
