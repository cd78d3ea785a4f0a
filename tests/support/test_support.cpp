// test_support.cpp -- scratch folders and whole-file helpers shared by the tests.

#include "support/test_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder()
{
    static std::atomic<int> counter{0};
    std::random_device entropy;
    fs::path base = fs::temp_directory_path() /
                    ("trv-test-" + std::to_string(entropy()) + "-" + std::to_string(counter++));
    fs::create_directories(base);
    root = base.generic_string() + "/";
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root, ignored);
}

void write_file(const std::string& path, const Bytes& bytes)
{
    fs::path parent = fs::path(path).parent_path();
    if (!parent.empty())
        fs::create_directories(parent);
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size()) << path;
    }
    ASSERT_EQ(std::fclose(file), 0) << path;
}

void write_text(const std::string& path, const std::string& text) { write_file(path, bytes_of(text)); }

Bytes read_file(const std::string& path, bool* exists)
{
    Bytes bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (exists != nullptr)
        *exists = file != nullptr;
    if (file == nullptr)
        return bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);
    return bytes;
}

bool file_exists(const std::string& path)
{
    std::error_code ignored;
    return fs::exists(path, ignored);
}

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes text_bytes(size_t size, uint32_t seed)
{
    static const char* const words[] = {
        "the ", "patch ", "window ", "of ", "a ", "game ", "install ", "folder ", "and ",
        "player ", "TRV ", "archive\n", "level ", "replay ", "to ", "is ", "saved ", "data. ",
    };
    std::mt19937 generator(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const char* word = words[generator() % (sizeof words / sizeof words[0])];
        for (const char* p = word; *p != '\0' && bytes.size() < size; p++)
            bytes.push_back(static_cast<uint8_t>(*p));
    }
    return bytes;
}

Bytes random_bytes(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(generator() >> 24);
    return bytes;
}

Bytes run_bytes(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        uint8_t value = static_cast<uint8_t>(generator() % 4);
        size_t run = 1 + generator() % 300;
        for (size_t i = 0; i < run && bytes.size() < size; i++)
            bytes.push_back(value);
    }
    return bytes;
}

// One command-line word in double quotes. Backslashes in front of the closing quote are doubled,
// which both a POSIX shell and the Windows argument parser turn back into single ones.
static std::string quoted(const std::string& word)
{
    size_t trailing = 0;
    while (trailing < word.size() && word[word.size() - 1 - trailing] == '\\')
        trailing++;
    return "\"" + word + std::string(trailing, '\\') + "\"";
}

static std::string text_of(const std::string& path)
{
    Bytes bytes = read_file(path);
    std::string text(bytes.begin(), bytes.end());
#ifdef _WIN32
    std::string plain;
    for (size_t i = 0; i < text.size(); i++) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            plain += text[i];
    }
    text = plain;
#endif
    return text;
}

ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& log_folder)
{
    const std::string out_path = log_folder + "program-stdout.txt";
    const std::string err_path = log_folder + "program-stderr.txt";
    std::string command = quoted(program);
    for (const std::string& argument : arguments)
        command += " " + quoted(argument);
    command += " >" + quoted(out_path) + " 2>" + quoted(err_path);
#ifdef _WIN32
    command = "\"" + command + "\"";  // cmd /c drops the outermost pair of quotes
#endif
    std::fflush(nullptr);
    int raw = std::system(command.c_str());
    ProgramRun run;
#ifdef _WIN32
    run.status = raw;
#else
    run.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    run.out = text_of(out_path);
    run.err = text_of(err_path);
    return run;
}

bool inputs_required()
{
    const char* required = std::getenv("TRV_REQUIRE_INPUTS");
    return required != nullptr && std::string(required) == "1";
}
