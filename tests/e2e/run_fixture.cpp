// run_fixture.cpp -- the fixture of the end-to-end runs of setup.exe: a scratch folder with
// copies of the built medium, the started programs (ended if still running), a clean settings
// key and desktop before and after, and the checks of what a finished install leaves.

#include "e2e/run_fixture.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "win95/win95_inject.h"

namespace fs = std::filesystem;

const char COMPLETION_TEXT[] =
    "The TRV install process was completed successfully.\n"
    "To play TRV99 double click on the TRV 99 icon on the Desktop";
const char STILL_QUIT_TEXT[] = "The installation process has started. Still Quit?";

static const char* const MEDIUM_FILES[] = {
    "setup.exe",
    "exe_install_list.txt", "typical_install_list.txt", "maximum_install_list.txt",
    "exe_install.qbr", "typical_install.qbr", "maximum_install.qbr",
    "exe_install_list.install", "typical_install_list.install", "maximum_install_list.install",
};

// A folder of the build tree as the prefix sees it (drive Z: is the host's root), with a final "\".
static std::string build_folder(const char* host_path)
{
    return "Z:" + win_path(host_path) + "\\";
}

static const std::string& built_medium()
{
    static const std::string folder = build_folder(E2E_WORK_DIR "/medium");
    return folder;
}

const std::string& source_files()
{
    static const std::string folder = build_folder(E2E_WORK_DIR "/sample/files");
    return folder;
}

std::vector<std::string> group_names(const char* group)
{
    return list_names(built_medium() + group + "_install_list.txt");
}

std::string what_happened(const DrivenProgram& program)
{
    if (!program.running)
        return "setup was not started";
    int64_t code = wait_for_exit(program, 0);
    if (code != DRIVER_STILL_RUNNING)
        return "setup ended with code " + std::to_string(code);
    HWND box = find_window(program.info.dwProcessId, MESSAGE_BOX_TITLE);
    if (box != nullptr)
        return "setup shows the message \"" + message_box_text(box) + "\"";
    return "setup still runs";
}

static std::string win95_log_path(const ScratchFolder& scratch)
{
    return win_path(scratch / "win95_rules.log");
}

void start_win95_log(const ScratchFolder& scratch)
{
    if (win95_rules_on())
        SetEnvironmentVariableA("TRV_WIN95_LOG", win95_log_path(scratch).c_str());
}

void print_win95_log_and_stop(const ScratchFolder& scratch, bool failed)
{
    if (!win95_rules_on())
        return;
    SetEnvironmentVariableA("TRV_WIN95_LOG", nullptr);
    std::string path = win95_log_path(scratch);
    if (failed && file_exists(path)) {
        Bytes log = read_file(path);
        std::cout << "The Windows 95 layer's log (" << path << "):\n"
                  << std::string(log.begin(), log.end());
    }
}

// A copy of the built medium in `name` under the scratch folder, with a final "\".
std::string SetupExe::copy_medium(const std::string& name, const char* built)
{
    const std::string from =
        built == nullptr ? built_medium() : build_folder((E2E_WORK_DIR "/" + std::string(built)).c_str());
    std::string folder = win_path(scratch / name) + "\\";
    EXPECT_TRUE(fs::create_directories(folder)) << folder;
    for (const char* file : MEDIUM_FILES) {
        EXPECT_TRUE(CopyFileA((from + file).c_str(), (folder + file).c_str(), TRUE))
            << "copying " << from << file << " to " << folder;
    }
    return folder;
}

// Exactly the files of the exe and typical groups, each equal to its source, besides the ones
// that were there before; the data folder.
void SetupExe::expect_files_installed(const std::string& destination,
                                      const std::vector<std::string>& files_there_before)
{
    std::vector<std::string> expected = files_there_before;
    for (const char* group : {"exe", "typical"}) {
        for (const std::string& name : group_names(group)) {
            SCOPED_TRACE(name);
            expected.push_back(name);
            bool extracted = false;
            Bytes content = read_file(destination + "\\" + name, &extracted);
            EXPECT_TRUE(extracted);
            EXPECT_TRUE(content == read_file(source_files() + name)) << "content differs";
        }
    }
    for (const std::string& name : group_names("maximum"))
        EXPECT_FALSE(file_exists(destination + "\\" + name)) << name;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, files_under(destination + "\\"));
    EXPECT_TRUE(fs::is_directory(destination + "\\data"));
}

// The settings key with the destination, and both shortcuts starting their program there.
void SetupExe::expect_recorded(const std::string& destination)
{
    std::string stored;
    unsigned long type = 0;
    ASSERT_TRUE(read_setting("Install", "install_destination_path", &stored, &type));
    EXPECT_EQ((unsigned long)REG_SZ, type);
    // The whole 256-byte field; the 95 family keeps a REG_SZ value's text only, whatever size
    // setup gives it.
    bool family_95 = (GetVersion() & 0x80000000) != 0;
    std::string field = destination + std::string(256 - destination.size(), '\0');
    EXPECT_EQ(family_95 ? destination + '\0' : field, stored);
    EXPECT_TRUE(settings_subkey_exists("Location Of Data Files"));

    const struct {
        const char* link;
        const char* program;
    } shortcuts[] = {{SOFTWARE_LINK, "trv99sw.exe"}, {HARDWARE_LINK, "trv99hw.exe"}};
    for (const auto& shortcut : shortcuts) {
        SCOPED_TRACE(shortcut.link);
        ShortcutFields fields;
        ASSERT_TRUE(read_shortcut(desktop_link_path(shortcut.link), &fields));
        EXPECT_EQ(destination + "\\" + shortcut.program, fields.target);
        EXPECT_EQ(destination, fields.working_folder);
    }
}
