// play_dialog.h -- the play dialog (template 111) and the start of the chosen game version.

#pragma once

#include <windows.h>

enum {
    PLAY_BACK = 12,
    PLAY_CHOSEN = 13,
};

INT_PTR CALLBACK play_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Starts the hardware-accelerated (nonzero) or the software version from the installed folder,
// which becomes the current folder. True when the process was created; there is no wait.
bool launch_game(int hardware);
