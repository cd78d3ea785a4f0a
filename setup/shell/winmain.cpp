// winmain.cpp -- setup's entry point: refuses a second instance, loads the install lists,
// refreshes the stored settings, runs the main dialog and carries out what it asked for.
// Every path ends the process here.

#include <cstdio>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "install/drive_utils.h"
#include "install/install_list.h"
#include "install/settings.h"
#include "install/shortcuts.h"
#include "resources/resource_ids.h"
#include "shell/installer_state.h"
#include "shell/main_dialog.h"
#include "shell/play_dialog.h"

static const char CAPTION[] = "TRV 99";

static void stop_box(const char* text)
{
    MessageBoxExA(nullptr, text, CAPTION, MB_OK | MB_ICONHAND, 2057);
}

// Ends this process when another setup (any window titled "TRV 99") runs: silently the first
// time it is asked, with a message the second time.
static void refuse_second_instance(bool with_message)
{
    HWND other = FindWindowA(nullptr, CAPTION);
    if (other == nullptr)
        return;
    if (with_message)
        stop_box("An Instance of TRV 99 Windows 95 Setup is already running");
    SetForegroundWindow(other);
    ExitProcess(0);
}

static void load_list_or_exit(InstallList** slot, const char* file_name)
{
    if (load_install_list(slot, file_name))
        return;
    char text[128];
    std::snprintf(text, sizeof text, "Install list initialisation failed: %s", file_name);
    stop_box(text);
    ExitProcess(0);
}

static void free_install_lists()
{
    free_install_list(&exe_install_list);
    free_install_list(&typical_install_list);
    free_install_list(&maximum_install_list);
}

// Starts the chosen game; when it cannot start, says so and deletes the marker file
// "source.tmp" in the root of the first fixed disk.
static void play_chosen_game()
{
    if (!launch_game(play_hardware_version)) {
        stop_box("Setup was unable to successfully start a pre-installed version of TRV99");
        char marker[] = "?:\\source.tmp";
        marker[0] = find_drive_of_type(DRIVE_FIXED);
        DeleteFileA(marker);
    }
    free_install_lists();
}

static void finish_install()
{
    free_install_lists();

    int n = std::snprintf(location_path, sizeof location_path, "%s\\data",
                          install_destination_path);
    if (n > 0 && n < (int)sizeof location_path) {
        SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
        CreateDirectoryA(location_path, &security);
    } else {
        location_path[0] = '\0';  // no room for the data folder: none is made or recorded
    }
    if (!write_settings())
        MessageBoxA(nullptr, "Setup has found a corrupted system registry value", CAPTION, MB_OK);
    create_desktop_shortcut("TRV 99 Software Version.lnk", "trv99sw.exe",
                            install_destination_path);
    create_desktop_shortcut("TRV 99 Hardware Version.lnk", "trv99hw.exe",
                            install_destination_path);
    MessageBoxA(nullptr,
                "The TRV install process was completed successfully.\n"
                "To play TRV99 double click on the TRV 99 icon on the Desktop",
                CAPTION, MB_OK);
    CoUninitialize();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CoInitialize(nullptr);
    refuse_second_instance(false);
    app_instance = instance;
    refuse_second_instance(true);
    InitCommonControls();

    load_list_or_exit(&exe_install_list, "exe_install_list.install");
    load_list_or_exit(&typical_install_list, "typical_install_list.install");
    load_list_or_exit(&maximum_install_list, "maximum_install_list.install");

    if (installation_present() && read_settings())
        write_settings();

    INT_PTR code = DialogBoxParamA(app_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                   main_dialog_proc, 0);
    switch (code) {
    case MAIN_LEAVE:
        free_install_lists();
        break;
    case MAIN_PLAY:
        play_chosen_game();
        break;
    case MAIN_INSTALLED:
        finish_install();
        break;
    }
    ExitProcess(0);
}
