// install_check_test.cpp -- what an install refuses before it writes anything: an archive or a
// list it cannot read, and a listed name that no extraction would create in the destination.

#include <string>

#include <gtest/gtest.h>

#include "install/install_check.h"
#include "support/test_support.h"
#include "support/win_test_support.h"

TEST(InstallCheck, RefusesWhatTheExtractionCouldNotFinish)
{
    ScratchFolder scratch;
    const std::string archive = win_path(scratch / "a.qbr");
    const std::string list = win_path(scratch / "list.txt");
    const std::string name_248(248, 'n');
    const struct {
        const char* name;
        bool archive_there;
        bool list_there;
        std::string list_text;
        const char* working_path;
        MediumProblem problem;
        std::string named;  // what the check names: a file or the listed name
    } cases[] = {
        {"all there", true, true, "a.txt\r\ndata\\b.txt\r\n", "C:\\trv\\", MEDIUM_OK, ""},
        {"a 248-character name under C:\\trv", true, true, name_248 + "\r\n", "C:\\trv\\",
         MEDIUM_OK, ""},
        {"the same under C:\\trv2", true, true, "a.txt\n" + name_248 + "\n", "C:\\trv2\\",
         MEDIUM_NAME_TOO_LONG, name_248},
        {"a line beyond setup's paths", true, true, std::string(300, 'n') + "\n", "C:\\t\\",
         MEDIUM_NAME_TOO_LONG, std::string(255, 'n')},
        {"names after the end of the list are not read", true, true, "a.txt\n\n..\\x\n",
         "C:\\trv\\", MEDIUM_OK, ""},
        {"a name outside the folder", true, true, "a.txt\n..\\x\n", "C:\\trv\\",
         MEDIUM_NAME_REFUSED, "..\\x"},
        {"a device name", true, true, "data\\nul.txt\n", "C:\\trv\\", MEDIUM_NAME_REFUSED,
         "data\\nul.txt"},
        {"a code page's letter", true, true, "Cr\xe9" "dits.txt\n", "C:\\trv\\", MEDIUM_OK, ""},
        {"no archive", false, true, "a.txt\n", "C:\\trv\\", MEDIUM_UNREADABLE, archive},
        {"no list", true, false, "", "C:\\trv\\", MEDIUM_UNREADABLE, list},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(archive.c_str());
        DeleteFileA(list.c_str());
        if (c.archive_there)
            write_text(scratch / "a.qbr", "QBR");
        if (c.list_there)
            write_text(scratch / "list.txt", c.list_text);
        MediumCheck check;
        EXPECT_EQ(c.problem, check_archive_step(archive.c_str(), list.c_str(), c.working_path,
                                                &check));
        EXPECT_EQ(c.named, check.name);
    }
}
