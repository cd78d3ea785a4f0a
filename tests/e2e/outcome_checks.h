// outcome_checks.h -- what a run of setup.exe leaves in the Wine prefix: the settings key, the
// desktop shortcuts and the extracted files, read back the way the game would find them.

#pragma once

#include <string>
#include <vector>

// The two desktop shortcuts and the programs they start.
extern const char SOFTWARE_LINK[];
extern const char HARDWARE_LINK[];

// Removes the settings key and both desktop shortcuts.
void clear_installed_state();

// HKEY_LOCAL_MACHINE\SOFTWARE\Orbwell\TRV 99 and its subkeys.
bool settings_key_exists();
bool settings_subkey_exists(const char* subkey);

// The raw data and type of a value of a subkey of the settings key; false when it is missing.
bool read_setting(const char* subkey, const char* name, std::string* data, unsigned long* type);

// The full path of `link_name` in the desktop folder (CSIDL_DESKTOPDIRECTORY).
std::string desktop_link_path(const char* link_name);

// A shortcut loaded through the shell link object; false when it cannot be loaded.
struct ShortcutFields {
    std::string target;
    std::string working_folder;
};
bool read_shortcut(const std::string& link_path, ShortcutFields* fields);

// The names of a file list, one a line, without line ends.
std::vector<std::string> list_names(const std::string& list_path);

// Every file under `folder` (ending with "\"), by its name relative to it with "\" between
// folders, sorted.
std::vector<std::string> files_under(const std::string& folder);
