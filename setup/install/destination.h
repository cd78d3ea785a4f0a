// destination.h -- the folder the game is installed in: whether a typed folder can be used, and
// the paths built from it (working path of an extraction, data folder, game command line).

#pragma once

#include <cstddef>

// Null when `destination` can be installed into; otherwise the text that says why not.
const char* destination_refusal(const char* destination);

// Null when `folder` is one the install could have made, so that the uninstall may delete in
// it: a folder on a drive below its root, with no "." or ".." part and no part that Windows
// trims (a trailing dot or blank), neither the Windows nor the system folder nor inside them.
// Otherwise the text that says why not.
const char* installed_folder_refusal(const char* folder);

// `folder` with a final "\" (added unless it ends with one). False when it does not fit.
bool format_working_path(char* dest, size_t capacity, const char* folder);

// "<folder>\data", the folder of saved games and replays. False when it does not fit.
bool format_data_folder(char* dest, size_t capacity, const char* folder);

// The command line that starts the game in `folder`: the executable's quoted path. False when
// it does not fit `capacity`.
bool format_game_command_line(char* dest, size_t capacity, const char* folder, bool hardware);
