// sums_test.cpp -- setup.exe on a medium with sums files beside its archives: a sound one
// installs; one bit flipped in an archive, which changes a file's bytes but not its size, stops
// the install with the damaged-archive message naming the archive and the file, and nothing is
// recorded; a sums file not in its form stops the install before anything is extracted. (A
// medium without sums files is the one the other cases install from.)

#include <cstdio>
#include <string>
#include <vector>

#include "archive/archive_ops.h"
#include "archive/crc32.h"
#include "e2e/run_fixture.h"

namespace {

const char DAMAGED_TEXT[] = "the archive is damaged";
const char* const SUMS_FILES[] = {"exe_install.crc", "typical_install.crc"};

// Copies the built medium's sums files into the copy of the medium at `medium`.
void copy_sums(const std::string& medium)
{
    const std::string built = "Z:" + win_path(E2E_WORK_DIR "/medium") + "\\";
    for (const char* name : SUMS_FILES) {
        ASSERT_TRUE(CopyFileA((built + name).c_str(), (medium + name).c_str(), FALSE))
            << built << name;
    }
}

struct Unpacked {
    int64_t size;
    uint32_t crc;
};

int record_unpacked(int64_t byte_count, uint32_t crc, const char*, void* user_value)
{
    static_cast<std::vector<Unpacked>*>(user_value)->push_back(Unpacked{byte_count, crc});
    return 0;
}

// The first bit from the archive's middle on whose flip leaves every size as it was and changes
// one file's bytes, found by unpacking here; the archive with that bit flipped goes to `flipped`,
// and the name of the first file it damages to `damaged`. False when none is found.
bool find_content_flip(const std::string& medium, const std::string& work, Bytes* flipped,
                       std::string* damaged)
{
    const std::vector<std::string> names = group_names("typical");
    std::vector<Unpacked> expected;
    for (const std::string& name : names) {
        Bytes bytes = read_file(source_files() + name);
        expected.push_back(Unpacked{(int64_t)bytes.size(), crc32_update(0, bytes.data(),
                                                                         bytes.size())});
    }
    const Bytes archive = read_file(medium + "typical_install.qbr");
    const std::string probe = work + "\\probe.qbr";
    for (size_t bit = archive.size() * 4; bit < archive.size() * 8; bit += 13) {
        Bytes bytes = archive;
        bytes[bit / 8] ^= (uint8_t)(1 << bit % 8);
        write_file(probe, bytes);
        char folder[1024];
        std::snprintf(folder, sizeof folder, "%s\\out%zu\\", work.c_str(), bit);
        std::vector<Unpacked> unpacked;
        int result = unpack_archive_checked(probe.c_str(),
                                            (medium + "typical_install_list.txt").c_str(), folder,
                                            sizeof folder, &unpacked, nullptr, record_unpacked);
        if (result != ARCHIVE_OK || unpacked.size() != expected.size())
            continue;
        size_t first_damaged = names.size();
        bool sizes_kept = true;
        for (size_t i = 0; i < names.size(); i++) {
            sizes_kept = sizes_kept && unpacked[i].size == expected[i].size;
            if (unpacked[i].crc != expected[i].crc && first_damaged == names.size())
                first_damaged = i;
        }
        if (sizes_kept && first_damaged < names.size()) {
            *flipped = bytes;
            *damaged = names[first_damaged];
            return true;
        }
    }
    return false;
}

TEST_F(SetupExe, SoundMediumWithSumsInstalls)
{
    std::string medium = copy_medium("medium");
    ASSERT_NO_FATAL_FAILURE(copy_sums(medium));
    std::string destination = destination_in("dest");
    HWND main = nullptr;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
    start_extraction(dialog, destination);
    expect_completion_and_exit(first);
    expect_files_installed(destination, {});
    expect_recorded(destination);
}

TEST_F(SetupExe, FlippedBitThatChangesAFileIsRefusedAndNothingRecorded)
{
    std::string medium = copy_medium("medium");
    ASSERT_NO_FATAL_FAILURE(copy_sums(medium));
    Bytes flipped;
    std::string damaged;
    ASSERT_TRUE(find_content_flip(medium, win_path(scratch / "probe"), &flipped, &damaged));
    write_file(medium + "typical_install.qbr", flipped);
    std::string destination = destination_in("dest");
    HWND main = nullptr;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
    start_extraction(dialog, destination);
    HWND box = expect_window(first, MESSAGE_BOX_TITLE);
    ASSERT_NE(nullptr, box);
    std::string text = message_box_text(box);
    EXPECT_NE(std::string::npos, text.find("typical_install.qbr: " + std::string(DAMAGED_TEXT)))
        << text;
    EXPECT_NE(std::string::npos, text.find(destination + "\\" + damaged)) << text;
    ASSERT_TRUE(answer_message_box(box, IDOK));
    expect_main_dialog_then_exit(first, main, dialog);
    expect_nothing_recorded();
}

TEST_F(SetupExe, MalformedSumsAreRefusedBeforeAnythingIsExtracted)
{
    const struct {
        const char* name;
        const char* file;
        std::string text;
        const char* where;
    } cases[] = {
        {"a size that is no number", "typical_install.crc",
         "00000000 0 a\r\n00000000 x b\r\n", "typical_install.crc, line 2"},
        {"one line too few", "exe_install.crc", "", "exe_install.crc, line 1"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        SCOPED_TRACE(cases[i].name);
        std::string medium = copy_medium("medium " + std::to_string(i));
        ASSERT_NO_FATAL_FAILURE(copy_sums(medium));
        write_file(medium + cases[i].file, bytes_of(cases[i].text));
        std::string destination = destination_in("dest " + std::to_string(i));
        end_program(&first);
        HWND main = nullptr;
        HWND dialog = nullptr;
        ASSERT_NO_FATAL_FAILURE(open_install(medium, &main, &dialog));
        start_extraction(dialog, destination);
        HWND box = expect_window(first, MESSAGE_BOX_TITLE);
        ASSERT_NE(nullptr, box);
        std::string text = message_box_text(box);
        EXPECT_NE(std::string::npos, text.find(cases[i].where)) << text;
        ASSERT_TRUE(answer_message_box(box, IDOK));
        expect_main_dialog_then_exit(first, main, dialog);
        expect_nothing_recorded();
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(destination.c_str()))
            << "something was extracted";
    }
}

}  // namespace
