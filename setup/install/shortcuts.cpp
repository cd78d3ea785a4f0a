// shortcuts.cpp -- the game's shortcuts on the desktop, written through the shell link object.

#include "install/shortcuts.h"

#include <objidl.h>
#include <shlobj.h>

#include "common/text.h"

// Frees an item list that the shell gave, with the shell's allocator: the 95 family's shell
// documents that one, not the COM task allocator, for the lists it hands out.
static void free_item_list(LPITEMIDLIST list)
{
    IMalloc* shell_allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shell_allocator))) {
        shell_allocator->Free(list);
        shell_allocator->Release();
    }
}

// "<desktop folder>\<link_name>" in `path` (MAX_PATH characters); false when the desktop folder
// is unknown or the path does not fit.
static bool desktop_file_path(const char* link_name, char* path)
{
    LPITEMIDLIST folder = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &folder)))
        return false;
    char desktop[MAX_PATH];
    BOOL found = SHGetPathFromIDListA(folder, desktop);
    free_item_list(folder);
    if (!found)
        return false;
    return format_text(path, MAX_PATH, "%s\\%s", desktop, link_name);
}

HRESULT create_shell_link(const char* target_path, const char* link_path,
                          const char* working_folder)
{
    IShellLinkA* link = nullptr;
    HRESULT created = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkA, (void**)&link);
    if (FAILED(created))
        return created;
    link->SetPath(target_path);
    link->SetWorkingDirectory(working_folder);
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
        WCHAR wide_path[MAX_PATH];
        if (MultiByteToWideChar(CP_ACP, 0, link_path, -1, wide_path, MAX_PATH) > 0)
            file->Save(wide_path, TRUE);
        file->Release();
    }
    link->Release();
    return 0;
}

bool create_desktop_shortcut(const char* link_name, const char* executable, const char* folder)
{
    char link_path[MAX_PATH];
    if (!desktop_file_path(link_name, link_path))
        return false;
    char target_path[MAX_PATH];
    if (!format_text(target_path, sizeof target_path, "%s\\%s", folder, executable))
        return false;
    return create_shell_link(target_path, link_path, folder) == 0;
}

void delete_desktop_shortcut(const char* link_name)
{
    char link_path[MAX_PATH];
    if (desktop_file_path(link_name, link_path))
        DeleteFileA(link_path);
}
