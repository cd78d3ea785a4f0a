// installer_state.cpp -- the process-wide state of setup.

#include "common/installer_state.h"

HINSTANCE app_instance;
char install_destination_path[SETUP_PATH_CHARS];
char location_path[SETUP_PATH_CHARS];
int32_t install_type;
int32_t play_hardware_version;
InstallList* exe_install_list;
InstallList* typical_install_list;
InstallList* maximum_install_list;
