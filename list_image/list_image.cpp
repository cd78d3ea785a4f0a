// list_image.cpp -- accepts or refuses ".install" list images and reads them.

#include "list_image/list_image.h"

#include <cstring>

#include "archive/file_list.h"

static int32_t read_le32(const uint8_t* bytes)
{
    uint32_t value = (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
                     (uint32_t)bytes[3] << 24;
    return (int32_t)value;
}

bool list_image_is_valid(const uint8_t* image, size_t bytes)
{
    if (image == nullptr || bytes < LIST_HEADER_BYTES)
        return false;
    int32_t count = read_le32(image + LIST_COUNT_OFFSET);
    if (count < 0 || (uint64_t)(bytes - LIST_HEADER_BYTES) != (uint64_t)count * LIST_ENTRY_BYTES)
        return false;
    for (int32_t i = 0; i < count; i++) {
        const uint8_t* name = image + LIST_HEADER_BYTES + (size_t)i * LIST_ENTRY_BYTES;
        // The uninstall deletes what the names say: each must stay inside the installed folder.
        if (std::memchr(name, 0, LIST_NAME_BYTES) == nullptr ||
            !is_safe_entry_name((const char*)name))
            return false;
    }
    return true;
}

int32_t list_count(const InstallList* list)
{
    return read_le32((const uint8_t*)list + LIST_COUNT_OFFSET);
}

int32_t list_total_size(const InstallList* list)
{
    return read_le32((const uint8_t*)list + LIST_TOTAL_SIZE_OFFSET);
}

const InstallListEntry* list_entry(const InstallList* list, int32_t index)
{
    const uint8_t* base = (const uint8_t*)list + LIST_HEADER_BYTES;
    return (const InstallListEntry*)(base + (size_t)index * LIST_ENTRY_BYTES);
}
