// install_list.cpp -- loads the ".install" list images into their slots and frees them.
//
// An image is read whole into one locked movable memory block; the slot owns the block until
// free_install_list releases it. A file that is not a well-formed image is released at once and
// counts as missing, so the readers of a slot can trust its count.

#include "install/install_list.h"

#include "common/installer_state.h"
#include "install/drive_utils.h"

bool load_install_list(InstallList** slot, const char* file_name)
{
    if (*slot != nullptr)
        return true;
    if (!file_exists(file_name))
        return false;
    uint32_t bytes = 0;
    void* image = load_whole_file(file_name, &bytes);
    if (image == nullptr)
        return false;
    if (!list_image_is_valid((const uint8_t*)image, bytes)) {
        free_whole_file(image);
        return false;
    }
    InstallList* list = (InstallList*)image;
    size_t length = strlen(file_name);
    if (length >= sizeof list->list_name)
        length = sizeof list->list_name - 1;
    memset(list->list_name, 0, sizeof list->list_name);
    memcpy(list->list_name, file_name, length);
    *slot = list;
    return true;
}

void free_install_list(InstallList** slot)
{
    if (*slot == nullptr)
        return;
    free_whole_file(*slot);
    *slot = nullptr;
}

void free_install_lists()
{
    free_install_list(&exe_install_list);
    free_install_list(&typical_install_list);
    free_install_list(&maximum_install_list);
}
