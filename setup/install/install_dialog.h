// install_dialog.h -- the install dialog (template 103): the destination folder, the required
// space, and the extraction of the exe and typical archives with a progress bar; and what
// finishes an install once the dialogs have closed.

#pragma once

#include <windows.h>

enum {
    INSTALL_BACKED_OUT = 3,  // Back, Cancel, a cancelled or a failed extraction
    INSTALL_FINISHED = 6,    // both archives extracted
};

INT_PTR CALLBACK install_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Finishes an install that the dialog reported with INSTALL_FINISHED: frees the install lists,
// creates "<destination>\data" and records it as the data folder, writes the settings (a
// failure is reported and the rest goes on), places both desktop shortcuts and says it is done.
void finish_install();
