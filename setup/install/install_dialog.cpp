// install_dialog.cpp -- the install dialog (template 103): the destination folder, the required
// space, and the extraction of the exe and typical archives with a progress bar.
//
// The extraction runs inside the Install handler. Its progress callback pumps the thread's
// messages, so this procedure is entered again during an install: that is how Back reaches the
// running extraction, through the cancel flag.

#include "install/install_dialog.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include <commctrl.h>

#include "archive/archive_ops.h"
#include "install/drive_utils.h"
#include "resources/resource_ids.h"
#include "shell/installer_state.h"
#include "shell/message_pump.h"
#include "shell/play_dialog.h"

static int install_started;
static int cancel_flag;

struct ArchiveStep {
    const char* archive;
    const char* list;
    InstallList** image;  // the slot whose entry k gives the size of the k-th extracted file
};

static const ArchiveStep install_steps[] = {
    {"exe_install.qbr", "exe_install_list.txt", &exe_install_list},
    {"typical_install.qbr", "typical_install_list.txt", &typical_install_list},
};

// The check of each extracted file against the size its list image gives: the image of the
// archive being extracted, the entry the next file belongs to, and the first file that did not
// match (which stops the extraction through the cancel flag).
static const InstallList* checked_image;
static int32_t checked_entry;
static bool size_mismatch;
static char mismatch_path[SETUP_PATH_CHARS];

static void stop_box(HWND owner, const char* text)
{
    MessageBoxExA(owner, text, "TRV 99", MB_OK | MB_ICONHAND, 2057);
}

static void show_available_space(HWND dialog, char letter, int64_t kilobytes)
{
    char text[64];
    std::snprintf(text, sizeof text, "Space available on drive %c: %" PRId64 " k", letter,
                  kilobytes);
    SetDlgItemTextA(dialog, IDC_INSTALL_AVAILABLE, text);
}

static void on_install_dialog_open(HWND dialog)
{
    CheckDlgButton(dialog, IDC_INSTALL_TYPICAL, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_MAXIMUM, BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_NO_DIRECTX, BST_UNCHECKED);

    std::snprintf(install_destination_path, sizeof install_destination_path, "%c:%s",
                  find_drive_of_type(DRIVE_FIXED), "\\trv");
    SetDlgItemTextA(dialog, IDC_INSTALL_DESTINATION, install_destination_path);
    int64_t free_bytes = free_disk_bytes(install_destination_path);
    show_available_space(dialog, install_destination_path[0], free_bytes >> 10);

    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_DESTINATION), TRUE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_TYPICAL), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_MAXIMUM), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_NO_DIRECTX), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_START), TRUE);

    char required[32];
    std::snprintf(required, sizeof required, "%d k", (int)(list_total_size(typical_install_list) >> 10));
    SetDlgItemTextA(dialog, IDC_INSTALL_REQUIRED, required);

    cancel_flag = 0;
    install_started = 0;
    install_type = -1;
}

static void on_destination_edited(HWND dialog, HWND edit)
{
    char text[256];
    if (GetWindowTextA(edit, text, sizeof text) <= 0)
        return;
    char letter = (char)std::toupper((unsigned char)text[0]);
    if (letter <= 'A' || letter >= 'Z')
        return;
    char root[4] = {text[0], ':', '\\', '\0'};
    int64_t free_bytes = free_disk_bytes(root);
    show_available_space(dialog, letter, free_bytes < 0 ? 0 : free_bytes / 1024);
}

// A file whose byte count differs from its entry's size (0: not recorded), or a file beyond the
// image's entries, means the medium is damaged.
static bool size_matches_image(int64_t byte_count)
{
    int32_t entry = checked_entry++;
    if (entry >= list_count(checked_image))
        return false;
    int32_t size = list_entry(checked_image, entry)->size;
    return size == 0 || size == byte_count;
}

static int install_progress_step(int64_t byte_count, const char* path, void* user_value)
{
    if (!size_mismatch && !size_matches_image(byte_count)) {
        size_mismatch = true;
        std::snprintf(mismatch_path, sizeof mismatch_path, "%s", path);
        cancel_flag = 1;
    }
    SendDlgItemMessageA((HWND)user_value, IDC_INSTALL_PROGRESS, PBM_STEPIT, 0, 0);
    return pump_pending_messages();
}

// The destination with a final "\" in `working_path`; false when it does not fit.
static bool build_working_path(char* working_path, size_t capacity)
{
    size_t length = std::strlen(install_destination_path);
    bool has_separator = length > 0 && install_destination_path[length - 1] == '\\';
    int n = std::snprintf(working_path, capacity, "%s%s", install_destination_path,
                          has_separator ? "" : "\\");
    return n > 0 && (size_t)n < capacity;
}

static const char* failure_reason(int result)
{
    switch (result) {
    case ARCHIVE_UNPACK_OPEN_FAILED: return "the archive or its file list could not be read";
    case ARCHIVE_MKDIR_FAILED:       return "a folder could not be created";
    case ARCHIVE_CREATE_FAILED:      return "a file could not be created";
    case ARCHIVE_DECODE_FAILED:      return "the archive is damaged";
    case ARCHIVE_WRITE_FAILED:       return "a file could not be written (is the disk full?)";
    case ARCHIVE_UNSAFE_NAME:        return "the file list names a file outside the folder";
    case ARCHIVE_NAME_TOO_LONG:      return "a path is too long";
    default:                         return "the extraction failed";
    }
}

static void report_failed_step(HWND dialog, const ArchiveStep& step, const char* reason,
                               const char* path)
{
    char text[768];
    std::snprintf(text, sizeof text, "Setup could not extract %s: %s.\n%s\n\n"
                  "The installation was not completed.",
                  step.archive, reason, path);
    stop_box(dialog, text);
}

// True when `format` with `destination` and `name` fits `capacity` characters.
static bool fits(size_t capacity, const char* format, const char* destination, const char* name)
{
    char text[MAX_PATH + 1];
    int n = std::snprintf(text, sizeof text, format, destination, name);
    return n >= 0 && (size_t)n < capacity && (size_t)n < sizeof text;
}

// A destination every later step can format without cutting it: the working path, the data
// folder, the game's command line and the shortcut targets.
static bool destination_fits(const char* destination)
{
    char working_path[SETUP_PATH_CHARS];
    char command_line[SETUP_PATH_CHARS];
    return build_working_path(working_path, sizeof working_path) &&
           fits(SETUP_PATH_CHARS, "%s\\%s", destination, "data") &&
           format_game_command_line(command_line, sizeof command_line, destination, true) &&
           format_game_command_line(command_line, sizeof command_line, destination, false) &&
           fits(MAX_PATH, "%s\\%s", destination, "trv99hw.exe");
}

// "X:\..." with a folder after the root: relative folders, drive roots and bare drive letters
// would put the game where the uninstall cannot safely remove it.
static bool is_folder_on_a_drive(const char* folder)
{
    return std::isalpha((unsigned char)folder[0]) && folder[1] == ':' && folder[2] == '\\' &&
           folder[3] != '\0' && folder[3] != '\\';
}

// Refuses a destination the install cannot use, before anything is extracted.
static bool destination_is_usable(HWND dialog)
{
    if (install_destination_path[0] == '\0') {
        stop_box(dialog, "Please enter the folder to install TRV 99 into.");
        return false;
    }
    if (!is_folder_on_a_drive(install_destination_path)) {
        stop_box(dialog, "Please enter a folder on a drive, such as C:\\trv.");
        return false;
    }
    if (!destination_fits(install_destination_path)) {
        stop_box(dialog, "The name of the install folder is too long. Please choose a shorter "
                         "folder.");
        return false;
    }
    return true;
}

static void on_install_clicked(HWND dialog)
{
    SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_WAIT));
    GetDlgItemTextA(dialog, IDC_INSTALL_DESTINATION, install_destination_path,
                    sizeof install_destination_path);
    if (!destination_is_usable(dialog))
        return;
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_TYPICAL), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_MAXIMUM), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_DESTINATION), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_NO_DIRECTX), FALSE);

    int total = list_count(exe_install_list) + list_count(typical_install_list);
    SendDlgItemMessageA(dialog, IDC_INSTALL_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, total));
    SendDlgItemMessageA(dialog, IDC_INSTALL_PROGRESS, PBM_SETSTEP, 1, 0);

    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_START), FALSE);
    install_started = 1;
    size_mismatch = false;
    for (const ArchiveStep& step : install_steps) {
        char working_path[SETUP_PATH_CHARS];
        build_working_path(working_path, sizeof working_path);
        checked_image = *step.image;
        checked_entry = 0;
        int result = unpack_archive(step.archive, step.list, working_path, sizeof working_path,
                                    dialog, &cancel_flag, install_progress_step);
        if (size_mismatch) {
            report_failed_step(dialog, step, "a file does not have the size the medium lists "
                               "for it, so the medium is damaged", mismatch_path);
            EndDialog(dialog, INSTALL_BACKED_OUT);
            return;
        }
        if (result == ARCHIVE_CANCELLED) {
            EndDialog(dialog, INSTALL_BACKED_OUT);
            return;
        }
        if (result != ARCHIVE_OK) {
            report_failed_step(dialog, step, failure_reason(result),
                               result == ARCHIVE_UNPACK_OPEN_FAILED ? step.archive : working_path);
            EndDialog(dialog, INSTALL_BACKED_OUT);
            return;
        }
    }
    // Back answered Yes during the last file: the user asked to stop, so nothing follows.
    EndDialog(dialog, cancel_flag ? INSTALL_BACKED_OUT : INSTALL_FINISHED);
}

static void on_back_clicked(HWND dialog)
{
    if (install_started == 1 &&
        MessageBoxExA(dialog, "The installation process has started. Still Quit?", "TRV 99",
                      MB_YESNO | MB_ICONINFORMATION, 2057) == IDNO)
        return;
    cancel_flag = 1;
    EndDialog(dialog, INSTALL_BACKED_OUT);
}

// Cancel ends the dialog without a question; an extraction that runs stops before its next file.
static void on_cancel(HWND dialog)
{
    cancel_flag = 1;
    EndDialog(dialog, INSTALL_BACKED_OUT);
}

static void on_install_dialog_command(HWND dialog, WPARAM wparam, LPARAM lparam)
{
    if (HIWORD(wparam) == EN_CHANGE) {
        on_destination_edited(dialog, (HWND)lparam);
        return;
    }
    switch (wparam) {
    case IDCANCEL:          on_cancel(dialog); break;
    case IDC_INSTALL_BACK:  on_back_clicked(dialog); break;
    case IDC_INSTALL_START: on_install_clicked(dialog); break;
    }
}

INT_PTR CALLBACK install_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG: on_install_dialog_open(dialog); break;
    case WM_COMMAND:    on_install_dialog_command(dialog, wparam, lparam); break;
    }
    return 0;
}
