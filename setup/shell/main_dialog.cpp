// main_dialog.cpp -- the main dialog (template 104): the picture, Install and Exit. It opens the
// nested dialogs and turns their end codes into its own.

#include "shell/main_dialog.h"

#include "common/installer_state.h"
#include "common/picture_panel.h"
#include "install/install_dialog.h"
#include "install/settings.h"
#include "resources/resource_ids.h"
#include "shell/play_dialog.h"
#include "uninstall/uninstall_dialog.h"

static void disable_installed_commands_when_absent(HWND dialog)
{
    if (installation_present())
        return;
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_PLAY), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_UNINSTALL), FALSE);
}

static void on_main_dialog_open(HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_PLAY), TRUE);
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_INSTALL), TRUE);
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_UNINSTALL), TRUE);
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_EXIT), TRUE);
    disable_installed_commands_when_absent(dialog);
}

static void on_install_clicked(HWND dialog)
{
    INT_PTR code = DialogBoxParamA(app_instance, MAKEINTRESOURCEA(IDD_INSTALL), dialog,
                                   install_dialog_proc, 0);
    if (code == INSTALL_FINISHED)
        EndDialog(dialog, MAIN_INSTALLED);
}

static void on_play_clicked(HWND dialog)
{
    SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_WAIT));
    INT_PTR code = DialogBoxParamA(app_instance, MAKEINTRESOURCEA(IDD_PLAY), dialog,
                                   play_dialog_proc, 0);
    if (code == PLAY_CHOSEN)
        EndDialog(dialog, MAIN_PLAY);
}

static void on_uninstall_clicked(HWND dialog)
{
    SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_WAIT));
    DialogBoxParamA(app_instance, MAKEINTRESOURCEA(IDD_UNINSTALL), dialog, uninstall_dialog_proc,
                    0);
    disable_installed_commands_when_absent(dialog);
}

// Play and Uninstall are hidden buttons: their commands arrive as command messages.
static void on_main_dialog_command(HWND dialog, WPARAM wparam)
{
    switch (wparam) {
    case IDC_MAIN_INSTALL:   on_install_clicked(dialog); break;
    case IDC_MAIN_PLAY:      on_play_clicked(dialog); break;
    case IDC_MAIN_UNINSTALL: on_uninstall_clicked(dialog); break;
    case IDC_MAIN_EXIT:    EndDialog(dialog, MAIN_LEAVE); break;
    case IDCANCEL:         EndDialog(dialog, MAIN_LEAVE); break;
    }
}

INT_PTR CALLBACK main_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: on_main_dialog_open(dialog); break;
    case WM_PAINT:      draw_picture_panel(dialog, IDC_MAIN_PICTURE, IDB_TITLE); break;
    case WM_COMMAND:    on_main_dialog_command(dialog, wparam); break;
    }
    return 0;
}
