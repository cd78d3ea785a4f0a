// refusals_test.cpp -- setup.exe where it must not install: a missing list image, a second
// instance, and extractions that fail; each time the message, what stays open, and that
// nothing is recorded.

#include "e2e/run_fixture.h"

#include <string>

TEST_F(SetupExe, MissingListImageStopsBeforeTheMainDialog)
{
    for (const char* list : {"exe_install_list.install", "typical_install_list.install",
                             "maximum_install_list.install"}) {
        SCOPED_TRACE(list);
        std::string medium = copy_medium(std::string("without ") + list);
        ASSERT_TRUE(DeleteFileA((medium + list).c_str()));
        end_program(&first);
        start(medium, &first);
        HWND box = expect_window(first, MESSAGE_BOX_TITLE);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(std::string("Install list initialisation failed: ") + list,
                  message_box_text(box));
        EXPECT_EQ(nullptr, find_window(first.info.dwProcessId, MAIN_DIALOG_TITLE));
        ASSERT_TRUE(answer_message_box(box, IDOK));
        EXPECT_EQ(0, wait_for_exit(first, DRIVER_WAIT_MS)) << what_happened(first);
    }
    expect_nothing_recorded();
}

TEST_F(SetupExe, SecondInstanceLeavesSilentlyWhileTheFirstShowsAMessage)
{
    std::string broken = copy_medium("broken");
    ASSERT_TRUE(DeleteFileA((broken + "maximum_install_list.install").c_str()));
    std::string medium = copy_medium("medium");
    start(broken, &first);
    HWND box = expect_window(first, MESSAGE_BOX_TITLE);
    ASSERT_NE(nullptr, box);

    // A message of its own would hold the second one until it was answered.
    start(medium, &second);
    EXPECT_EQ(0, wait_for_exit(second, DRIVER_WAIT_MS)) << what_happened(second);

    EXPECT_TRUE(IsWindowVisible(box));
    ASSERT_TRUE(answer_message_box(box, IDOK));
    EXPECT_EQ(0, wait_for_exit(first, DRIVER_WAIT_MS)) << what_happened(first);
}

TEST_F(SetupExe, SecondInstanceRunsWhileTheFirstShowsOnlyItsMainDialog)
{
    std::string medium = copy_medium("medium");
    start(medium, &first);
    HWND first_main = expect_window(first, MAIN_DIALOG_TITLE);
    ASSERT_NE(nullptr, first_main);
    start(medium, &second);
    HWND second_main = expect_window(second, MAIN_DIALOG_TITLE);
    ASSERT_NE(nullptr, second_main);
    EXPECT_NE(first_main, second_main);

    ASSERT_TRUE(click_button(second_main, MAIN_EXIT_BUTTON));
    EXPECT_EQ(0, wait_for_exit(second, DRIVER_WAIT_MS)) << what_happened(second);
    ASSERT_TRUE(click_button(first_main, MAIN_EXIT_BUTTON));
    EXPECT_EQ(0, wait_for_exit(first, DRIVER_WAIT_MS)) << what_happened(first);
}

// Cuts a file to half its length.
static void cut_short(const std::string& path)
{
    Bytes content = read_file(path);
    ASSERT_GT(content.size(), 2u) << path;
    content.resize(content.size() / 2);
    write_file(path, content);
}

TEST_F(SetupExe, FailedExtractionNamesTheArchiveAndKeepsTheMainDialog)
{
    enum Fault {
        FILE_MISSING,
        ARCHIVE_CUT_SHORT,
        ZEROED_BLOCK,
        FILE_IN_PLACE_OF_DATA_FOLDER,
        FILE_HELD_OPEN,
    };
    const struct {
        const char* name;
        Fault fault;
        const char* archive;
        bool names_destination;
        const char* missing;  // FILE_MISSING: the file taken from the medium
    } cases[] = {
        // A medium that cannot be installed is refused before anything is written.
        {"typical archive missing", FILE_MISSING, "typical_install.qbr", false,
         "typical_install.qbr"},
        {"typical list missing", FILE_MISSING, "typical_install.qbr", false,
         "typical_install_list.txt"},
        {"exe list missing", FILE_MISSING, "exe_install.qbr", false, "exe_install_list.txt"},
        {"typical archive cut short", ARCHIVE_CUT_SHORT, "typical_install.qbr", true, nullptr},
        {"exe archive cut short", ARCHIVE_CUT_SHORT, "exe_install.qbr", true, nullptr},
        // A run of zero bits reads as an early end marker: the files come out with other sizes.
        {"zeroed block inside the typical archive", ZEROED_BLOCK, "typical_install.qbr", true, nullptr},
        {"a file where the data folder goes", FILE_IN_PLACE_OF_DATA_FOLDER,
         "typical_install.qbr", true, nullptr},
        {"an installed file held open without sharing", FILE_HELD_OPEN, "typical_install.qbr",
         true, nullptr},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        SCOPED_TRACE(cases[i].name);
        std::string medium = copy_medium("medium " + std::to_string(i));
        std::string destination = destination_in("dest " + std::to_string(i));
        std::string held_file = destination + "\\" + group_names("typical").front();
        HANDLE held = INVALID_HANDLE_VALUE;
        Bytes archive;
        switch (cases[i].fault) {
        case FILE_MISSING:
            ASSERT_TRUE(DeleteFileA((medium + cases[i].missing).c_str()));
            break;
        case ARCHIVE_CUT_SHORT:
            ASSERT_NO_FATAL_FAILURE(cut_short(medium + cases[i].archive));
            break;
        case ZEROED_BLOCK:
            archive = read_file(medium + cases[i].archive);
            ASSERT_GT(archive.size(), 4096u);
            std::fill(archive.begin() + 2000, archive.begin() + 2064, 0);
            write_file(medium + cases[i].archive, archive);
            break;
        case FILE_IN_PLACE_OF_DATA_FOLDER:
            write_file(destination + "\\data", bytes_of("not a folder"));
            break;
        case FILE_HELD_OPEN:
            write_file(held_file, bytes_of("in use"));
            held = hold_exclusively(held_file);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
            break;
        }
        end_program(&first);
        HWND main = nullptr;
        HWND dialog = nullptr;
        ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
        start_extraction(dialog, destination);

        HWND box = expect_window(first, MESSAGE_BOX_TITLE);
        ASSERT_NE(nullptr, box);
        std::string text = message_box_text(box);
        EXPECT_NE(std::string::npos, text.find(cases[i].archive)) << text;
        if (cases[i].names_destination) {
            EXPECT_NE(std::string::npos, text.find(destination + "\\")) << text;
        }
        if (cases[i].fault == FILE_HELD_OPEN) {
            EXPECT_NE(std::string::npos, text.find(held_file)) << text;
        }
        if (cases[i].fault == FILE_MISSING) {
            EXPECT_NE(std::string::npos, text.find(std::string("\n") + cases[i].missing)) << text;
            EXPECT_FALSE(file_exists(destination)) << "written before the medium was checked";
        }
        ASSERT_TRUE(answer_message_box(box, IDOK));
        expect_main_dialog_then_exit(first, main, dialog);
        expect_nothing_recorded();
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
    }
}

TEST_F(SetupExe, UnusableDestinationIsRefusedBeforeAnythingIsExtracted)
{
    // 241 characters still fit the quoted game command line; 242 do not.
    const std::string too_long = "C:\\" + std::string(239, 'x');
    const struct {
        const char* name;
        std::string destination;
        const char* message;
    } cases[] = {
        {"empty", "", "Please enter the folder to install TRV 99 into."},
        {"too long", too_long,
         "The name of the install folder is too long. Please choose a shorter folder."},
    };
    std::string medium = copy_medium("medium");
    HWND main = nullptr;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start_extraction(dialog, c.destination);
        HWND box = expect_window(first, MESSAGE_BOX_TITLE);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(c.message, message_box_text(box));
        ASSERT_TRUE(answer_message_box(box, IDOK));
        ASSERT_TRUE(wait_until_gone(box));
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, INSTALL_DESTINATION_FIELD)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, INSTALL_START_BUTTON)));
    }
    EXPECT_FALSE(file_exists(too_long));
    ASSERT_TRUE(click_button(dialog, INSTALL_BACK_BUTTON));
    expect_main_dialog_then_exit(first, main, dialog);
    expect_nothing_recorded();
}

TEST_F(SetupExe, NameTooLongForTheDestinationIsRefusedBeforeAnythingIsWritten)
{
    // The folder fits every path of its own, and the exe group's names behind it; the typical
    // group's longest name does not fit behind it in setup's 256 characters.
    size_t longest = 0;
    std::string longest_name;
    for (const std::string& name : group_names("typical")) {
        if (name.size() > longest)
            longest = name.size(), longest_name = name;
    }
    std::string medium = copy_medium("medium");
    std::string destination = destination_in("d");
    destination += "\\" + std::string(254 - longest - destination.size(), 'x');  // one too many
    ASSERT_LE(destination.size(), 241u) << "the destination alone would be refused";
    HWND main = nullptr;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
    start_extraction(dialog, destination);
    HWND box = expect_window(first, MESSAGE_BOX_TITLE);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("The install folder is too long for the file " + longest_name +
                  " of typical_install.qbr. Please choose a shorter folder.",
              message_box_text(box));
    ASSERT_TRUE(answer_message_box(box, IDOK));
    ASSERT_TRUE(wait_until_gone(box));
    EXPECT_FALSE(file_exists(destination_in("d"))) << "the exe group was extracted first";
    // The dialog stays for a shorter folder, which installs.
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, INSTALL_START_BUTTON)));
    destination.pop_back();
    start_extraction(dialog, destination);
    expect_completion_and_exit(first);
    EXPECT_TRUE(file_exists(destination + "\\" + longest_name));
}

TEST_F(SetupExe, DestinationMustBeAFolderOnADrive)
{
    std::string medium = copy_medium("medium");
    HWND main = nullptr;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
    for (const char* destination : {"trv", "\\trv", "C:", "C:\\", "C:trv", "C:\\\\trv"}) {
        SCOPED_TRACE(destination);
        start_extraction(dialog, destination);
        HWND box = expect_window(first, MESSAGE_BOX_TITLE);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ("Please enter a folder on a drive, such as C:\\trv.", message_box_text(box));
        ASSERT_TRUE(answer_message_box(box, IDOK));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, INSTALL_DESTINATION_FIELD)));
    }
    EXPECT_FALSE(file_exists(medium + "trv"));
    ASSERT_TRUE(click_button(dialog, INSTALL_BACK_BUTTON));
    ASSERT_TRUE(wait_until_gone(dialog));
    // No refused folder stays behind for the uninstall (command 1002) to work in.
    ASSERT_TRUE(PostMessageA(main, WM_COMMAND, 1002, 0));
    HWND uninstall = expect_window(first, "TRV99 Uninstall");
    ASSERT_NE(nullptr, uninstall);
    EXPECT_EQ("TRV 99 Install Directory is C:\\trv", control_text(uninstall, 1020));
    ASSERT_TRUE(click_button(uninstall, 1010));
    expect_main_dialog_then_exit(first, main, uninstall);
    expect_nothing_recorded();
}

TEST_F(SetupExe, ListImageWithANameOutsideTheFolderIsNotLoaded)
{
    std::string medium = copy_medium("medium");
    Bytes image = read_file(medium + "typical_install_list.install");
    ASSERT_GT(image.size(), 268u + 260u);
    const char outside[] = "..\\..\\boot.ini";
    std::fill(image.begin() + 268, image.begin() + 268 + 256, 0);
    std::copy(outside, outside + sizeof outside - 1, image.begin() + 268);
    write_file(medium + "typical_install_list.install", image);
    start(medium, &first);
    HWND box = expect_window(first, MESSAGE_BOX_TITLE);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Install list initialisation failed: typical_install_list.install",
              message_box_text(box));
    ASSERT_TRUE(answer_message_box(box, IDOK));
    EXPECT_EQ(0, wait_for_exit(first, DRIVER_WAIT_MS)) << what_happened(first);
}
