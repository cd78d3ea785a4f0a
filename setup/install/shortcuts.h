// shortcuts.h -- the game's shortcuts on the desktop. COM must be initialised on the thread.

#pragma once

#include <windows.h>

// Saves a shell link at `link_path` that starts `target_path` in `working_folder`. The failure
// code when the shell link object cannot be created, 0 otherwise: a save that fails later is not
// reported, and then nothing was written.
HRESULT create_shell_link(const char* target_path, const char* link_path,
                          const char* working_folder);

// Creates or replaces desktop shortcut `link_name`, starting "<folder>\<executable>" in `folder`.
// False when the desktop's path or the target's does not fit, or the shell link object cannot be
// created; true does not promise a file (create_shell_link).
bool create_desktop_shortcut(const char* link_name, const char* executable, const char* folder);

// Deletes desktop shortcut `link_name` if it is there.
void delete_desktop_shortcut(const char* link_name);
