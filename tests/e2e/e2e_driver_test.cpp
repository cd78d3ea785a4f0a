// e2e_driver_test.cpp -- setup.exe run through its install as a user would run it, on a copy of
// a medium built from the sample patch: its dialogs and message boxes worked from outside, then
// what it left in the prefix checked (files, data folder, settings key, desktop shortcuts) and
// its exit code.

#include "e2e/run_fixture.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <commctrl.h>

// The free space of drive C: in kilobytes, as the install dialog shows it: at most 2147483647,
// and on the 95 family at most 2 GB, what its GetDiskFreeSpaceA reports (Wine's own `win95`
// version reports a little less, the Windows 95 layer the 2 GB of retail Windows 95).
static int64_t free_kilobytes_on_c()
{
    DWORD sectors = 0, bytes = 0, free = 0, total = 0;
    if (!GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &free, &total))
        return -1;
    int64_t kilobytes = (int64_t)sectors * bytes * free / 1024;
    if (GetVersion() & 0x80000000)
        kilobytes = std::min<int64_t>(kilobytes, 2 * 1024 * 1024);
    return std::min<int64_t>(kilobytes, 0x7FFFFFFF);
}

TEST_F(SetupExe, InstallExtractsTheGroupsRecordsTheFolderAndLinksTheGame)
{
    std::string medium = copy_medium("medium");
    std::string destination = destination_in("dest");
    HWND main = nullptr;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
    EXPECT_FALSE(IsWindowEnabled(main));
    EXPECT_EQ("C:\\trv", control_text(dialog, INSTALL_DESTINATION_FIELD));
    int64_t typical_bytes = 0;
    for (const std::string& name : group_names("typical"))
        typical_bytes += (int64_t)read_file(source_files() + name).size();
    EXPECT_EQ(std::to_string(typical_bytes / 1024) + " k",
              control_text(dialog, INSTALL_REQUIRED_TEXT));
    // What others write to the disk meanwhile moves the free space a little.
    std::string available = control_text(dialog, INSTALL_AVAILABLE_TEXT);
    long shown = -1;
    ASSERT_EQ(1, std::sscanf(available.c_str(), "Space available on drive C: %ld k", &shown))
        << available;
    int64_t measured = free_kilobytes_on_c();
    EXPECT_NEAR((double)measured, (double)shown, std::max<double>(measured / 50.0, 65536.0))
        << available;

    // The bar counts the entries of both groups, read from here while the install runs.
    int entries = (int)(group_names("exe").size() + group_names("typical").size());
    ProgressWatch* watch = watch_progress_bar(dialog, INSTALL_PROGRESS_BAR);
    start_extraction(dialog, destination);
    ProgressReadings bar;
    EXPECT_TRUE(end_progress_watch(watch, &bar)) << what_happened(first);
    EXPECT_GT(bar.readings, 0);
    EXPECT_TRUE(bar.in_order) << "a position went back or left the range";
    EXPECT_EQ(0, bar.final_low);
    EXPECT_EQ(entries, bar.final_high);
    EXPECT_EQ(entries, bar.final_position);
    expect_completion_and_exit(first);
    expect_files_installed(destination, {});
    expect_recorded(destination);
}

TEST_F(SetupExe, InstallsANameInTheCodePageOfItsLists)
{
    // The medium's lists hold "docs\\Cr\xe9" "dits.txt" in code page 1252 (make_e2e_medium.sh).
    std::string medium = copy_medium("medium", "cp1252-medium");
    std::string destination = destination_in("dest");
    HWND main = nullptr;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
    start_extraction(dialog, destination);
    expect_completion_and_exit(first);
    // Read back by its UTF-16 letters, whatever code page this prefix runs under.
    std::wstring installed(destination.begin(), destination.end());
    installed += L"\\docs\\Cr\u00e9dits.txt";
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(installed.c_str()))
        << "no " << destination << "\\docs\\Cr\xc3\xa9" "dits.txt";
}

TEST_F(SetupExe, InstallGoesOnPastADataFolderOrAKeyItCannotWrite)
{
    const Bytes saved = text_bytes(3000, 7);
    for (bool key_unwritable : {false, true}) {
        SCOPED_TRACE(key_unwritable ? "settings key cannot be written" : "data folder exists");
        clear_installed_state();
        end_program(&first);
        std::string medium = copy_medium(key_unwritable ? "medium 2" : "medium 1");
        std::string destination = destination_in(key_unwritable ? "dest 2" : "dest 1");
        std::vector<std::string> there_before;
        if (key_unwritable) {
            // Under a volatile key no lasting subkey can be made.
            HKEY key;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orbwell\\TRV 99",
                                                     0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE,
                                                     nullptr, &key, nullptr));
            RegCloseKey(key);
        } else {
            write_file(destination + "\\data\\saved\\lap record.rpl", saved);
            there_before.push_back("data\\saved\\lap record.rpl");
        }
        HWND main = nullptr;
        HWND dialog = nullptr;
        ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
        start_extraction(dialog, destination);
        if (key_unwritable) {
            HWND box = expect_window(first, MESSAGE_BOX_TITLE);
            ASSERT_NE(nullptr, box);
            EXPECT_EQ("Setup has found a corrupted system registry value", message_box_text(box));
            ASSERT_TRUE(answer_message_box(box, IDOK));
        }
        expect_completion_and_exit(first);
        expect_files_installed(destination, there_before);
        if (!key_unwritable) {
            EXPECT_TRUE(saved == read_file(destination + "\\data\\saved\\lap record.rpl"));
            expect_recorded(destination);
        }
        ShortcutFields fields;
        EXPECT_TRUE(read_shortcut(desktop_link_path(SOFTWARE_LINK), &fields));
        EXPECT_TRUE(read_shortcut(desktop_link_path(HARDWARE_LINK), &fields));
    }
}

TEST_F(SetupExe, BackBeforeInstallClosesOnlyTheInstallDialog)
{
    std::string medium = copy_medium("medium");
    start(medium, &first);
    HWND main = expect_window(first, MAIN_DIALOG_TITLE);
    ASSERT_NE(nullptr, main);
    for (int round = 1; round <= 2; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        HWND dialog = open_install_dialog(first, main);
        ASSERT_NE(nullptr, dialog);
        ASSERT_TRUE(click_button(dialog, INSTALL_BACK_BUTTON));
        ASSERT_TRUE(wait_until_gone(dialog)) << what_happened(first);
        EXPECT_TRUE(IsWindowEnabled(main));
        EXPECT_EQ(DRIVER_STILL_RUNNING, wait_for_exit(first, 0)) << what_happened(first);
    }
    ASSERT_TRUE(click_button(main, MAIN_EXIT_BUTTON));
    EXPECT_EQ(0, wait_for_exit(first, DRIVER_WAIT_MS)) << what_happened(first);
    EXPECT_FALSE(file_exists(scratch / "TRV Games"));
    expect_nothing_recorded();
}

TEST_F(SetupExe, LeavingTheMainDialogEndsWithCodeZero)
{
    std::string medium = copy_medium("medium");
    const struct {
        const char* name;
        UINT message;
        WPARAM wparam;
    } ways[] = {
        {"Exit button", WM_COMMAND, MAKEWPARAM(MAIN_EXIT_BUTTON, BN_CLICKED)},
        {"Escape", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)},
        {"close box", WM_CLOSE, 0},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        end_program(&first);
        start(medium, &first);
        HWND main = expect_window(first, MAIN_DIALOG_TITLE);
        ASSERT_NE(nullptr, main);
        ASSERT_TRUE(PostMessageA(main, way.message, way.wparam, 0));
        EXPECT_EQ(0, wait_for_exit(first, DRIVER_WAIT_MS)) << what_happened(first);
    }
    expect_nothing_recorded();
}

// Starts an install of `medium` into `destination` and clicks Back during it: the Back click is
// posted right behind the Install click, so the extraction's message pump delivers it after the
// first file. Leaves the quit question open in `box`.
void SetupExe::back_during_install(const std::string& medium, const std::string& destination,
                                   HWND* main, HWND* dialog, HWND* box)
{
    ASSERT_NO_FATAL_FAILURE(open_install(medium, main, dialog));
    start_extraction(*dialog, destination);
    ASSERT_TRUE(click_button(*dialog, INSTALL_BACK_BUTTON));
    *box = expect_window(first, MESSAGE_BOX_TITLE);
    ASSERT_NE(nullptr, *box);
    EXPECT_EQ(STILL_QUIT_TEXT, message_box_text(*box));
}

TEST_F(SetupExe, BackDuringInstallAnsweredNoCarriesOnToCompletion)
{
    std::string destination = destination_in("dest");
    HWND main = nullptr;
    HWND dialog = nullptr;
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(back_during_install(copy_medium("medium"), destination, &main,
                                                &dialog, &box));
    // The install stands between files: the progress bar counts both groups' files.
    size_t files = group_names("exe").size() + group_names("typical").size();
    HWND bar = GetDlgItem(dialog, INSTALL_PROGRESS_BAR);
    DWORD_PTR high = 0;
    DWORD_PTR position = 0;
    ASSERT_TRUE(SendMessageTimeoutA(bar, PBM_GETRANGE, FALSE, 0, SMTO_NORMAL, DRIVER_WAIT_MS,
                                    &high));
    ASSERT_TRUE(SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, DRIVER_WAIT_MS,
                                    &position));
    EXPECT_EQ(files, (size_t)high);
    EXPECT_GE(position, 1u);
    EXPECT_LT(position, files);

    ASSERT_TRUE(answer_message_box(box, IDNO));
    expect_completion_and_exit(first);
    expect_files_installed(destination, {});
    expect_recorded(destination);
}

TEST_F(SetupExe, StoppedInstallKeepsTheMainDialogOrEndsAndRecordsNothing)
{
    enum Stop { BACK_ANSWERED_YES, YES_IN_LAST_EXE_FILE, QUIT_MESSAGE };
    const struct {
        const char* name;
        Stop stop;
    } cases[] = {
        {"Back answered Yes", BACK_ANSWERED_YES},
        // The exe archive's only listed file is the one Back interrupts, and the typical archive
        // is damaged: the user asked to stop, so no extraction error follows.
        {"Back answered Yes during the last exe file", YES_IN_LAST_EXE_FILE},
        // Taken by the extraction's message pump, it ends setup at once with code -1.
        {"quit message", QUIT_MESSAGE},
    };
    size_t files = group_names("exe").size() + group_names("typical").size();
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        SCOPED_TRACE(cases[i].name);
        end_program(&first);
        std::string medium = copy_medium("medium " + std::to_string(i));
        std::string destination = destination_in("dest " + std::to_string(i));
        HWND main = nullptr;
        HWND dialog = nullptr;
        HWND box = nullptr;
        if (cases[i].stop == QUIT_MESSAGE) {
            ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
            start_extraction(dialog, destination);
            ASSERT_TRUE(PostThreadMessageA(first.info.dwThreadId, WM_QUIT, 0, 0));
            EXPECT_EQ(4294967295, wait_for_exit(first, DRIVER_WAIT_MS)) << what_happened(first);
        } else {
            if (cases[i].stop == YES_IN_LAST_EXE_FILE) {
                write_file(medium + "exe_install_list.txt", bytes_of(group_names("exe")[0]));
                write_file(medium + "typical_install.qbr", bytes_of("no archive"));
            }
            ASSERT_NO_FATAL_FAILURE(back_during_install(medium, destination, &main, &dialog,
                                                        &box));
            ASSERT_TRUE(answer_message_box(box, IDYES));
            expect_main_dialog_then_exit(first, main, dialog);
        }
        EXPECT_LT(files_under(destination + "\\").size(), files);
        expect_nothing_recorded();
    }
}
