// installer_state.h -- the process-wide state of setup, one instance each, used only on the
// user-interface thread.

#pragma once

#include <cstdint>

#include <windows.h>

#include "list_image/list_image.h"

enum { SETUP_PATH_CHARS = 256 };

extern HINSTANCE app_instance;

// The folder the game is installed in; from the settings or the install dialog.
extern char install_destination_path[SETUP_PATH_CHARS];
// The folder of saved games and replays; from the settings, or "<destination>\data".
extern char location_path[SETUP_PATH_CHARS];
// 1: a maximum install; any other value: a typical one.
extern int32_t install_type;
// Nonzero: the play dialog chose the hardware-accelerated executable.
extern int32_t play_hardware_version;

// The three install list slots: null, or one loaded image each.
extern InstallList* exe_install_list;
extern InstallList* typical_install_list;
extern InstallList* maximum_install_list;
