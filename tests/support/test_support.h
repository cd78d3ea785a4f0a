// test_support.h -- scratch folders and whole-file helpers shared by the tests.

#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

// A fresh, empty folder for one test, removed with its contents when the object goes away.
// `path()` ends with "/".
struct ScratchFolder {
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return root; }
    std::string operator/(const std::string& name) const { return root + name; }

    std::string root;
};

// Writes `bytes` to `path`, creating the folders on the way. Fails the test on error.
void write_file(const std::string& path, const Bytes& bytes);
void write_text(const std::string& path, const std::string& text);

// The whole content of a file; empty (and `exists` false) when it cannot be read.
Bytes read_file(const std::string& path, bool* exists = nullptr);
bool file_exists(const std::string& path);

Bytes bytes_of(const std::string& text);

// Deterministic test data of `size` bytes: English-like text, pseudo-random bytes, or runs.
Bytes text_bytes(size_t size, uint32_t seed);
Bytes random_bytes(size_t size, uint32_t seed);
Bytes run_bytes(size_t size, uint32_t seed);

// What a program run as a separate process left: its exit status (-1 when it did not end
// normally) and the text it wrote to standard output and standard error.
struct ProgramRun {
    int status;
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` through the host's command processor (std::system), each word
// in double quotes, standard output and error redirected to files in `log_folder` (ending with a
// separator). Works with a POSIX shell and with cmd.exe; arguments must not hold double quotes,
// "$", "`" or two backslashes in a row.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& log_folder);

// True when the run requires every input the tests read from outside the repository (the shared
// corpus, files of the kernel): TRV_REQUIRE_INPUTS=1, as scripts/test.sh sets. Elsewhere a case
// whose input is missing skips with a message.
bool inputs_required();

// Leaves the current case for a missing input: a failure where inputs are required, else a skip.
#define LEAVE_WITHOUT_INPUT(message)                                      \
    do {                                                                  \
        if (inputs_required())                                            \
            FAIL() << message << " (TRV_REQUIRE_INPUTS is set)";          \
        GTEST_SKIP() << message;                                          \
    } while (0)
