// destination.cpp -- the folder the game is installed in: whether a typed folder can be used, and
// the paths built from it.
//
// A destination is accepted only when every path built from it later fits its buffer, so no
// later step has to cut one.

#include "install/destination.h"

#include <windows.h>

#include "archive/host_files.h"
#include "common/game_texts.h"
#include "common/installer_state.h"
#include "common/text.h"

bool format_working_path(char* dest, size_t capacity, const char* folder)
{
    size_t length = strlen(folder);
    bool has_separator = length > 0 && is_folder_separator(folder[length - 1]);
    return format_text(dest, capacity, "%s%s", folder, has_separator ? "" : "\\");
}

bool format_data_folder(char* dest, size_t capacity, const char* folder)
{
    return format_text(dest, capacity, "%s\\%s", folder, DATA_FOLDER);
}

bool format_game_command_line(char* dest, size_t capacity, const char* folder, bool hardware)
{
    // Quoted, so that a folder with blanks cannot start another program first.
    return format_text(dest, capacity, "\"%s\\%s\"", folder,
                       hardware ? HARDWARE_EXECUTABLE : SOFTWARE_EXECUTABLE);
}

// A destination every later step can format without cutting it: the working path, the data
// folder, the game's command lines and the shortcut targets.
static bool destination_fits(const char* destination)
{
    char path[SETUP_PATH_CHARS];
    char target[MAX_PATH];
    return format_working_path(path, sizeof path, destination) &&
           format_data_folder(path, sizeof path, destination) &&
           format_game_command_line(path, sizeof path, destination, true) &&
           format_game_command_line(path, sizeof path, destination, false) &&
           format_text(target, sizeof target, "%s\\%s", destination, HARDWARE_EXECUTABLE);
}

static char lower_case(char c) { return c >= 'A' && c <= 'Z' ? (char)(c + 32) : c; }

// A part that names another folder than it spells: "." or "..", or one that Windows trims to
// another name (a trailing dot or blank: "windows." is "windows").
static bool is_aliasing_part(const char* begin, const char* end)
{
    return end > begin && (end[-1] == '.' || end[-1] == ' ');
}

// "X:\..." with a folder after the root, each part spelled as Windows keeps it: relative folders,
// drive roots, bare drive letters and "." or ".." parts would put the game where the uninstall
// cannot safely remove it.
static bool is_folder_on_a_drive(const char* folder)
{
    char letter = lower_case(folder[0]);
    if (!(letter >= 'a' && letter <= 'z' && folder[1] == ':' && folder[2] == '\\' &&
          folder[3] != '\0' && !is_folder_separator(folder[3])))
        return false;
    const char* part = folder + 3;
    for (const char* p = part;; p++) {
        if (*p != '\0' && !is_folder_separator(*p))
            continue;
        if (is_aliasing_part(part, p))
            return false;
        if (*p == '\0')
            return true;
        part = p + 1;
    }
}

// True when `folder` is `parent` or lies inside it, in any case and with either separator.
static bool is_inside(const char* folder, const char* parent)
{
    size_t length = strlen(parent);
    while (length > 0 && is_folder_separator(parent[length - 1]))
        length--;
    if (length == 0)
        return false;
    for (size_t i = 0; i < length; i++) {
        bool both_separators = is_folder_separator(folder[i]) && is_folder_separator(parent[i]);
        if (folder[i] == '\0' || (!both_separators && lower_case(folder[i]) != lower_case(parent[i])))
            return false;
    }
    return folder[length] == '\0' || is_folder_separator(folder[length]);
}

// True when `folder` is the Windows or the system folder, or inside one of them.
static bool is_in_windows_folders(const char* folder)
{
    char windows[MAX_PATH];
    char system[MAX_PATH];
    UINT windows_length = GetWindowsDirectoryA(windows, sizeof windows);
    UINT system_length = GetSystemDirectoryA(system, sizeof system);
    // A folder that cannot be asked for is taken as the whole of drive C:'s root, which no
    // accepted folder is: nothing passes.
    if (windows_length == 0 || windows_length >= sizeof windows || system_length == 0 ||
        system_length >= sizeof system)
        return true;
    return is_inside(folder, windows) || is_inside(folder, system);
}

const char* installed_folder_refusal(const char* folder)
{
    if (!is_folder_on_a_drive(folder))
        return TEXT_NOT_ON_A_DRIVE;
    if (is_in_windows_folders(folder))
        return TEXT_WINDOWS_FOLDER;
    return nullptr;
}

const char* destination_refusal(const char* destination)
{
    if (destination[0] == '\0')
        return TEXT_NO_DESTINATION;
    const char* refusal = installed_folder_refusal(destination);
    if (refusal != nullptr)
        return refusal;
    if (!destination_fits(destination))
        return TEXT_DESTINATION_TOO_LONG;
    return nullptr;
}
