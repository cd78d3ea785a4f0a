// play_uninstall_test.cpp -- setup.exe after an install of the sample medium: the Play command
// starts the chosen version of the game from the installed folder, and the Uninstall command
// removes what it was asked to and nothing else. Both commands reach the main dialog as command
// messages, as their buttons stay hidden.

#include "e2e/run_fixture.h"

#include <filesystem>
#include <string>

static const char PLAY_DIALOG_TITLE[] = "Play TRV99";
static const char UNINSTALL_DIALOG_TITLE[] = "TRV99 Uninstall";
enum {
    MAIN_PLAY_COMMAND = 1001,
    MAIN_UNINSTALL_COMMAND = 1002,
    PLAY_OK = 3,
    PLAY_HARDWARE = 1022,
    PLAY_SOFTWARE = 1023,
    UNINSTALL_START = 1011,
    UNINSTALL_DELETE_ALL = 1012,
    UNINSTALL_REPLAYS = 1014,
    UNINSTALL_GAMES = 1015,
    UNINSTALL_GAME = 1016,
};

static void store_location(const std::string& location)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                             "SOFTWARE\\Orbwell\\TRV 99\\Location Of Data Files",
                                             0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "location_path", 0, REG_SZ,
                                            (const BYTE*)location.c_str(),
                                            (DWORD)location.size() + 1));
    RegCloseKey(key);
}

static void store_install(const std::string& destination, int32_t type)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                             "SOFTWARE\\Orbwell\\TRV 99\\Install", 0, nullptr, 0,
                                             KEY_WRITE, nullptr, &key, nullptr));
    RegSetValueExA(key, "install_destination_path", 0, REG_SZ,
                   (const BYTE*)destination.c_str(), (DWORD)destination.size() + 1);
    RegSetValueExA(key, "install_type", 0, REG_DWORD, (const BYTE*)&type, sizeof type);
    RegCloseKey(key);
}

// Records `data` as the data folder and puts a saved game and a saved replay in it.
static void store_saves(const std::string& data)
{
    store_location(data);
    write_file(data + "\\lap.GAME", bytes_of("saved game"));
    write_file(data + "\\lap.REPLAY", bytes_of("saved replay"));
}

// Ends the stand-in game whose window has this title, once it has appeared.
static bool close_game_window(const char* title)
{
    for (int waited = 0; waited < DRIVER_WAIT_MS; waited += 50) {
        HWND window = FindWindowA(nullptr, title);
        if (window != nullptr)
            return PostMessageA(window, WM_CLOSE, 0, 0) != 0;
        Sleep(50);
    }
    return false;
}

// Clicks a check box or radio button as the mouse would, so that its mark changes too.
static void press(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    ASSERT_NE(nullptr, button) << id;
    // An earlier click may still be on its way to enabling it.
    for (int waited = 0; !IsWindowEnabled(button) && waited < DRIVER_WAIT_MS; waited += 20)
        Sleep(20);
    ASSERT_TRUE(IsWindowEnabled(button)) << id;
    PostMessageA(button, BM_CLICK, 0, 0);
}

static std::string text_of_file(const std::string& path)
{
    Bytes bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

class InstalledGame : public SetupExe {
protected:
    // Installs the medium into `destination`, then starts setup again and waits for its main
    // dialog.
    void SetUp() override
    {
        SetupExe::SetUp();
        medium = copy_medium("medium");
        destination = destination_in("dest");
        HWND main = nullptr;
        HWND dialog = nullptr;
        ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
        start_extraction(dialog, destination);
        expect_completion_and_exit(first);
        end_program(&first);
    }

    HWND restart()
    {
        end_program(&second);
        start(medium, &second);
        return expect_window(second, MAIN_DIALOG_TITLE);
    }

    HWND open_from_main(HWND main, int command, const char* title)
    {
        EXPECT_TRUE(PostMessageA(main, WM_COMMAND, command, 0));
        return expect_window(second, title);
    }

    // Answers a message box of the second run with OK and returns its text.
    std::string answer_box()
    {
        HWND box = expect_window(second, MESSAGE_BOX_TITLE);
        if (box == nullptr)
            return "(no message)";
        std::string text = message_box_text(box);
        EXPECT_TRUE(answer_message_box(box, IDOK));
        return text;
    }

    std::string medium;
    std::string destination;
};

// The medium on a CD-ROM drive D: that nothing can write to (cd_drive.sh mounts it read-only),
// with setup started from D:\ as autorun starts it; the install goes to the first fixed disk.
class InstalledFromCd : public InstalledGame {
protected:
    void SetUp() override
    {
        SetupExe::SetUp();
        if (GetDriveTypeA("D:\\") != DRIVE_CDROM || !file_exists("D:\\setup.exe"))
            GTEST_SKIP() << "no medium on a CD-ROM drive D: (mounting it read-only needs root)";
        medium = "D:\\";
        destination = "C:\\trv";
        remove_installed_files();
        on_cd = files_under(medium);
        HWND main = nullptr;
        HWND dialog = nullptr;
        ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
        EXPECT_EQ(destination, control_text(dialog, INSTALL_DESTINATION_FIELD));
        start_extraction(dialog, destination);
        expect_completion_and_exit(first);
        end_program(&first);
    }

    void TearDown() override
    {
        InstalledGame::TearDown();
        remove_installed_files();
    }

    void remove_installed_files()
    {
        std::error_code ignored;
        std::filesystem::remove_all(destination, ignored);
        DeleteFileA("C:\\source.tmp");
    }

    std::vector<std::string> on_cd;
};

TEST_F(InstalledFromCd, InstallsOnTheFixedDiskAndPlaysFromThere)
{
    expect_files_installed(destination, {});
    expect_recorded(destination);
    EXPECT_EQ(on_cd, files_under(medium)) << "setup changed the CD";

    // Started from the CD again, Play starts the game installed on C:.
    HWND main = restart();
    ASSERT_NE(nullptr, main);
    HWND play = open_from_main(main, MAIN_PLAY_COMMAND, PLAY_DIALOG_TITLE);
    ASSERT_NE(nullptr, play);
    press(play, PLAY_HARDWARE);
    PostMessageA(play, WM_COMMAND, PLAY_OK, 0);
    EXPECT_EQ(0, wait_for_exit(second, DRIVER_WAIT_MS)) << what_happened(second);
    ASSERT_TRUE(close_game_window("TRV 99 (hardware-accelerated version)"));
    EXPECT_EQ("trv99hw.exe\t" + destination + "\r\n", text_of_file(destination + "\\launch.log"));

    // When the game cannot start, the marker file goes from the fixed disk, and no other file:
    // not the one in the game's folder, the current folder by then.
    write_file("C:\\source.tmp", bytes_of("marker"));
    write_file(destination + "\\source.tmp", bytes_of("not the marker"));
    ASSERT_TRUE(DeleteFileA((destination + "\\trv99sw.exe").c_str()));
    const std::vector<std::string> installed = files_under(destination + "\\");
    main = restart();
    ASSERT_NE(nullptr, main);
    play = open_from_main(main, MAIN_PLAY_COMMAND, PLAY_DIALOG_TITLE);
    ASSERT_NE(nullptr, play);
    press(play, PLAY_SOFTWARE);
    PostMessageA(play, WM_COMMAND, PLAY_OK, 0);
    EXPECT_EQ("Setup was unable to successfully start a pre-installed version of TRV99",
              answer_box());
    EXPECT_EQ(0, wait_for_exit(second, DRIVER_WAIT_MS)) << what_happened(second);
    EXPECT_FALSE(file_exists("C:\\source.tmp"));
    EXPECT_EQ(installed, files_under(destination + "\\"));
}

TEST_F(InstalledGame, PlayStartsTheChosenVersionInTheInstalledFolder)
{
    // The destination holds a blank: unquoted, its first word would start "TRV.exe" beside it.
    std::string decoy = win_path(scratch / "dest") + "\\TRV.exe";
    ASSERT_TRUE(CopyFileA((destination + "\\trv99sw.exe").c_str(), decoy.c_str(), FALSE));
    const struct {
        int button;
        const char* executable;
        const char* window;
    } cases[] = {
        {PLAY_HARDWARE, "trv99hw.exe", "TRV 99 (hardware-accelerated version)"},
        {PLAY_SOFTWARE, "trv99sw.exe", "TRV 99 (software version)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.executable);
        DeleteFileA((destination + "\\launch.log").c_str());
        HWND main = restart();
        ASSERT_NE(nullptr, main);
        HWND play = open_from_main(main, MAIN_PLAY_COMMAND, PLAY_DIALOG_TITLE);
        ASSERT_NE(nullptr, play);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(play, PLAY_OK)));
        // OK without a choice: the dialog says so and stays.
        PostMessageA(play, WM_COMMAND, PLAY_OK, 0);
        EXPECT_EQ("You must select a version to play", answer_box());
        EXPECT_TRUE(IsWindow(play));

        // The other version first: the last choice counts.
        press(play, c.button == PLAY_HARDWARE ? PLAY_SOFTWARE : PLAY_HARDWARE);
        press(play, c.button);
        PostMessageA(play, WM_COMMAND, PLAY_OK, 0);
        EXPECT_EQ(0, wait_for_exit(second, DRIVER_WAIT_MS)) << what_happened(second);
        ASSERT_TRUE(close_game_window(c.window));
        EXPECT_EQ(std::string(c.executable) + "\t" + destination + "\r\n",
                  text_of_file(destination + "\\launch.log"));
    }
}

TEST_F(InstalledGame, UninstallRemovesListedFilesAndKeepsTheRest)
{
    const std::string data = destination + "\\data";
    std::vector<std::string> typical = group_names("typical");
    std::vector<std::string> maximum = group_names("maximum");
    ASSERT_FALSE(typical.empty());
    ASSERT_FALSE(maximum.empty());
    std::string folder;
    for (const std::string& name : typical) {
        size_t separator = name.rfind('\\');
        if (separator != std::string::npos && name.compare(0, 5, "data\\") != 0)
            folder = name.substr(0, separator);
    }
    ASSERT_FALSE(folder.empty()) << "the typical list should have a folder besides data";
    const std::string notes = destination + "\\" + folder + "\\notes.txt";
    const struct {
        const char* name;
        bool maximum_install;
    } cases[] = {
        // A file of the player's beside listed ones, outside the data folder: it and its folders
        // stay, as do the exe group's files, while "data" loses every file and goes.
        {"typical install, a file of the player's kept", false},
        // Every file of the installed folder listed (the exe group's removed beforehand): the
        // maximum list's files go too, and so do the folder and its emptied parent "TRV Games".
        {"maximum install of listed files only", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.maximum_install) {
            for (const std::string& name : group_names("exe"))
                ASSERT_TRUE(DeleteFileA((destination + "\\" + name).c_str())) << name;
            ASSERT_TRUE(DeleteFileA(notes.c_str()));
            for (const auto* group : {&typical, &maximum}) {
                for (const std::string& name : *group)
                    write_file(destination + "\\" + name, read_file(source_files() + name));
            }
            store_install(destination, 1);
        } else {
            write_file(notes, bytes_of("mine"));
        }
        store_saves(data);

        HWND main = restart();
        ASSERT_NE(nullptr, main);
        HWND dialog = open_from_main(main, MAIN_UNINSTALL_COMMAND, UNINSTALL_DIALOG_TITLE);
        ASSERT_NE(nullptr, dialog);
        ASSERT_TRUE(click_button(dialog, UNINSTALL_START));
        EXPECT_EQ("Uninstall completed successfully!", answer_box());
        ASSERT_TRUE(wait_until_gone(dialog));

        for (const std::string& name : typical)
            EXPECT_FALSE(file_exists(destination + "\\" + name)) << name;
        if (c.maximum_install) {
            for (const std::string& name : maximum)
                EXPECT_FALSE(file_exists(destination + "\\" + name)) << name;
            EXPECT_FALSE(file_exists(win_path(scratch / "dest") + "\\TRV Games"));
        } else {
            for (const std::string& name : group_names("exe"))
                EXPECT_TRUE(file_exists(destination + "\\" + name)) << name;
            EXPECT_TRUE(file_exists(notes));
            EXPECT_FALSE(file_exists(data));
        }
        EXPECT_FALSE(settings_key_exists());
        EXPECT_FALSE(file_exists(desktop_link_path(SOFTWARE_LINK)));
        EXPECT_FALSE(file_exists(desktop_link_path(HARDWARE_LINK)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, MAIN_PLAY_COMMAND)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, MAIN_UNINSTALL_COMMAND)));
        ASSERT_TRUE(click_button(main, MAIN_EXIT_BUTTON));
        EXPECT_EQ(0, wait_for_exit(second, DRIVER_WAIT_MS)) << what_happened(second);
    }
}

TEST_F(InstalledGame, UninstallDoesOnlyWhatIsSelected)
{
    const std::string data = destination + "\\data";
    store_saves(data);
    HWND main = restart();
    ASSERT_NE(nullptr, main);
    HWND dialog = open_from_main(main, MAIN_UNINSTALL_COMMAND, UNINSTALL_DIALOG_TITLE);
    ASSERT_NE(nullptr, dialog);

    // Delete All off, then every box off: nothing to do.
    press(dialog, UNINSTALL_DELETE_ALL);
    for (int box : {UNINSTALL_GAME, UNINSTALL_GAMES, UNINSTALL_REPLAYS})
        press(dialog, box);
    ASSERT_TRUE(click_button(dialog, UNINSTALL_START));
    EXPECT_EQ("No components to Uninstall!!", answer_box());
    EXPECT_TRUE(IsWindow(dialog));

    // Saved games only.
    press(dialog, UNINSTALL_GAMES);
    ASSERT_TRUE(click_button(dialog, UNINSTALL_START));
    EXPECT_EQ("Uninstall completed successfully!", answer_box());
    ASSERT_TRUE(wait_until_gone(dialog));
    EXPECT_FALSE(file_exists(data + "\\lap.GAME"));
    EXPECT_TRUE(file_exists(data + "\\lap.REPLAY"));
    EXPECT_TRUE(settings_key_exists());
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main, MAIN_UNINSTALL_COMMAND)));
    for (const std::string& name : group_names("typical"))
        EXPECT_TRUE(file_exists(destination + "\\" + name)) << name;
}

TEST_F(InstalledGame, UninstallStopsOnAnEmptyListOrAMissingKey)
{
    // The key disappears after start-up: everything else goes, then the registry step fails.
    HWND main = restart();
    ASSERT_NE(nullptr, main);
    clear_installed_state();
    HWND dialog = open_from_main(main, MAIN_UNINSTALL_COMMAND, UNINSTALL_DIALOG_TITLE);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(click_button(dialog, UNINSTALL_START));
    EXPECT_EQ("Uninstall could not remove all registry information", answer_box());
    ASSERT_TRUE(wait_until_gone(dialog));
    for (const std::string& name : group_names("typical"))
        EXPECT_FALSE(file_exists(destination + "\\" + name)) << name;
    ASSERT_TRUE(click_button(main, MAIN_EXIT_BUTTON));
    EXPECT_EQ(0, wait_for_exit(second, DRIVER_WAIT_MS)) << what_happened(second);

    // A typical list without entries.
    clear_installed_state();
    store_install(destination, 0);
    write_file(medium + "typical_install_list.install", Bytes(268, 0));
    main = restart();
    ASSERT_NE(nullptr, main);
    dialog = open_from_main(main, MAIN_UNINSTALL_COMMAND, UNINSTALL_DIALOG_TITLE);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(click_button(dialog, UNINSTALL_START));
    EXPECT_EQ("Fatal: Zero length Install list", answer_box());
    ASSERT_TRUE(wait_until_gone(dialog));
    EXPECT_TRUE(settings_key_exists());
}

TEST_F(InstalledGame, UninstallNeverWorksOutsideTheKnownFolders)
{
    // No data folder stored: "*.GAME" must not be looked for in the root of the current drive.
    std::string root_game = medium.substr(0, 3) + "trv-e2e-root.GAME";
    write_file(root_game, bytes_of("not ours"));
    HWND main = restart();
    ASSERT_NE(nullptr, main);
    HWND dialog = open_from_main(main, MAIN_UNINSTALL_COMMAND, UNINSTALL_DIALOG_TITLE);
    ASSERT_NE(nullptr, dialog);
    press(dialog, UNINSTALL_DELETE_ALL);
    press(dialog, UNINSTALL_GAME);
    press(dialog, UNINSTALL_REPLAYS);
    ASSERT_TRUE(click_button(dialog, UNINSTALL_START));
    EXPECT_EQ("Uninstall completed successfully!", answer_box());
    ASSERT_TRUE(wait_until_gone(dialog));
    EXPECT_TRUE(file_exists(root_game));
    DeleteFileA(root_game.c_str());
    ASSERT_TRUE(click_button(main, MAIN_EXIT_BUTTON));
    EXPECT_EQ(0, wait_for_exit(second, DRIVER_WAIT_MS)) << what_happened(second);

    // An empty installed folder: list names would resolve against the medium's folder.
    std::string listed = group_names("typical").front();
    write_file(medium + listed, bytes_of("a file of the medium's folder"));
    clear_installed_state();
    store_install("", 0);
    main = restart();
    ASSERT_NE(nullptr, main);
    dialog = open_from_main(main, MAIN_UNINSTALL_COMMAND, UNINSTALL_DIALOG_TITLE);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(click_button(dialog, UNINSTALL_START));
    EXPECT_EQ("The folder TRV 99 was installed in is not known, so its files cannot be removed.",
              answer_box());
    ASSERT_TRUE(wait_until_gone(dialog));
    EXPECT_TRUE(file_exists(medium + listed));
    EXPECT_TRUE(settings_key_exists());
}

TEST_F(InstalledGame, UninstallRefusesFoldersNoInstallCouldHaveMade)
{
    // A damaged settings key, or one another program wrote, names a drive's root or the Windows
    // folder: the files planted there as the lists name them, and saved games beside them, stay,
    // and so does the key.
    const std::string windows = "C:\\windows";
    const struct {
        std::string destination;
        std::string location;
        std::string refused;
    } rows[] = {
        {"C:\\", windows, "C:\\"},
        {windows, windows + "\\data", windows},
        {"C:\\trv\\..\\windows", "C:\\trv\\..\\windows\\data", "C:\\trv\\..\\windows"},
        {destination, windows, windows},
        {destination, "C:\\windows\\system32\\..", "C:\\windows\\system32\\.."},
    };
    const std::vector<std::string> typical = group_names("typical");
    ASSERT_GE(typical.size(), 2u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.destination + " / " + row.location);
        // Where the key's folders lead, as Windows resolves them.
        std::string planted_in = row.destination == "C:\\trv\\..\\windows" ? windows
                                                                          : row.destination;
        std::vector<std::string> planted = {windows + "\\trv-e2e.GAME",
                                            windows + "\\trv-e2e.REPLAY"};
        if (row.destination != destination) {
            planted.push_back(planted_in + "\\" + typical[0]);
            planted.push_back(planted_in + "\\" + typical[1]);
        }
        for (const std::string& path : planted) {
            std::error_code ignored;
            std::filesystem::create_directories(std::filesystem::path(path).parent_path(),
                                                ignored);
            write_file(path, bytes_of("not the game's"));
        }
        clear_installed_state();
        store_install(row.destination, 1);
        store_location(row.location);

        HWND main = restart();
        ASSERT_NE(nullptr, main);
        HWND dialog = open_from_main(main, MAIN_UNINSTALL_COMMAND, UNINSTALL_DIALOG_TITLE);
        ASSERT_NE(nullptr, dialog);
        ASSERT_TRUE(click_button(dialog, UNINSTALL_START));
        EXPECT_EQ("The settings name " + row.refused +
                      " as a folder of TRV 99, which setup never installs into.\n"
                      "Nothing was removed.",
                  answer_box());
        ASSERT_TRUE(wait_until_gone(dialog));
        for (const std::string& path : planted) {
            EXPECT_TRUE(file_exists(path)) << path;
            DeleteFileA(path.c_str());
            // The folders made for it go again once empty (removing a full one fails).
            std::error_code ignored;
            for (auto folder = std::filesystem::path(path).parent_path();
                 folder.string().size() > planted_in.size(); folder = folder.parent_path())
                std::filesystem::remove(folder, ignored);
        }
        EXPECT_TRUE(settings_key_exists());
        for (const std::string& name : group_names("typical"))
            EXPECT_TRUE(file_exists(destination + "\\" + name)) << name;
        ASSERT_TRUE(click_button(main, MAIN_EXIT_BUTTON));
        EXPECT_EQ(0, wait_for_exit(second, DRIVER_WAIT_MS)) << what_happened(second);
    }
}
