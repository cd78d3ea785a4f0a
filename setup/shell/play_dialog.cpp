// play_dialog.cpp -- the play dialog (template 111) and the start of the chosen game version.

#include "shell/play_dialog.h"

#include "common/game_texts.h"
#include "common/installer_state.h"
#include "common/message_boxes.h"
#include "install/destination.h"
#include "resources/resource_ids.h"

static STARTUPINFOA game_startup;
static PROCESS_INFORMATION game_process;

static void on_play_dialog_open(HWND dialog)
{
    CheckDlgButton(dialog, IDC_PLAY_SOFTWARE, BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_PLAY_HARDWARE, BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, IDC_PLAY_OK), FALSE);
}

static void on_ok_clicked(HWND dialog)
{
    if (IsDlgButtonChecked(dialog, IDC_PLAY_SOFTWARE) || IsDlgButtonChecked(dialog, IDC_PLAY_HARDWARE)) {
        EndDialog(dialog, PLAY_CHOSEN);
        return;
    }
    stop_box(nullptr, TEXT_NO_VERSION_CHOSEN);
}

static void on_play_dialog_command(HWND dialog, WPARAM wparam)
{
    switch (wparam) {
    case IDC_PLAY_HARDWARE:
        play_hardware_version = 1;
        EnableWindow(GetDlgItem(dialog, IDC_PLAY_OK), TRUE);
        break;
    case IDC_PLAY_SOFTWARE:
        play_hardware_version = 0;
        EnableWindow(GetDlgItem(dialog, IDC_PLAY_OK), TRUE);
        break;
    case IDC_PLAY_OK:
        on_ok_clicked(dialog);
        break;
    // Esc and the close box leave like Back.
    case IDC_PLAY_BACK:
    case IDCANCEL:
        EndDialog(dialog, PLAY_BACK);
        break;
    }
}

INT_PTR CALLBACK play_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: on_play_dialog_open(dialog); break;
    case WM_COMMAND:    on_play_dialog_command(dialog, wparam); break;
    }
    return 0;
}

bool launch_game(int hardware)
{
    char command_line[SETUP_PATH_CHARS];
    if (!format_game_command_line(command_line, sizeof command_line, install_destination_path,
                                  hardware != 0))
        return false;
    game_startup = STARTUPINFOA();
    game_startup.cb = sizeof game_startup;
    SECURITY_ATTRIBUTES process_security = {sizeof process_security, nullptr, FALSE};
    SECURITY_ATTRIBUTES thread_security = {sizeof thread_security, nullptr, FALSE};
    SetCurrentDirectoryA(install_destination_path);
    BOOL started = CreateProcessA(nullptr, command_line, &process_security, &thread_security,
                                  FALSE, 0, nullptr, nullptr, &game_startup, &game_process);
    if (started)
        CloseHandle(game_process.hThread);
    return started != 0;
}
