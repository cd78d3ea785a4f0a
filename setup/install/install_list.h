// install_list.h -- loads the ".install" list images into their slots and frees them.

#pragma once

#include "list_image/list_image.h"

// Loads `file_name` into `*slot`. True when the slot already held an image (nothing is read) or
// the file was loaded and is a well-formed image. False otherwise, with the slot left null.
bool load_install_list(InstallList** slot, const char* file_name);

// Releases the slot's image and sets the slot to null; does nothing for a null slot.
void free_install_list(InstallList** slot);

// Frees the exe, typical and maximum slots, in this order.
void free_install_lists();
