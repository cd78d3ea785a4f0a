// play_dialog.h -- the play dialog (template 111) and the start of the chosen game version.

#pragma once

#include <cstddef>

#include <windows.h>

enum {
    PLAY_BACK = 12,
    PLAY_CHOSEN = 13,
};

INT_PTR CALLBACK play_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The command line that starts the game in `folder`: the executable's quoted path. False when
// it does not fit `capacity`.
bool format_game_command_line(char* dest, size_t capacity, const char* folder, bool hardware);

// Starts the hardware-accelerated (nonzero) or the software version from the installed folder,
// which becomes the current folder. True when the process was created; there is no wait.
bool launch_game(int hardware);
