// dialog_demo.cpp -- runs setup.exe from the current folder through a typical install, then opens
// the play and the uninstall dialog of the installed game, and saves screenshots on the way.
//
//   dialog_demo SHOT_DIR
//
// SHOT_DIR receives main_dialog.bmp, install_dialog.bmp and completion_message.bmp, then, from
// a second run of setup, play_dialog.bmp and uninstall_dialog.bmp (the whole screen each); a
// path starting with "/" is taken as a host path on drive Z:. The install goes to the dialog's
// default folder. Exit status 0 when both runs of setup ended with code 0, 1 otherwise.

#include <cstdio>
#include <string>

#include <windows.h>

#include "dialog_driver/window_driver.h"

static std::string shot_folder(const char* argument)
{
    std::string folder = argument[0] == '/' ? std::string("Z:") + argument : argument;
    for (char& c : folder) {
        if (c == '/')
            c = '\\';
    }
    if (folder.back() != '\\')
        folder += '\\';
    return folder;
}

// Waits for the window, lets it paint, and saves the screen; null when either fails.
static HWND show_and_save(const DrivenProgram& setup, const char* title,
                          const std::string& shot_path)
{
    HWND window = wait_for_window(setup, title);
    if (window == nullptr) {
        std::fprintf(stderr, "dialog_demo: no window \"%s\" appeared\n", title);
        return nullptr;
    }
    wait_until_idle(setup, window);
    if (!save_screenshot(shot_path)) {
        std::fprintf(stderr, "dialog_demo: cannot save %s\n", shot_path.c_str());
        return nullptr;
    }
    std::printf("dialog_demo: \"%s\" saved as %s\n", title, shot_path.c_str());
    return window;
}

// Main dialog, install dialog, extraction, completion message; false at the first failure.
static bool drive_typical_install(const DrivenProgram& setup, const std::string& shots)
{
    HWND main = show_and_save(setup, MAIN_DIALOG_TITLE, shots + "main_dialog.bmp");
    if (main == nullptr || !click_button(main, MAIN_INSTALL_BUTTON))
        return false;
    HWND dialog = show_and_save(setup, INSTALL_DIALOG_TITLE, shots + "install_dialog.bmp");
    if (dialog == nullptr)
        return false;
    std::printf("dialog_demo: installing into %s\n",
                control_text(dialog, INSTALL_DESTINATION_FIELD).c_str());
    DWORD started = GetTickCount();
    if (!click_button(dialog, INSTALL_START_BUTTON))
        return false;
    HWND box = wait_for_window(setup, MESSAGE_BOX_TITLE);
    DWORD took = GetTickCount() - started;
    if (box == nullptr ||
        show_and_save(setup, MESSAGE_BOX_TITLE, shots + "completion_message.bmp") == nullptr)
        return false;
    std::printf("dialog_demo: from the Install click to the completion message: %.1f s\n",
                took / 1000.0);
    std::printf("dialog_demo: setup says: %s\n", message_box_text(box).c_str());
    return answer_message_box(box, IDOK);
}

// Starts setup.exe in `folder`; false (with a message) when it cannot be started.
static bool start_setup(const char* folder, DrivenProgram* setup)
{
    if (start_program(std::string(folder) + "\\setup.exe", folder, setup))
        return true;
    std::fprintf(stderr, "dialog_demo: cannot start setup.exe in %s\n", folder);
    return false;
}

// The installed game's commands, sent to the main dialog as their hidden buttons would: the play
// and the uninstall dialog are shown, saved and left with Back, then setup is left with Exit.
static bool show_installed_commands(const DrivenProgram& setup, const std::string& shots)
{
    HWND main = wait_for_window(setup, MAIN_DIALOG_TITLE);
    if (main == nullptr)
        return false;
    const struct {
        int command;
        const char* title;
        const char* shot;
        int back;
    } dialogs[] = {
        {1001, "Play TRV99", "play_dialog.bmp", 4},
        {1002, "TRV99 Uninstall", "uninstall_dialog.bmp", 1010},
    };
    for (const auto& d : dialogs) {
        PostMessageA(main, WM_COMMAND, d.command, 0);
        HWND dialog = show_and_save(setup, d.title, shots + d.shot);
        if (dialog == nullptr || !click_button(dialog, d.back) || !wait_until_gone(dialog))
            return false;
    }
    return click_button(main, MAIN_EXIT_BUTTON);
}

static int64_t finish(DrivenProgram* setup, bool driven)
{
    int64_t code = driven ? wait_for_exit(*setup, DRIVER_WAIT_MS) : DRIVER_STILL_RUNNING;
    end_program(setup);
    std::printf("dialog_demo: setup %s\n", code == DRIVER_STILL_RUNNING
                ? "did not finish" : ("ended with code " + std::to_string(code)).c_str());
    return code;
}

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: dialog_demo SHOT_DIR\n");
        return 1;
    }
    std::string shots = shot_folder(argv[1]);
    char folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return 1;
    DrivenProgram setup = {};
    if (!start_setup(folder, &setup) || finish(&setup, drive_typical_install(setup, shots)) != 0)
        return 1;
    // Started again, setup finds the installed game.
    if (!start_setup(folder, &setup) ||
        finish(&setup, show_installed_commands(setup, shots)) != 0)
        return 1;
    return 0;
}
