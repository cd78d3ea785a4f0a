// destination.cpp -- the folder the game is installed in: whether a typed folder can be used, and
// the paths built from it.
//
// A destination is accepted only when every path built from it later fits its buffer, so no
// later step has to cut one.

#include "install/destination.h"

#include <windows.h>

#include "common/game_texts.h"
#include "common/installer_state.h"
#include "common/text.h"

bool format_working_path(char* dest, size_t capacity, const char* folder)
{
    size_t length = strlen(folder);
    bool has_separator = length > 0 && folder[length - 1] == '\\';
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

// "X:\..." with a folder after the root: relative folders, drive roots and bare drive letters
// would put the game where the uninstall cannot safely remove it.
static bool is_folder_on_a_drive(const char* folder)
{
    char letter = (char)(folder[0] | 0x20);  // lower case for a letter
    return letter >= 'a' && letter <= 'z' && folder[1] == ':' && folder[2] == '\\' &&
           folder[3] != '\0' && folder[3] != '\\';
}

const char* destination_refusal(const char* destination)
{
    if (destination[0] == '\0')
        return TEXT_NO_DESTINATION;
    if (!is_folder_on_a_drive(destination))
        return TEXT_NOT_ON_A_DRIVE;
    if (!destination_fits(destination))
        return TEXT_DESTINATION_TOO_LONG;
    return nullptr;
}
