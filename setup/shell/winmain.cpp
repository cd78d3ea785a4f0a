// winmain.cpp -- setup's entry point: refuses a second instance, loads the install lists,
// refreshes the stored settings, runs the main dialog and carries out what it asked for.
//
// The process ends in WinMain on every path, with exit code 0; only the message pump ends it
// elsewhere, with -1, when a quit message arrives during an extraction.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "common/game_texts.h"
#include "common/installer_state.h"
#include "common/message_boxes.h"
#include "common/text.h"
#include "install/drive_utils.h"
#include "install/install_dialog.h"
#include "install/install_list.h"
#include "install/settings.h"
#include "resources/resource_ids.h"
#include "shell/main_dialog.h"
#include "shell/play_dialog.h"

// True when another setup runs (a window titled "TRV 99" exists); brings it to the front, after
// the stop box when `with_message`.
static bool another_setup_runs(bool with_message)
{
    HWND other = FindWindowA(nullptr, SETUP_CAPTION);
    if (other == nullptr)
        return false;
    if (with_message)
        stop_box(nullptr, TEXT_ALREADY_RUNNING);
    SetForegroundWindow(other);
    return true;
}

// Loads one list image into its slot; says which one when it cannot.
static bool load_list(InstallList** slot, const char* file_name)
{
    if (load_install_list(slot, file_name))
        return true;
    char text[128];
    format_text(text, sizeof text, TEXT_LIST_NOT_LOADED, file_name);
    stop_box(nullptr, text);
    return false;
}

// Starts the chosen game; when it cannot start, says so and deletes the marker file in the root
// of the first fixed disk.
static void play_chosen_game()
{
    if (!launch_game(play_hardware_version)) {
        stop_box(nullptr, TEXT_GAME_NOT_STARTED);
        char marker[16];
        if (format_text(marker, sizeof marker, MARKER_FILE_FORMAT, find_drive_of_type(DRIVE_FIXED)))
            DeleteFileA(marker);
    }
    free_install_lists();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // Before anything touches a drive: a drive without a disk (an empty CD or floppy drive typed
    // into the destination field, whose free space is asked on every keystroke) fails the call
    // instead of raising the system's "no disk" box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    CoInitialize(nullptr);
    if (another_setup_runs(false))
        ExitProcess(0);
    app_instance = instance;
    if (another_setup_runs(true))
        ExitProcess(0);
    InitCommonControls();

    if (!load_list(&exe_install_list, EXE_LIST_IMAGE) ||
        !load_list(&typical_install_list, TYPICAL_LIST_IMAGE) ||
        !load_list(&maximum_install_list, MAXIMUM_LIST_IMAGE))
        ExitProcess(0);  // the lists loaded so far go with the process

    if (installation_present() && read_settings())
        write_settings();

    INT_PTR code = DialogBoxParamA(app_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                   main_dialog_proc, 0);
    switch (code) {
    case MAIN_LEAVE:
        free_install_lists();
        break;
    case MAIN_PLAY:
        play_chosen_game();
        break;
    case MAIN_INSTALLED:
        finish_install();
        CoUninitialize();
        break;
    }
    // Any other code: the main dialog did not appear; nothing is freed.
    ExitProcess(0);
}
