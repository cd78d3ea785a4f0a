// window_driver.h -- starts a program and works its windows from outside: finds them by title,
// clicks buttons, types into fields, answers message boxes and takes screenshots.
//
// Clicks are posted as the WM_COMMAND a button sends its dialog, so the driver never waits on
// the program it drives; a click on a hidden or disabled button is refused.

#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

// How long to wait for a window to appear or go, or for a program to end.
enum { DRIVER_WAIT_MS = 20000 };

// What the screen of setup.exe shows, by title and control number.
extern const char MAIN_DIALOG_TITLE[];
extern const char INSTALL_DIALOG_TITLE[];
extern const char MESSAGE_BOX_TITLE[];
enum {
    MAIN_INSTALL_BUTTON = 1000,
    MAIN_EXIT_BUTTON = 1003,
    INSTALL_START_BUTTON = 1006,
    INSTALL_BACK_BUTTON = 1007,
    INSTALL_PROGRESS_BAR = 1018,
    INSTALL_DESTINATION_FIELD = 1024,
    INSTALL_REQUIRED_TEXT = 1028,
    INSTALL_AVAILABLE_TEXT = 1030,
};

// A started program; `running` is false before the start and after end_program.
struct DrivenProgram {
    PROCESS_INFORMATION info;
    bool running;
};

// Starts `exe_path` with `folder` as its current folder; in the Windows 95 run
// (TRV_WIN95_RULES set) with the Windows 95 layer loaded into it (tests/win95).
bool start_program(const std::string& exe_path, const std::string& folder,
                   DrivenProgram* program);

// Waits up to `timeout_ms` for the program to end; its exit code (0 to 4294967295), or
// DRIVER_STILL_RUNNING when it still runs.
enum : int64_t { DRIVER_STILL_RUNNING = -1 };
int64_t wait_for_exit(const DrivenProgram& program, DWORD timeout_ms);

// Ends the program if it still runs and lets go of it.
void end_program(DrivenProgram* program);

// A visible top-level window of the program with exactly this title; null when none appears
// within DRIVER_WAIT_MS or the program ends first.
HWND wait_for_window(const DrivenProgram& program, const char* title);

// The visible top-level window of the program with this title at this moment, or null.
HWND find_window(DWORD process_id, const char* title);

// Waits up to DRIVER_WAIT_MS for `window` to be destroyed.
bool wait_until_gone(HWND window);

// Clicks the button `id` of `dialog`: false when it is missing, hidden or disabled.
bool click_button(HWND dialog, int id);

// The text of a control, and replacing it (as typing would, with EN_CHANGE).
std::string control_text(HWND dialog, int id);
bool set_control_text(HWND dialog, int id, const std::string& text);

// The message of a message box: the text of its static control.
std::string message_box_text(HWND box);

// Presses the button IDOK, IDYES or IDNO of a message box and waits until the box is gone.
bool answer_message_box(HWND box, int button_id);

// What the driver read from a progress bar of another program, from its own thread: the bar's
// range and position while the dialog lived, and once more while the dialog was being
// destroyed. -1 where nothing was read.
struct ProgressReadings {
    int readings;        // times the range and position were read while the dialog lived
    bool in_order;       // no position lower than one read before it, none outside the range
    int last_position;   // the last position read while the dialog lived
    int final_low;       // range and position as the dialog was destroyed
    int final_high;
    int final_position;
};
struct ProgressWatch;

// Starts reading the progress bar `id` of `dialog` on a thread of the driver.
ProgressWatch* watch_progress_bar(HWND dialog, int id);

// Waits up to DRIVER_WAIT_MS for the dialog to be destroyed, then gives what was read and lets
// go of the watch; false when the dialog still stands.
bool end_progress_watch(ProgressWatch* watch, ProgressReadings* readings);

// Waits until the program has handled everything sent to it, then a little longer for painting.
void wait_until_idle(const DrivenProgram& program, HWND window);

// The whole screen as a 24-bit .bmp file.
bool save_screenshot(const std::string& path);
