// game_texts.h -- the game's layout as setup knows it (its programs, folders, shortcuts and the
// files of the medium) and every text setup shows.

#pragma once

// Every message box of setup carries this caption, which is also how a second setup finds the
// first; stop boxes and questions are shown in English (United Kingdom).
const char SETUP_CAPTION[] = "TRV 99";
enum { SETUP_LANGUAGE = 2057 };

// The installed game: its two programs in the installed folder, the folder of saved games and
// replays beneath it, and its shortcuts on the desktop.
const char HARDWARE_EXECUTABLE[] = "trv99hw.exe";
const char SOFTWARE_EXECUTABLE[] = "trv99sw.exe";
const char DEFAULT_FOLDER[] = "\\trv";   // on the first fixed disk
const char DATA_FOLDER[] = "data";
const char SOFTWARE_SHORTCUT[] = "TRV 99 Software Version.lnk";
const char HARDWARE_SHORTCUT[] = "TRV 99 Hardware Version.lnk";
const char SAVED_GAMES[] = "*.GAME";
const char SAVED_REPLAYS[] = "*.REPLAY";
const char MARKER_FILE_FORMAT[] = "%c:\\source.tmp";   // on the first fixed disk

// The medium: list images, and the archives with their file lists, in the current folder.
const char EXE_LIST_IMAGE[] = "exe_install_list.install";
const char TYPICAL_LIST_IMAGE[] = "typical_install_list.install";
const char MAXIMUM_LIST_IMAGE[] = "maximum_install_list.install";
const char EXE_ARCHIVE[] = "exe_install.qbr";
const char EXE_FILE_LIST[] = "exe_install_list.txt";
const char TYPICAL_ARCHIVE[] = "typical_install.qbr";
const char TYPICAL_FILE_LIST[] = "typical_install_list.txt";
const char EXE_SUMS[] = "exe_install.crc";          // when the medium has them
const char TYPICAL_SUMS[] = "typical_install.crc";

// Start-up and the final steps.
const char TEXT_ALREADY_RUNNING[] = "An Instance of TRV 99 Windows 95 Setup is already running";
const char TEXT_LIST_NOT_LOADED[] = "Install list initialisation failed: %s";
const char TEXT_GAME_NOT_STARTED[] =
    "Setup was unable to successfully start a pre-installed version of TRV99";
const char TEXT_SETTINGS_NOT_WRITTEN[] = "Setup has found a corrupted system registry value";
const char TEXT_INSTALL_COMPLETED[] =
    "The TRV install process was completed successfully.\n"
    "To play TRV99 double click on the TRV 99 icon on the Desktop";

// The play dialog.
const char TEXT_NO_VERSION_CHOSEN[] = "You must select a version to play";

// The install dialog. The available space is given in kilobytes, at most 2147483647.
const char TEXT_SPACE_AVAILABLE[] = "Space available on drive %c: %ld k";
const char TEXT_SPACE_REQUIRED[] = "%d k";
const char TEXT_STILL_QUIT[] = "The installation process has started. Still Quit?";
const char TEXT_NO_DESTINATION[] = "Please enter the folder to install TRV 99 into.";
const char TEXT_NOT_ON_A_DRIVE[] = "Please enter a folder on a drive, such as C:\\trv.";
const char TEXT_WINDOWS_FOLDER[] =
    "Please enter a folder outside the Windows folder, such as C:\\trv.";
const char TEXT_DESTINATION_TOO_LONG[] =
    "The name of the install folder is too long. Please choose a shorter folder.";
const char TEXT_NOT_EXTRACTED[] =
    "Setup could not extract %s: %s.\n%s\n\nThe installation was not completed.";
const char TEXT_SIZE_MISMATCH[] =
    "a file does not have the size the medium lists for it, so the medium is damaged";
const char TEXT_ARCHIVE_UNREADABLE[] = "the archive or its file list could not be read";
const char TEXT_FOLDER_NOT_MADE[] = "a folder could not be created";
const char TEXT_FILE_NOT_MADE[] = "a file could not be created";
const char TEXT_ARCHIVE_DAMAGED[] = "the archive is damaged";
const char TEXT_FILE_NOT_WRITTEN[] = "a file could not be written (is the disk full?)";
const char TEXT_NAME_OUTSIDE[] = "the file list names a file outside the folder";
const char TEXT_NAME_REFUSED[] =
    "the file list names a file that Windows cannot create, or one outside the folder";
const char TEXT_FOLDER_TOO_LONG_FOR_FILE[] =
    "The install folder is too long for the file %s of %s. Please choose a shorter folder.";
const char TEXT_PATH_TOO_LONG[] = "a path is too long";
const char TEXT_EXTRACTION_FAILED[] = "the extraction failed";
const char TEXT_SUMS_MALFORMED[] =
    "its check file is damaged or does not match its file list, so the medium is damaged";
const char TEXT_SUMS_LINE[] = "%s, line %d";

// The uninstall dialog.
const char TEXT_INSTALLED_IN[] = "TRV 99 Install Directory is %s";
const char TEXT_REMOVING_FOLDERS[] = "Directories..";
const char TEXT_REMOVING_SETTINGS[] = "Registry entries..";
const char TEXT_NOTHING_SELECTED[] = "No components to Uninstall!!";
const char TEXT_EMPTY_LISTS[] = "Fatal: Zero length Install list";
const char TEXT_FOLDER_UNKNOWN[] =
    "The folder TRV 99 was installed in is not known, so its files cannot be removed.";
const char TEXT_UNSAFE_FOLDER[] =
    "The settings name %s as a folder of TRV 99, which setup never installs into.\n"
    "Nothing was removed.";
const char TEXT_SETTINGS_NOT_REMOVED[] = "Uninstall could not remove all registry information";
const char TEXT_UNINSTALL_COMPLETED[] = "Uninstall completed successfully!";
