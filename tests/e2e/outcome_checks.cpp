// outcome_checks.cpp -- what a run of setup.exe leaves in the Wine prefix: the settings key, the
// desktop shortcuts and the extracted files, read back the way the game would find them.

#include "outcome_checks.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

namespace fs = std::filesystem;

const char SOFTWARE_LINK[] = "TRV 99 Software Version.lnk";
const char HARDWARE_LINK[] = "TRV 99 Hardware Version.lnk";

static const char SETTINGS_KEY[] = "SOFTWARE\\Orbwell\\TRV 99";

static std::string settings_path(const char* subkey)
{
    return std::string(SETTINGS_KEY) + "\\" + subkey;
}

void clear_installed_state()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, settings_path("Install").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, settings_path("Location Of Data Files").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
    DeleteFileA(desktop_link_path(SOFTWARE_LINK).c_str());
    DeleteFileA(desktop_link_path(HARDWARE_LINK).c_str());
}

static bool key_exists(const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool settings_key_exists() { return key_exists(SETTINGS_KEY); }

bool settings_subkey_exists(const char* subkey) { return key_exists(settings_path(subkey)); }

bool read_setting(const char* subkey, const char* name, std::string* data, unsigned long* type)
{
    char bytes[1024];
    DWORD size = sizeof bytes;
    DWORD value_type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, settings_path(subkey).c_str(), name,
                     RRF_RT_ANY | RRF_NOEXPAND, &value_type, bytes, &size) != ERROR_SUCCESS)
        return false;
    data->assign(bytes, size);
    *type = value_type;
    return true;
}

std::string desktop_link_path(const char* link_name)
{
    char desktop[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop)))
        return std::string();
    return std::string(desktop) + "\\" + link_name;
}

static bool load_link_fields(IShellLinkA* link, const std::string& link_path,
                             ShortcutFields* fields)
{
    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, (void**)&file)))
        return false;
    WCHAR wide_path[MAX_PATH];
    bool loaded = MultiByteToWideChar(CP_ACP, 0, link_path.c_str(), -1, wide_path, MAX_PATH) > 0 &&
                  SUCCEEDED(file->Load(wide_path, STGM_READ));
    file->Release();
    char text[MAX_PATH];
    if (!loaded || link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH) != S_OK)
        return false;
    fields->target = text;
    if (FAILED(link->GetWorkingDirectory(text, MAX_PATH)))
        return false;
    fields->working_folder = text;
    return true;
}

bool read_shortcut(const std::string& link_path, ShortcutFields* fields)
{
    HRESULT com = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    bool read = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   (void**)&link))) {
        read = load_link_fields(link, link_path, fields);
        link->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return read;
}

std::vector<std::string> list_names(const std::string& list_path)
{
    std::vector<std::string> names;
    std::ifstream list(list_path, std::ios::binary);
    std::string line;
    while (std::getline(list, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        names.push_back(line);
    }
    return names;
}

std::vector<std::string> files_under(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file())
            continue;
        std::string name = it->path().lexically_relative(folder).generic_string();
        std::replace(name.begin(), name.end(), '/', '\\');
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}
