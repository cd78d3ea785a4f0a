// uninstall_dialog.cpp -- the uninstall dialog (template 105): removes, in any combination, the
// installed game (the files the typical list names, and the maximum list's after a maximum
// install, their emptied folders, the shortcuts and the settings key), the saved games and the
// saved replays.
//
// The removal runs inside the Uninstall command without dispatching other messages. A path
// that does not fit its buffer is skipped, never cut into another path.

#include "uninstall/uninstall_dialog.h"

#include <commctrl.h>

#include "archive/host_files.h"
#include "common/game_texts.h"
#include "common/installer_state.h"
#include "common/message_boxes.h"
#include "common/picture_panel.h"
#include "common/text.h"
#include "install/destination.h"
#include "install/drive_utils.h"
#include "install/settings.h"
#include "install/shortcuts.h"
#include "resources/resource_ids.h"

static bool uninstall_game_selected;
static bool delete_saved_games_selected;
static bool delete_saved_replays_selected;
static bool delete_all_selected;

static void enable(HWND dialog, int id, bool enabled)
{
    EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

int delete_matching_files(const char* pattern)
{
    char folder[SETUP_PATH_CHARS];
    if (!copy_text(folder, sizeof folder, pattern))
        return 0;
    char* after_folder = folder;  // the folder keeps its final "\"; none: empty
    for (char* c = folder; *c != '\0'; c++) {
        if (is_folder_separator(*c))
            after_folder = c + 1;
    }
    *after_folder = '\0';

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int deleted = 0;
    do {
        if (found.cFileName[0] == '.' || !(found.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE))
            continue;
        char path[SETUP_PATH_CHARS];
        if (!format_text(path, sizeof path, "%s%s", folder, found.cFileName))
            continue;
        if (DeleteFileA(path))
            deleted++;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return deleted;
}

static void set_all_selected(HWND dialog)
{
    uninstall_game_selected = true;
    delete_saved_games_selected = true;
    delete_saved_replays_selected = true;
    CheckDlgButton(dialog, IDC_UNINSTALL_GAME, BST_CHECKED);
    CheckDlgButton(dialog, IDC_UNINSTALL_GAMES, BST_CHECKED);
    CheckDlgButton(dialog, IDC_UNINSTALL_REPLAYS, BST_CHECKED);
    CheckDlgButton(dialog, IDC_UNINSTALL_DELETE_ALL, BST_CHECKED);
    enable(dialog, IDC_UNINSTALL_GAMES, false);
    enable(dialog, IDC_UNINSTALL_REPLAYS, false);
    enable(dialog, IDC_UNINSTALL_GAME, false);
}

static void on_uninstall_dialog_open(HWND dialog)
{
    char status[SETUP_PATH_CHARS + 40];
    format_text(status, sizeof status, TEXT_INSTALLED_IN, install_destination_path);
    SetDlgItemTextA(dialog, IDC_UNINSTALL_STATUS, status);
    delete_all_selected = true;
    set_all_selected(dialog);
}

static void on_delete_all_clicked(HWND dialog)
{
    delete_all_selected = !delete_all_selected;
    if (delete_all_selected) {
        set_all_selected(dialog);
        return;
    }
    enable(dialog, IDC_UNINSTALL_GAMES, true);
    enable(dialog, IDC_UNINSTALL_REPLAYS, true);
    enable(dialog, IDC_UNINSTALL_GAME, true);
}

static void set_progress_range(HWND dialog, int maximum)
{
    SendDlgItemMessageA(dialog, IDC_UNINSTALL_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, maximum));
    SendDlgItemMessageA(dialog, IDC_UNINSTALL_PROGRESS, PBM_SETSTEP, 1, 0);
}

static void step_progress(HWND dialog)
{
    SendDlgItemMessageA(dialog, IDC_UNINSTALL_PROGRESS, PBM_STEPIT, 0, 0);
}

// Deletes "<location_path>\<wildcard>". Without a known data folder nothing is deleted: the
// pattern would otherwise name the root of the current drive.
static void delete_saved_files(const char* wildcard)
{
    if (location_path[0] == '\0')
        return;
    char pattern[SETUP_PATH_CHARS];
    if (format_text(pattern, sizeof pattern, "%s\\%s", location_path, wildcard))
        delete_matching_files(pattern);
}

// The lists whose entries an uninstall removes: typical, and maximum after a maximum install.
static int removal_lists(const InstallList* lists[2])
{
    int n = 0;
    if (typical_install_list != nullptr)
        lists[n++] = typical_install_list;
    if (install_type == 1 && maximum_install_list != nullptr)
        lists[n++] = maximum_install_list;
    return n;
}

static int removal_count()
{
    const InstallList* lists[2];
    int lists_used = removal_lists(lists);
    int count = 0;
    for (int i = 0; i < lists_used; i++)
        count += list_count(lists[i]);
    return count;
}

// "<install_destination_path>\<name>" into `path`; false (and skipped) when it does not fit.
static bool installed_path(const char* name, char* path, size_t capacity)
{
    return copy_text(path, capacity, install_destination_path) &&
           append_path_component(path, capacity, name);
}

static void delete_listed_files(HWND dialog)
{
    const InstallList* lists[2];
    int lists_used = removal_lists(lists);
    for (int l = 0; l < lists_used; l++) {
        for (int32_t i = 0; i < list_count(lists[l]); i++) {
            char path[SETUP_PATH_CHARS];
            if (installed_path(list_entry(lists[l], i)->name, path, sizeof path)) {
                SetDlgItemTextA(dialog, IDC_UNINSTALL_STATUS, path);
                DeleteFileA(path);
            }
            step_progress(dialog);
        }
    }
}

// The last folder separator in `path`, or null: list names may use "/" as well as "\\".
static char* last_separator(char* path)
{
    char* last = nullptr;
    for (char* p = path; *p != '\0'; p++) {
        if (is_folder_separator(*p))
            last = p;
    }
    return last;
}

// Removes `folder` and then each of its parents, as long as they are empty.
static void remove_folder_and_parents(char* folder)
{
    RemoveDirectoryA(folder);
    char* separator;
    while ((separator = last_separator(folder)) != nullptr) {
        *separator = '\0';
        RemoveDirectoryA(folder);
    }
}

// Removes the folders that held the listed files, deepest paths last in the table but every
// walk climbing to the root, so the order does not decide what stays.
static void remove_emptied_folders(HWND dialog, int count)
{
    typedef char FolderSlot[SETUP_PATH_CHARS];
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)count * sizeof(FolderSlot));
    FolderSlot* slots = memory != nullptr ? (FolderSlot*)GlobalLock(memory) : nullptr;
    int used = 0;
    if (slots != nullptr) {
        const InstallList* lists[2];
        int lists_used = removal_lists(lists);
        for (int l = 0; l < lists_used; l++) {
            for (int32_t i = 0; i < list_count(lists[l]) && used < count; i++) {
                char* slot = slots[used];
                if (!installed_path(list_entry(lists[l], i)->name, slot, sizeof(FolderSlot)))
                    continue;
                char* separator = last_separator(slot);
                if (separator == nullptr)
                    continue;
                *separator = '\0';
                used++;
            }
        }
        sort_rows(slots, (size_t)used, sizeof(FolderSlot), shorter_name_first);
    }
    set_progress_range(dialog, used);
    SetDlgItemTextA(dialog, IDC_UNINSTALL_STATUS, TEXT_REMOVING_FOLDERS);
    for (int i = 0; i < used; i++) {
        remove_folder_and_parents(slots[i]);
        step_progress(dialog);
    }
    if (location_path[0] != '\0')
        RemoveDirectoryA(location_path);
    RemoveDirectoryA(install_destination_path);
    if (memory != nullptr) {
        GlobalUnlock(memory);
        GlobalFree(memory);
    }
}

// Removes the installed game. False when the dialog has ended with UNINSTALL_STOPPED.
static bool remove_game(HWND dialog)
{
    if (install_destination_path[0] == '\0') {
        stop_box(dialog, TEXT_FOLDER_UNKNOWN);
        EndDialog(dialog, UNINSTALL_STOPPED);
        return false;
    }
    int count = removal_count();
    set_progress_range(dialog, count);
    SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_WAIT));
    if (count <= 0) {
        stop_box(dialog, TEXT_EMPTY_LISTS);
        EndDialog(dialog, UNINSTALL_STOPPED);
        return false;
    }
    delete_listed_files(dialog);
    remove_emptied_folders(dialog, count);

    delete_desktop_shortcut(SOFTWARE_SHORTCUT);
    delete_desktop_shortcut(HARDWARE_SHORTCUT);
    HWND main_dialog = GetParent(dialog);
    EnableWindow(GetDlgItem(main_dialog, IDC_MAIN_INSTALL), TRUE);
    EnableWindow(GetDlgItem(main_dialog, IDC_MAIN_EXIT), TRUE);
    enable(dialog, IDC_UNINSTALL_GAME, false);
    if (delete_all_selected)
        enable(dialog, IDC_UNINSTALL_DELETE_ALL, false);

    set_progress_range(dialog, 1);
    SetDlgItemTextA(dialog, IDC_UNINSTALL_STATUS, TEXT_REMOVING_SETTINGS);
    if (!delete_settings()) {
        stop_box(dialog, TEXT_SETTINGS_NOT_REMOVED);
        EndDialog(dialog, UNINSTALL_STOPPED);
        return false;
    }
    step_progress(dialog);
    return true;
}

// The settings may have been damaged or written by another program: before anything is
// deleted, both folders they name must be ones an install could have made (an empty one is
// never used). Otherwise says which, and the dialog ends with nothing removed and the key kept.
static bool stored_folders_are_ours(HWND dialog)
{
    const char* const folders[] = {install_destination_path, location_path};
    for (const char* folder : folders) {
        if (folder[0] == '\0' || installed_folder_refusal(folder) == nullptr)
            continue;
        char text[SETUP_PATH_CHARS + 160];
        format_text(text, sizeof text, TEXT_UNSAFE_FOLDER, folder);
        stop_box(dialog, text);
        EndDialog(dialog, UNINSTALL_STOPPED);
        return false;
    }
    return true;
}

static void on_uninstall_clicked(HWND dialog)
{
    if (!uninstall_game_selected && !delete_saved_games_selected &&
        !delete_saved_replays_selected) {
        stop_box(dialog, TEXT_NOTHING_SELECTED);
        return;
    }
    if (!stored_folders_are_ours(dialog))
        return;
    if (delete_saved_games_selected) {
        delete_saved_files(SAVED_GAMES);
        enable(dialog, IDC_UNINSTALL_GAMES, false);
    }
    if (delete_saved_replays_selected) {
        delete_saved_files(SAVED_REPLAYS);
        enable(dialog, IDC_UNINSTALL_REPLAYS, false);
    }
    if (uninstall_game_selected && !remove_game(dialog))
        return;
    SetDlgItemTextA(dialog, IDC_UNINSTALL_STATUS, "");
    SendDlgItemMessageA(dialog, IDC_UNINSTALL_PROGRESS, PBM_SETPOS, 0, 0);
    MessageBoxExA(dialog, TEXT_UNINSTALL_COMPLETED, SETUP_CAPTION, MB_OK | MB_ICONINFORMATION,
                  SETUP_LANGUAGE);
    EndDialog(dialog, UNINSTALL_COMPLETED);
}

static void on_uninstall_dialog_command(HWND dialog, WPARAM wparam)
{
    switch (wparam) {
    case IDC_UNINSTALL_BACK:       EndDialog(dialog, UNINSTALL_BACKED_OUT); break;
    case IDCANCEL:                 EndDialog(dialog, UNINSTALL_BACKED_OUT); break;
    case IDC_UNINSTALL_GAME:       uninstall_game_selected = !uninstall_game_selected; break;
    case IDC_UNINSTALL_GAMES:      delete_saved_games_selected = !delete_saved_games_selected; break;
    case IDC_UNINSTALL_REPLAYS:    delete_saved_replays_selected = !delete_saved_replays_selected; break;
    case IDC_UNINSTALL_DELETE_ALL: on_delete_all_clicked(dialog); break;
    case IDC_UNINSTALL_START:      on_uninstall_clicked(dialog); break;
    }
}

INT_PTR CALLBACK uninstall_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: on_uninstall_dialog_open(dialog); break;
    case WM_PAINT:      draw_picture_panel(dialog, IDC_UNINSTALL_PICTURE, IDB_SIDE); break;
    case WM_QUIT:       EndDialog(dialog, UNINSTALL_BACKED_OUT); break;
    case WM_COMMAND:    on_uninstall_dialog_command(dialog, wparam); break;
    }
    return 0;
}
