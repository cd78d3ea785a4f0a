// fuzz_list_image.cpp -- arbitrary bytes offered as a ".install" list image: what is accepted can
// be walked entry by entry inside the bytes, and every accepted name stays inside the folder.

#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/file_list.h"
#include "list_image/list_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A block of exactly the file's size, as setup loads it.
    std::vector<uint8_t> image(data, data + size);
    if (!list_image_is_valid(image.data(), image.size()))
        return 0;
    const InstallList* list = (const InstallList*)image.data();
    int32_t count = list_count(list);
    if (count < 0 || LIST_HEADER_BYTES + (size_t)count * LIST_ENTRY_BYTES != size)
        std::abort();
    for (int32_t i = 0; i < count; i++) {
        const InstallListEntry* entry = list_entry(list, i);
        if (strnlen(entry->name, LIST_NAME_BYTES) == LIST_NAME_BYTES ||
            !is_safe_entry_name(entry->name))
            std::abort();
    }
    return 0;
}
