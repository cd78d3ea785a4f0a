// install_dialog.cpp -- the install dialog (template 103): the destination folder, the required
// space, and the extraction of the exe and typical archives with a progress bar; then, after the
// dialog has closed, what finishes an install (data folder, settings, shortcuts, message).
//
// The extraction runs inside the Install handler. Its progress callback pumps the thread's
// messages, so this procedure is entered again during an install: that is how Back reaches the
// running extraction, through the cancel flag of the one install run.

#include "install/install_dialog.h"

#include <commctrl.h>

#include "archive/archive_ops.h"
#include "archive/host_files.h"
#include "common/game_texts.h"
#include "common/installer_state.h"
#include "common/message_boxes.h"
#include "common/message_pump.h"
#include "common/text.h"
#include "install/destination.h"
#include "install/drive_utils.h"
#include "install/entry_sums.h"
#include "install/install_check.h"
#include "install/install_list.h"
#include "install/settings.h"
#include "install/shortcuts.h"
#include "resources/resource_ids.h"

struct ArchiveStep {
    const char* archive;
    const char* list;
    InstallList** image;  // the slot whose entry k gives the size of the k-th extracted file
    const char* sums;     // the sums file, whose line k gives its CRC-32 and size, if present
};

static const ArchiveStep install_steps[] = {
    {EXE_ARCHIVE, EXE_FILE_LIST, &exe_install_list, EXE_SUMS},
    {TYPICAL_ARCHIVE, TYPICAL_FILE_LIST, &typical_install_list, TYPICAL_SUMS},
};

// One install run, reset when the dialog opens; the progress callback gets it as its user value.
// Each extracted file is checked against the CRC-32 and size its sums line gives, where the
// medium has sums, and the size its list image gives; the first that does not match stops the
// extraction through the cancel flag.
struct InstallRun {
    HWND dialog;
    int started;                  // 1 from the first extraction on: Back then asks first
    int cancel_flag;              // read by the extraction before each file
    const InstallList* image;     // the image of the archive being extracted
    const EntrySums* sums;        // its sums, or null when the medium has none
    size_t folder_length;         // of the destination in the paths the extraction reports
    int32_t next_entry;           // its entry the next file belongs to
    const char* refusal;          // why a file was refused, or null
    char mismatch_path[SETUP_PATH_CHARS];
};

static InstallRun install_run;

// Shows the free space in kilobytes, -1 when unknown; shown as at most 2147483647, the most a
// drive of the 95 family reports.
static void show_available_space(HWND dialog, char letter, int64_t kilobytes)
{
    long shown = kilobytes > 0x7FFFFFFF ? 0x7FFFFFFFL : (long)kilobytes;
    char text[64];
    format_text(text, sizeof text, TEXT_SPACE_AVAILABLE, letter, shown);
    SetDlgItemTextA(dialog, IDC_INSTALL_AVAILABLE, text);
}

static void on_install_dialog_open(HWND dialog)
{
    CheckDlgButton(dialog, IDC_INSTALL_TYPICAL, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_MAXIMUM, BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_NO_DIRECTX, BST_UNCHECKED);

    format_text(install_destination_path, sizeof install_destination_path, "%c:%s",
                find_drive_of_type(DRIVE_FIXED), DEFAULT_FOLDER);
    SetDlgItemTextA(dialog, IDC_INSTALL_DESTINATION, install_destination_path);
    int64_t free_bytes = free_disk_bytes(install_destination_path);
    show_available_space(dialog, install_destination_path[0], free_bytes >> 10);

    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_DESTINATION), TRUE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_TYPICAL), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_MAXIMUM), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_NO_DIRECTX), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_START), TRUE);

    char required[32];
    format_text(required, sizeof required, TEXT_SPACE_REQUIRED,
                (int)(list_total_size(typical_install_list) >> 10));
    SetDlgItemTextA(dialog, IDC_INSTALL_REQUIRED, required);

    install_run = InstallRun();
    install_run.dialog = dialog;
    install_type = -1;
}

static void on_destination_edited(HWND dialog, HWND edit)
{
    char text[256];
    if (GetWindowTextA(edit, text, sizeof text) <= 0)
        return;
    char letter = text[0] >= 'a' && text[0] <= 'z' ? (char)(text[0] - 'a' + 'A') : text[0];
    if (letter <= 'A' || letter >= 'Z')
        return;
    char root[4] = {text[0], ':', '\\', '\0'};
    int64_t free_bytes = free_disk_bytes(root);
    show_available_space(dialog, letter, free_bytes < 0 ? 0 : free_bytes / 1024);
}

// Why the file at `path` is refused, or null. Its bytes were damaged when their CRC-32 or count
// differs from its sums line (which must name it), and the medium when the count differs from its
// image entry's size (0: not recorded) or the file is beyond the image's entries.
static const char* entry_refusal(InstallRun* run, int64_t byte_count, uint32_t crc,
                                 const char* path)
{
    int32_t entry = run->next_entry++;
    if (run->sums != nullptr) {
        if (entry >= run->sums->count)
            return TEXT_ARCHIVE_DAMAGED;
        const EntrySum& sum = run->sums->entries[entry];
        if (sum.crc != crc || sum.size != byte_count ||
            !same_text(sum.name, path + run->folder_length))
            return TEXT_ARCHIVE_DAMAGED;
    }
    if (entry >= list_count(run->image))
        return TEXT_SIZE_MISMATCH;
    int32_t size = list_entry(run->image, entry)->size;
    return size == 0 || size == byte_count ? nullptr : TEXT_SIZE_MISMATCH;
}

static int install_progress_step(int64_t byte_count, uint32_t crc, const char* path,
                                 void* user_value)
{
    InstallRun* run = (InstallRun*)user_value;
    if (run->refusal == nullptr) {
        run->refusal = entry_refusal(run, byte_count, crc, path);
        if (run->refusal != nullptr) {
            copy_text(run->mismatch_path, sizeof run->mismatch_path, path);
            run->cancel_flag = 1;
        }
    }
    SendDlgItemMessageA(run->dialog, IDC_INSTALL_PROGRESS, PBM_STEPIT, 0, 0);
    return pump_pending_messages();
}

static const char* failure_reason(int result)
{
    switch (result) {
    case ARCHIVE_UNPACK_OPEN_FAILED: return TEXT_ARCHIVE_UNREADABLE;
    case ARCHIVE_MKDIR_FAILED:       return TEXT_FOLDER_NOT_MADE;
    case ARCHIVE_CREATE_FAILED:      return TEXT_FILE_NOT_MADE;
    case ARCHIVE_DECODE_FAILED:      return TEXT_ARCHIVE_DAMAGED;
    case ARCHIVE_WRITE_FAILED:       return TEXT_FILE_NOT_WRITTEN;
    case ARCHIVE_UNSAFE_NAME:        return TEXT_NAME_OUTSIDE;
    case ARCHIVE_NAME_TOO_LONG:      return TEXT_PATH_TOO_LONG;
    default:                         return TEXT_EXTRACTION_FAILED;
    }
}

static void report_failed_step(HWND dialog, const ArchiveStep& step, const char* reason,
                               const char* path)
{
    char text[768];
    format_text(text, sizeof text, TEXT_NOT_EXTRACTED, step.archive, reason, path);
    stop_box(dialog, text);
}

// Reads the sums of the step's archive, where the medium has them; a sums file that is not in its
// form is reported, naming its line.
static SumsRead read_step_sums(InstallRun* run, const ArchiveStep& step, EntrySums* sums)
{
    int32_t bad_line = 0;
    SumsRead read = read_entry_sums(step.sums, list_count(*step.image), sums, &bad_line);
    if (read == SUMS_MALFORMED) {
        char where[64];
        format_text(where, sizeof where, TEXT_SUMS_LINE, step.sums, (int)bad_line);
        report_failed_step(run->dialog, step, TEXT_SUMS_MALFORMED, where);
    }
    return read;
}

// Extracts one archive into the destination, each file checked as it is written. False, with
// the dialog ended, when the install stops here: cancelled, or failed with a message (also for
// sums that cannot be read, before anything is extracted).
static bool extract_step(InstallRun* run, const ArchiveStep& step)
{
    char working_path[SETUP_PATH_CHARS];
    format_working_path(working_path, sizeof working_path, install_destination_path);
    run->image = *step.image;
    run->next_entry = 0;
    run->folder_length = 0;
    while (working_path[run->folder_length] != '\0')
        run->folder_length++;
    EntrySums sums;
    SumsRead read = read_step_sums(run, step, &sums);
    if (read == SUMS_MALFORMED) {
        EndDialog(run->dialog, INSTALL_BACKED_OUT);
        return false;
    }
    run->sums = read == SUMS_READ ? &sums : nullptr;
    int result = unpack_archive_checked(step.archive, step.list, working_path,
                                        sizeof working_path, run, &run->cancel_flag,
                                        install_progress_step);
    run->sums = nullptr;
    free_entry_sums(&sums);
    if (run->refusal != nullptr)
        report_failed_step(run->dialog, step, run->refusal, run->mismatch_path);
    else if (result != ARCHIVE_OK && result != ARCHIVE_CANCELLED)
        report_failed_step(run->dialog, step, failure_reason(result),
                           result == ARCHIVE_UNPACK_OPEN_FAILED ? step.archive : working_path);
    if (result == ARCHIVE_OK && run->refusal == nullptr)
        return true;
    EndDialog(run->dialog, INSTALL_BACKED_OUT);
    return false;
}

// Checks both steps' archives and lists for an install into `destination`, before anything is
// written. False when the install cannot go on; a name too long for the folder leaves the dialog
// open for a shorter one, a medium that cannot be read ends it.
static bool medium_fits(HWND dialog, const char* destination)
{
    char working_path[SETUP_PATH_CHARS];
    format_working_path(working_path, sizeof working_path, destination);
    for (const ArchiveStep& step : install_steps) {
        MediumCheck check;
        char text[768];
        switch (check_archive_step(step.archive, step.list, working_path, &check)) {
        case MEDIUM_OK:
            continue;
        case MEDIUM_NAME_TOO_LONG:
            format_text(text, sizeof text, TEXT_FOLDER_TOO_LONG_FOR_FILE, check.name, step.archive);
            stop_box(dialog, text);
            return false;
        case MEDIUM_UNREADABLE:
            report_failed_step(dialog, step, TEXT_ARCHIVE_UNREADABLE, check.name);
            break;
        case MEDIUM_NAME_REFUSED:
            report_failed_step(dialog, step, TEXT_NAME_REFUSED, check.name);
            break;
        }
        EndDialog(dialog, INSTALL_BACKED_OUT);
        return false;
    }
    return true;
}

static void on_install_clicked(HWND dialog)
{
    SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_WAIT));
    // The typed folder becomes the destination only once it is accepted.
    char destination[SETUP_PATH_CHARS] = "";
    GetDlgItemTextA(dialog, IDC_INSTALL_DESTINATION, destination, sizeof destination);
    const char* refusal = destination_refusal(destination);
    if (refusal != nullptr) {
        stop_box(dialog, refusal);
        return;
    }
    if (!medium_fits(dialog, destination))
        return;
    copy_text(install_destination_path, sizeof install_destination_path, destination);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_TYPICAL), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_MAXIMUM), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_DESTINATION), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_NO_DIRECTX), FALSE);

    int total = list_count(exe_install_list) + list_count(typical_install_list);
    SendDlgItemMessageA(dialog, IDC_INSTALL_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, total));
    SendDlgItemMessageA(dialog, IDC_INSTALL_PROGRESS, PBM_SETSTEP, 1, 0);

    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_START), FALSE);
    // Every sums file is read before anything is extracted.
    for (const ArchiveStep& step : install_steps) {
        EntrySums sums;
        SumsRead read = read_step_sums(&install_run, step, &sums);
        free_entry_sums(&sums);
        if (read == SUMS_MALFORMED) {
            EndDialog(dialog, INSTALL_BACKED_OUT);
            return;
        }
    }
    install_run.started = 1;
    for (const ArchiveStep& step : install_steps) {
        // Back answered Yes during the last file of a step: the user asked to stop, so neither
        // the next archive nor a message about it follows.
        if (install_run.cancel_flag) {
            EndDialog(dialog, INSTALL_BACKED_OUT);
            return;
        }
        if (!extract_step(&install_run, step))
            return;
    }
    // Back answered Yes during the very last file: nothing follows either.
    EndDialog(dialog, install_run.cancel_flag ? INSTALL_BACKED_OUT : INSTALL_FINISHED);
}

static void on_back_clicked(HWND dialog)
{
    if (install_run.started == 1 &&
        MessageBoxExA(dialog, TEXT_STILL_QUIT, SETUP_CAPTION, MB_YESNO | MB_ICONINFORMATION,
                      SETUP_LANGUAGE) == IDNO)
        return;
    install_run.cancel_flag = 1;
    EndDialog(dialog, INSTALL_BACKED_OUT);
}

// Cancel ends the dialog without a question; an extraction that runs stops before its next file.
static void on_cancel(HWND dialog)
{
    install_run.cancel_flag = 1;
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

void finish_install()
{
    free_install_lists();

    if (format_data_folder(location_path, sizeof location_path, install_destination_path)) {
        SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
        CreateDirectoryA(location_path, &security);
    } else {
        location_path[0] = '\0';  // no room for the data folder: none is made or recorded
    }
    if (!write_settings())
        plain_box(TEXT_SETTINGS_NOT_WRITTEN);
    create_desktop_shortcut(SOFTWARE_SHORTCUT, SOFTWARE_EXECUTABLE, install_destination_path);
    create_desktop_shortcut(HARDWARE_SHORTCUT, HARDWARE_EXECUTABLE, install_destination_path);
    plain_box(TEXT_INSTALL_COMPLETED);
}
