// main_dialog.h -- the main dialog (template 104): the picture, Install and Exit.

#pragma once

#include <windows.h>

enum {
    MAIN_LEAVE = 0,
    MAIN_PLAY = 1,
    MAIN_INSTALLED = 2,
};

INT_PTR CALLBACK main_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
