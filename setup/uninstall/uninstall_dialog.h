// uninstall_dialog.h -- the uninstall dialog (template 105): removes, in any combination, the
// installed game, the saved games and the saved replays.

#pragma once

#include <windows.h>

enum {
    UNINSTALL_BACKED_OUT = 7,
    UNINSTALL_STOPPED = 8,
    UNINSTALL_COMPLETED = 9,
};

INT_PTR CALLBACK uninstall_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Deletes the files that match `pattern` (a path whose last part may hold wildcards) and have
// the archive attribute, except names beginning with ".". Returns how many were deleted.
int delete_matching_files(const char* pattern);
