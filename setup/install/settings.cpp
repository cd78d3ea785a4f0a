// settings.cpp -- the settings key in the registry: tested, read, written and deleted.
//
//   HKEY_LOCAL_MACHINE\SOFTWARE\Orbwell\TRV 99
//       Install                   install_destination_path (REG_SZ, 256 bytes), install_type
//       Location Of Data Files    location_path (REG_SZ)
//
// Every key opened or created here is closed before the function returns.

#include "install/settings.h"

#include <windows.h>

#include "common/installer_state.h"

static const char SETTINGS_KEY[] = "SOFTWARE\\Orbwell\\TRV 99";
static const char INSTALL_SUBKEY[] = "Install";
static const char LOCATION_SUBKEY[] = "Location Of Data Files";

static const REGSAM SETTINGS_READ = 0x20019;   // KEY_READ
static const REGSAM SETTINGS_WRITE = 0x20006;  // KEY_WRITE

bool installation_present()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, SETTINGS_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Reads a value of at most `capacity` bytes into `dest`. A text is kept terminated inside its
// field even when the stored data fills the field without a terminator, and is left empty when
// the read fails: the buffer's contents are undefined then (a value too large among others).
static bool read_value(HKEY key, const char* name, void* dest, DWORD capacity, bool is_text)
{
    DWORD size = capacity;
    bool read = RegQueryValueExA(key, name, nullptr, nullptr, (BYTE*)dest, &size) == ERROR_SUCCESS;
    if (is_text) {
        char* text = (char*)dest;
        text[!read ? 0 : size < capacity ? size : capacity - 1] = '\0';
    }
    return read;
}

bool read_settings()
{
    HKEY settings;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, SETTINGS_READ, &settings) !=
        ERROR_SUCCESS)
        return false;

    bool all_read = true;
    HKEY install;
    if (RegOpenKeyExA(settings, INSTALL_SUBKEY, 0, SETTINGS_READ, &install) == ERROR_SUCCESS) {
        all_read &= read_value(install, "install_destination_path", install_destination_path,
                               sizeof install_destination_path, true);
        all_read &= read_value(install, "install_type", &install_type, sizeof install_type, false);
        RegCloseKey(install);
    } else {
        all_read = false;
    }

    HKEY location;
    if (RegOpenKeyExA(settings, LOCATION_SUBKEY, 0, SETTINGS_READ, &location) == ERROR_SUCCESS) {
        all_read &= read_value(location, "location_path", location_path, sizeof location_path,
                               true);
        RegCloseKey(location);
    } else {
        all_read = false;
    }
    RegCloseKey(settings);
    return all_read;
}

static bool create_key(HKEY parent, const char* name, HKEY* key)
{
    return RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, SETTINGS_WRITE,
                           nullptr, key, nullptr) == ERROR_SUCCESS;
}

// Stores the destination as the whole 256-byte field: the text, then zeros only, so nothing of
// an earlier, longer text reaches the registry.
static bool store_destination(HKEY install)
{
    char field[SETUP_PATH_CHARS] = {};
    for (size_t i = 0; i < sizeof field - 1 && install_destination_path[i] != '\0'; i++)
        field[i] = install_destination_path[i];
    return RegSetValueExA(install, "install_destination_path", 0, REG_SZ, (const BYTE*)field,
                          sizeof field) == ERROR_SUCCESS;
}

bool write_settings()
{
    HKEY settings;
    if (!create_key(HKEY_LOCAL_MACHINE, SETTINGS_KEY, &settings))
        return false;
    HKEY install;
    if (!create_key(settings, INSTALL_SUBKEY, &install)) {
        RegCloseKey(settings);
        return false;
    }
    bool stored = store_destination(install);
    RegCloseKey(install);
    if (!stored) {
        RegCloseKey(settings);
        return false;
    }
    HKEY location;
    bool created = create_key(settings, LOCATION_SUBKEY, &location);
    if (created)
        RegCloseKey(location);
    RegCloseKey(settings);
    return created;
}

bool delete_settings()
{
    // The NT family and Wine refuse to delete a key that still has subkeys: the two subkeys go
    // first. Their results don't matter; the deletion of the settings key itself decides.
    HKEY settings;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, SETTINGS_READ | SETTINGS_WRITE,
                      &settings) == ERROR_SUCCESS) {
        RegDeleteKeyA(settings, INSTALL_SUBKEY);
        RegDeleteKeyA(settings, LOCATION_SUBKEY);
        RegCloseKey(settings);
    }
    bool deleted = RegDeleteKeyA(HKEY_LOCAL_MACHINE, SETTINGS_KEY) == ERROR_SUCCESS;
    bool flushed = RegFlushKey(HKEY_LOCAL_MACHINE) == ERROR_SUCCESS;
    return deleted && flushed;
}
