// resource_ids.h -- the numbers of setup's dialogs, controls, bitmaps and icon. Shared by the
// resource script and the code, so it holds nothing but defines.

#pragma once

#define IDD_INSTALL 103
#define IDD_MAIN 104
#define IDD_UNINSTALL 105
#define IDD_PLAY 111

#define IDB_TITLE 107
#define IDB_SIDE 114
#define IDI_SETUP 109

// Main dialog.
#define IDC_MAIN_INSTALL 1000
#define IDC_MAIN_PLAY 1001
#define IDC_MAIN_UNINSTALL 1002
#define IDC_MAIN_EXIT 1003
#define IDC_MAIN_PICTURE 138

// Install dialog.
#define IDC_INSTALL_START 1006
#define IDC_INSTALL_BACK 1007
#define IDC_INSTALL_NO_DIRECTX 1008
#define IDC_INSTALL_DIRECTX_GROUP 137
#define IDC_INSTALL_LOCATION_GROUP 138
#define IDC_INSTALL_OPTIONS_GROUP 139
#define IDC_INSTALL_DESTINATION 1024
#define IDC_INSTALL_TYPICAL 1025
#define IDC_INSTALL_MAXIMUM 1026
#define IDC_INSTALL_REQUIRED 1028
#define IDC_INSTALL_PROGRESS 1018
#define IDC_INSTALL_PROGRESS_GROUP 1019
#define IDC_INSTALL_UNUSED_STATIC 1029
#define IDC_INSTALL_AVAILABLE 1030

#define IDC_STATIC_TEXT -1
