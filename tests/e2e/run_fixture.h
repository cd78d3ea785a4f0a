// run_fixture.h -- the fixture of the end-to-end runs of setup.exe: a scratch folder with copies
// of the built medium, the started programs (ended if still running), a clean settings key and
// desktop before and after, and the checks of what a finished install leaves.

#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "e2e/outcome_checks.h"
#include "dialog_driver/window_driver.h"
#include "support/test_support.h"
#include "support/win_test_support.h"

extern const char COMPLETION_TEXT[];
extern const char STILL_QUIT_TEXT[];

// The names of the medium's list of one group ("exe", "typical", "maximum").
std::vector<std::string> group_names(const char* group);

// The source tree's files folder the medium was packed from, with a final "\".
const std::string& source_files();

// What setup is doing instead of what the test waited for, for the failure message.
std::string what_happened(const DrivenProgram& program);

// In the Windows 95 run: the log of the layer in the setup runs of one test, kept in the
// test's scratch folder (TRV_WIN95_LOG), and printed when the test fails.
void start_win95_log(const ScratchFolder& scratch);
void print_win95_log_and_stop(const ScratchFolder& scratch, bool failed);

// One run (or a few) of setup.exe; `first` and `second` are ended when the test ends.
class SetupExe : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(nullptr, FindWindowA(nullptr, MESSAGE_BOX_TITLE))
            << "a window titled \"TRV 99\" is open already; setup would leave at once";
        clear_installed_state();
        start_win95_log(scratch);
    }

    void TearDown() override
    {
        end_program(&first);
        end_program(&second);
        clear_installed_state();
        print_win95_log_and_stop(scratch, HasFailure());
    }

    // A copy of the built medium (or of the one in the folder `built` of the prepared media) in
    // `name` under the scratch folder, with a final "\".
    std::string copy_medium(const std::string& name, const char* built = nullptr);

    std::string destination_in(const std::string& name)
    {
        return win_path(scratch / name) + "\\TRV Games\\trv";
    }

    void start(const std::string& medium, DrivenProgram* program)
    {
        ASSERT_TRUE(start_program(medium + "setup.exe", medium, program)) << medium;
    }

    HWND expect_window(const DrivenProgram& program, const char* title)
    {
        HWND window = wait_for_window(program, title);
        if (window == nullptr)
            ADD_FAILURE() << "no window \"" << title << "\": " << what_happened(program);
        return window;
    }

    HWND open_install_dialog(const DrivenProgram& program, HWND main)
    {
        EXPECT_TRUE(click_button(main, MAIN_INSTALL_BUTTON));
        return expect_window(program, INSTALL_DIALOG_TITLE);
    }

    // Starts setup on `medium` and opens its install dialog from the main dialog.
    void open_install(const std::string& medium, HWND* main, HWND* dialog)
    {
        start(medium, &first);
        *main = expect_window(first, MAIN_DIALOG_TITLE);
        ASSERT_NE(nullptr, *main);
        *dialog = open_install_dialog(first, *main);
        ASSERT_NE(nullptr, *dialog);
    }

    void back_during_install(const std::string& medium, const std::string& destination,
                             HWND* main, HWND* dialog, HWND* box);

    // Types the destination and clicks the dialog's Install.
    void start_extraction(HWND dialog, const std::string& destination)
    {
        ASSERT_TRUE(set_control_text(dialog, INSTALL_DESTINATION_FIELD, destination));
        ASSERT_EQ(destination, control_text(dialog, INSTALL_DESTINATION_FIELD));
        ASSERT_TRUE(click_button(dialog, INSTALL_START_BUTTON));
    }

    void expect_completion_and_exit(const DrivenProgram& program)
    {
        HWND box = expect_window(program, MESSAGE_BOX_TITLE);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(COMPLETION_TEXT, message_box_text(box));
        ASSERT_TRUE(answer_message_box(box, IDOK));
        EXPECT_EQ(0, wait_for_exit(program, DRIVER_WAIT_MS)) << what_happened(program);
    }

    // After the install dialog closed without an install: the main dialog is usable, nothing
    // else is shown, and Exit ends setup with code 0.
    void expect_main_dialog_then_exit(const DrivenProgram& program, HWND main, HWND dialog)
    {
        ASSERT_TRUE(wait_until_gone(dialog)) << what_happened(program);
        EXPECT_TRUE(IsWindowEnabled(main));
        EXPECT_EQ(nullptr, find_window(program.info.dwProcessId, MESSAGE_BOX_TITLE))
            << what_happened(program);
        ASSERT_TRUE(click_button(main, MAIN_EXIT_BUTTON));
        EXPECT_EQ(0, wait_for_exit(program, DRIVER_WAIT_MS)) << what_happened(program);
    }

    void expect_nothing_recorded()
    {
        EXPECT_FALSE(settings_key_exists());
        EXPECT_FALSE(file_exists(desktop_link_path(SOFTWARE_LINK)));
        EXPECT_FALSE(file_exists(desktop_link_path(HARDWARE_LINK)));
    }

    void expect_files_installed(const std::string& destination,
                                const std::vector<std::string>& files_there_before);
    void expect_recorded(const std::string& destination);

    ScratchFolder scratch;
    DrivenProgram first = {};
    DrivenProgram second = {};
};
