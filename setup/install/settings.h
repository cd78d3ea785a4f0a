// settings.h -- the settings key HKEY_LOCAL_MACHINE\SOFTWARE\Orbwell\TRV 99 and the four
// operations on it. Each works on the process-wide installer state and returns success.

#pragma once

// The settings key can be opened: the game counts as installed.
bool installation_present();

// Reads "install_destination_path", "install_type" and "location_path" into the installer
// state. True only when all three were read; each value read is kept also when one fails.
bool read_settings();

// Creates the settings key and its subkeys as needed and stores install_destination_path.
bool write_settings();

// Removes the settings key with its subkeys and flushes HKEY_LOCAL_MACHINE.
bool delete_settings();
