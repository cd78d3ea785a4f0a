// host_files_contract_test.cpp -- what the host layer (host_files.h) promises, one row a promise,
// checked against the real host: the POSIX host in the native archive_test, the Windows host under
// Wine in codec_test. Each row names the hosts it holds on; a row of one platform alone (pipes and
// /dev on POSIX; device names, drive letters and reparse points on Windows) is reported skipped,
// with the reason, on the other.

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/host_files.h"
#include "archive/host_handles.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

enum { ON_POSIX = 1, ON_WINDOWS = 2, ON_EVERY_HOST = ON_POSIX | ON_WINDOWS };

#ifdef _WIN32
const unsigned THIS_HOST = ON_WINDOWS;
#else
const unsigned THIS_HOST = ON_POSIX;
#endif

struct ContractRow {
    const char* name;
    unsigned hosts;
    const char* elsewhere;  // why the other host has no such row
    void (*check)(const ScratchFolder& scratch);
};

// The whole content of an open file, read through the host; "<failed>" when a read fails.
std::string read_all(HostFile* file)
{
    std::string text;
    uint8_t chunk[1000];
    int64_t read;
    while ((read = read_host_file(file, chunk, sizeof chunk)) > 0)
        text.append(reinterpret_cast<char*>(chunk), static_cast<size_t>(read));
    return read < 0 ? "<failed>" : text;
}

// The content of the file at `path` as the host reads it; "<none>" when it cannot be opened.
std::string host_text(const std::string& path)
{
    HostFile* file = open_host_file(path.c_str());
    if (file == nullptr)
        return "<none>";
    std::string text = read_all(file);
    close_host_file(file);
    return text;
}

// Writes `text` to a file made by `create` (create_host_file or create_unlinked_host_file);
// false when it could not be created or written.
bool write_with(HostFile* (*create)(const char*), const std::string& path,
                const std::string& text)
{
    HostFile* file = create(path.c_str());
    if (file == nullptr)
        return false;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    bool written = write_host_file(file, bytes, text.size());
    return close_host_file(file) && written;
}

std::string text_at(const std::string& path)
{
    Bytes bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

// ---- every host

void check_open(const ScratchFolder& scratch)
{
    write_text(scratch / "a.txt", "contents");
    write_text(scratch / "folder/inside.txt", "");
    EXPECT_EQ("contents", host_text(scratch / "a.txt"));
    EXPECT_EQ("<none>", host_text(scratch / "missing.txt"));
    EXPECT_EQ("<none>", host_text(scratch / "folder"));
    EXPECT_EQ("<none>", host_text(scratch / "nowhere/a.txt"));
    EXPECT_EQ("", host_text(scratch / "folder\\inside.txt"));  // "\" separates on every host
}

void check_create(const ScratchFolder& scratch)
{
    for (auto create : {create_host_file, create_unlinked_host_file}) {
        SCOPED_TRACE(create == create_host_file ? "create_host_file" : "create_unlinked_host_file");
        write_text(scratch / "old.txt", "a longer text from before");
        EXPECT_TRUE(write_with(create, scratch / "old.txt", "new"));
        EXPECT_EQ("new", text_at(scratch / "old.txt"));
        EXPECT_TRUE(write_with(create, scratch / "fresh.txt", std::string(10000, 'x')));
        EXPECT_EQ(std::string(10000, 'x'), text_at(scratch / "fresh.txt"));
        EXPECT_FALSE(write_with(create, scratch / "nowhere/a.txt", "x"));
        write_text(scratch / "folder/inside.txt", "");
        EXPECT_FALSE(write_with(create, scratch / "folder", "x"));
    }
}

// read_host_file gives fewer bytes than asked where one read of the host does, 0 at the end and -1
// when the host cannot read; bytes taken into the buffer by read_host_byte come first.
void check_reads(const ScratchFolder& scratch)
{
    std::string text(5000, 'r');
    text[4096] = 'x';
    write_text(scratch / "a.txt", text);
    HostFile* file = open_host_file((scratch / "a.txt").c_str());
    ASSERT_NE(nullptr, file);
    EXPECT_EQ('r', read_host_byte(file));
    uint8_t bytes[8000];
    EXPECT_EQ(4095, read_host_file(file, bytes, sizeof bytes));  // what the buffer held
    EXPECT_EQ(904, read_host_file(file, bytes, sizeof bytes));   // the rest, fewer than asked
    EXPECT_EQ('x', bytes[0]);
    EXPECT_EQ(0, read_host_file(file, bytes, sizeof bytes));
    EXPECT_EQ(-1, read_host_byte(file));
    EXPECT_FALSE(file->failed);
    EXPECT_TRUE(close_host_file(file));

    HostFile* writer = create_host_file((scratch / "b.txt").c_str());  // cannot be read
    ASSERT_NE(nullptr, writer);
    EXPECT_EQ(-1, read_host_file(writer, bytes, 10));
    EXPECT_TRUE(writer->failed);
    EXPECT_EQ(-1, read_host_byte(writer));
    close_host_file(writer);
}

void check_positioned_read(const ScratchFolder& scratch)
{
    write_text(scratch / "digits.txt", "0123456789");
    HostFile* file = open_host_file((scratch / "digits.txt").c_str());
    ASSERT_NE(nullptr, file);
    uint8_t bytes[16] = {};
    ASSERT_EQ(2, read_host_file(file, bytes, 2));
    EXPECT_TRUE(read_host_file_at(file, 5, bytes, 3));
    EXPECT_EQ(0, std::memcmp(bytes, "567", 3));
    EXPECT_FALSE(read_host_file_at(file, 8, bytes, 5));  // past the end
    EXPECT_FALSE(read_host_file_at(file, 20, bytes, 1));
    ASSERT_EQ(3, read_host_file(file, bytes, 3));  // the file's own position has not moved
    EXPECT_EQ(0, std::memcmp(bytes, "234", 3));
    close_host_file(file);
}

void check_size(const ScratchFolder& scratch)
{
    write_text(scratch / "empty.txt", "");
    write_text(scratch / "ten.txt", "0123456789");
    for (const char* name : {"empty.txt", "ten.txt"}) {
        HostFile* file = open_host_file((scratch / name).c_str());
        ASSERT_NE(nullptr, file);
        EXPECT_EQ(static_cast<int64_t>(read_file(scratch / name).size()), host_file_size(file));
        close_host_file(file);
    }
    HostFile* writer = create_host_file((scratch / "growing.txt").c_str());
    ASSERT_NE(nullptr, writer);
    const std::string text(5000, 'g');
    ASSERT_TRUE(write_host_file(writer, reinterpret_cast<const uint8_t*>(text.data()), 5000));
    ASSERT_TRUE(flush_host_file(writer));
    EXPECT_EQ(5000, host_file_size(writer));
    close_host_file(writer);
}

// replace_file and what it is given to replace.
void check_replace(const ScratchFolder& scratch)
{
    write_text(scratch / "new.txt", "new");
    write_text(scratch / "target.txt", "old");
    EXPECT_TRUE(replace_file((scratch / "new.txt").c_str(), (scratch / "target.txt").c_str()));
    EXPECT_EQ("new", text_at(scratch / "target.txt"));
    EXPECT_FALSE(file_exists(scratch / "new.txt"));
    EXPECT_TRUE(replace_file((scratch / "target.txt").c_str(), (scratch / "moved.txt").c_str()));
    EXPECT_EQ("new", text_at(scratch / "moved.txt"));
    // Nothing to move: the target stays.
    EXPECT_FALSE(replace_file((scratch / "missing.txt").c_str(), (scratch / "moved.txt").c_str()));
    EXPECT_EQ("new", text_at(scratch / "moved.txt"));

    char target[HOST_PATH_CHARS];
    const std::string fresh = scratch / "fresh.qbr";
    ASSERT_TRUE(replacement_target(fresh.c_str(), target, sizeof target));
    EXPECT_EQ(fresh, target);
    ASSERT_TRUE(replacement_target((scratch / "moved.txt").c_str(), target, sizeof target));
    EXPECT_EQ(scratch / "moved.txt", target);
    EXPECT_FALSE(replacement_target((scratch / "moved.txt").c_str(), target, fresh.size()));
    write_text(scratch / "folder.qbr/inside.txt", "");
    EXPECT_FALSE(replacement_target((scratch / "folder.qbr").c_str(), target, sizeof target));
}

void check_identity(const ScratchFolder& scratch)
{
    write_text(scratch / "dir/a.txt", "a");
    write_text(scratch / "dir/b.txt", "a");
    const std::string a = scratch / "dir/a.txt";
    const std::string spellings[] = {scratch / "dir\\a.txt", scratch / "dir/./a.txt",
                                     scratch / "dir/../dir/a.txt"};
    for (const std::string& other : spellings) {
        SCOPED_TRACE(other);
        EXPECT_TRUE(same_existing_file(a.c_str(), other.c_str()));
    }
    EXPECT_FALSE(same_existing_file(a.c_str(), (scratch / "dir/b.txt").c_str()));
    EXPECT_FALSE(same_existing_file(a.c_str(), (scratch / "dir/missing.txt").c_str()));
    // A folder has an identity where the host can open one: not on the 95 family, whose
    // CreateFileA opens no folder (the library asks only files for theirs).
#ifdef _WIN32
    const bool folders_open = (GetVersion() & 0x80000000) == 0;
#else
    const bool folders_open = true;
#endif
    FileIdentity file, folder;
    EXPECT_EQ(folders_open, get_file_identity((scratch / "dir").c_str(), &folder));
    EXPECT_TRUE(get_file_identity(a.c_str(), &file));
    if (folders_open) {
        EXPECT_FALSE(same_file_identity(file, folder));
    }
    EXPECT_FALSE(get_file_identity((scratch / "missing").c_str(), &file));
}

void check_folders(const ScratchFolder& scratch)
{
    const std::string made = scratch / "made";
    EXPECT_FALSE(folder_exists(made.c_str()));
    EXPECT_TRUE(make_folder(made.c_str()));
    EXPECT_TRUE(folder_exists(made.c_str()));
    EXPECT_TRUE(folder_exists((made + "\\").c_str()));
    EXPECT_FALSE(make_folder(made.c_str()));  // exists already
    EXPECT_FALSE(make_folder((scratch / "missing/deeper").c_str()));
    write_text(scratch / "file", "");
    EXPECT_FALSE(make_folder((scratch / "file").c_str()));
    EXPECT_FALSE(folder_exists((scratch / "file").c_str()));
    EXPECT_TRUE(make_folder((scratch / "made\\inner").c_str()));
    EXPECT_TRUE(folder_exists((scratch / "made/inner").c_str()));
}

void check_memory(const ScratchFolder&)
{
    void* block = host_allocate(100000);
    ASSERT_NE(nullptr, block);
    std::memset(block, 0xA5, 100000);
    host_release(block);
    host_release(nullptr);

    GrowingBlock grown = {};
    std::vector<uint8_t> expected;
    for (uint32_t run = 0; run < 300; run++) {
        std::vector<uint8_t> bytes(1 + run * 37 % 3000, static_cast<uint8_t>(run));
        ASSERT_TRUE(append_to_block(&grown, bytes.data(), bytes.size()));
        ASSERT_TRUE(append_to_block(&grown, bytes.data(), 0));
        expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    ASSERT_EQ(expected.size(), grown.used);
    EXPECT_LE(grown.used, grown.capacity);
    EXPECT_EQ(0, std::memcmp(expected.data(), grown.bytes, grown.used));
    host_release(grown.bytes);
}

// create_new_host_file makes a file only where nothing stands, and says when something does.
void check_create_new(const ScratchFolder& scratch)
{
    bool exists = true;
    HostFile* file = create_new_host_file((scratch / "new.txt").c_str(), &exists);
    ASSERT_NE(nullptr, file);
    EXPECT_FALSE(exists);
    EXPECT_TRUE(write_host_file(file, reinterpret_cast<const uint8_t*>("new"), 3));
    EXPECT_TRUE(close_host_file(file));
    EXPECT_EQ("new", text_at(scratch / "new.txt"));
    write_text(scratch / "folder/inside.txt", "");
    for (const char* name : {"new.txt", "folder", "folder\\inside.txt"}) {
        SCOPED_TRACE(name);
        exists = false;
        EXPECT_EQ(nullptr, create_new_host_file((scratch / name).c_str(), &exists));
        EXPECT_TRUE(exists);
    }
    EXPECT_EQ("new", text_at(scratch / "new.txt"));
    EXPECT_EQ(nullptr, create_new_host_file((scratch / "nowhere/a.txt").c_str(), &exists));
    EXPECT_FALSE(exists);
}

// A file sharing its content with another name (a hard link) is replaced at the unpack's name;
// the other name keeps the content.
void check_create_unlinked_hard_link(const ScratchFolder& scratch)
{
    write_text(scratch / "outside/victim", "keep");
    make_folder((scratch / "out").c_str());
    const std::string victim = scratch / "outside/victim", linked = scratch / "out/a.txt";
#ifdef _WIN32
    typedef BOOL(WINAPI * CreateHardLinkFunction)(const char*, const char*, void*);
    auto create_hard_link = reinterpret_cast<CreateHardLinkFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateHardLinkA")));
    if (create_hard_link == nullptr || !create_hard_link(linked.c_str(), victim.c_str(), nullptr))
        GTEST_SKIP() << "this Windows makes no hard link here";
#else
    ASSERT_EQ(0, link(victim.c_str(), linked.c_str()));
#endif
    ASSERT_TRUE(same_existing_file(victim.c_str(), linked.c_str()));
    EXPECT_TRUE(write_with(create_unlinked_host_file, linked, "new"));
    EXPECT_EQ("new", text_at(linked));
    EXPECT_EQ("keep", text_at(victim));
    EXPECT_FALSE(same_existing_file(victim.c_str(), linked.c_str()));
}

// ---- links: symbolic links on POSIX, reparse points on Windows

#ifdef _WIN32
// Makes `link` a link to `target` (relative to the link's folder; a folder when `folder`), as far
// as this Windows lets a test: a symbolic link needs a privilege or developer mode, a junction
// (folders only) nothing. False when it made none: Wine 8's CreateSymbolicLinkA reports success
// and makes nothing, and Wine 8 cannot set a reparse point.
bool make_link(const std::string& link, const std::string& target, bool folder)
{
    typedef BOOLEAN(WINAPI * CreateLinkFunction)(const char*, const char*, DWORD);
    auto create_link = reinterpret_cast<CreateLinkFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
    std::string windows_target = target;
    for (char& c : windows_target)
        c = c == '/' ? '\\' : c;
    if (create_link != nullptr)
        create_link(link.c_str(), windows_target.c_str(), (folder ? 1 : 0) | 2);
    if (is_host_link(link.c_str()))
        return true;
    if (!folder)
        return false;
    // A junction: a folder whose reparse point names the full path of its target.
    char full[MAX_PATH];
    std::string folder_of_link = link.substr(0, link.find_last_of("/\\") + 1);
    if (GetFullPathNameA((folder_of_link + windows_target).c_str(), MAX_PATH, full, nullptr) == 0)
        return false;
    std::wstring substitute = L"\\??\\";
    for (const char* p = full; *p != '\0'; p++)
        substitute += static_cast<wchar_t>(*p);
    CreateDirectoryA(link.c_str(), nullptr);
    HANDLE handle = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // REPARSE_DATA_BUFFER of a mount point: tag, data length, reserved; then the substitute and
    // print names' offsets and lengths, and the two names, each ending with a 0.
    std::vector<uint8_t> data(16 + (substitute.size() + 2) * 2, 0);
    const uint16_t name_bytes = static_cast<uint16_t>(substitute.size() * 2);
    const uint32_t tag = IO_REPARSE_TAG_MOUNT_POINT;
    const uint16_t fields[] = {static_cast<uint16_t>(data.size() - 8), 0, 0, name_bytes,
                               static_cast<uint16_t>(name_bytes + 2), 0};
    std::memcpy(&data[0], &tag, 4);
    std::memcpy(&data[4], fields, sizeof fields);
    std::memcpy(&data[16], substitute.c_str(), name_bytes);
    DWORD returned = 0;
    DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, data.data(), static_cast<DWORD>(data.size()),
                    nullptr, 0, &returned, nullptr);
    CloseHandle(handle);
    if (is_host_link(link.c_str()))
        return true;
    RemoveDirectoryA(link.c_str());
    return false;
}
#else
bool make_link(const std::string& link, const std::string& target, bool)
{
    return symlink(target.c_str(), link.c_str()) == 0;
}
#endif

const char* const NO_LINKS_HERE =
    "this Windows lets a test make no reparse point (Wine 8: CreateSymbolicLinkA makes nothing, "
    "FSCTL_SET_REPARSE_POINT fails); the cross check covers Wine's links to folders";

void check_links_seen(const ScratchFolder& scratch)
{
    write_text(scratch / "file.txt", "");
    write_text(scratch / "folder/inside.txt", "");
    if (!make_link(scratch / "to_folder", "folder", true))
        GTEST_SKIP() << NO_LINKS_HERE;
    EXPECT_TRUE(is_host_link((scratch / "to_folder").c_str()));
    EXPECT_TRUE(folder_exists((scratch / "to_folder").c_str()));
    EXPECT_FALSE(is_host_link((scratch / "to_folder/inside.txt").c_str()));
    EXPECT_FALSE(is_host_link((scratch / "file.txt").c_str()));
    EXPECT_FALSE(is_host_link((scratch / "folder").c_str()));
    EXPECT_FALSE(is_host_link((scratch / "missing").c_str()));
    if (make_link(scratch / "to_file", "file.txt", false)) {
        EXPECT_TRUE(is_host_link((scratch / "to_file").c_str()));
    }
}

// create_unlinked_host_file puts the file in the place of a link to a file; create_host_file
// writes where the link leads.
void check_create_unlinked(const ScratchFolder& scratch)
{
    write_text(scratch / "outside.txt", "keep");
    if (!make_link(scratch / "to_file", "outside.txt", false))
        GTEST_SKIP() << NO_LINKS_HERE;
    EXPECT_TRUE(write_with(create_host_file, scratch / "to_file", "through"));
    EXPECT_EQ("through", text_at(scratch / "outside.txt"));
    EXPECT_TRUE(write_with(create_unlinked_host_file, scratch / "to_file", "file"));
    EXPECT_FALSE(is_host_link((scratch / "to_file").c_str()));
    EXPECT_EQ("file", text_at(scratch / "to_file"));
    EXPECT_EQ("through", text_at(scratch / "outside.txt"));
}

// A link to a folder where a file goes: POSIX replaces it; Windows refuses, as no call removes
// only the link on every host (Wine's RemoveDirectoryA removes the folder it leads to).
void check_folder_link_in_a_files_place(const ScratchFolder& scratch)
{
    make_folder((scratch / "folder").c_str());
    if (!make_link(scratch / "to_folder", "folder", true))
        GTEST_SKIP() << NO_LINKS_HERE;
    const bool replaced = THIS_HOST == ON_POSIX;
    EXPECT_EQ(replaced, write_with(create_unlinked_host_file, scratch / "to_folder", "file"));
    EXPECT_EQ(!replaced, is_host_link((scratch / "to_folder").c_str()));
    EXPECT_TRUE(folder_exists((scratch / "folder").c_str()));
}

// A pack's archive through a link: POSIX replaces the file the link leads to and keeps the link;
// Windows refuses (the file it leads to cannot be named before Vista).
void check_replacement_through_link(const ScratchFolder& scratch)
{
    write_text(scratch / "archive.qbr", "earlier");
    if (!make_link(scratch / "link.qbr", "archive.qbr", false))
        GTEST_SKIP() << "this Windows lets a test make no symbolic link to a file";
    char target[HOST_PATH_CHARS];
    bool replaceable = replacement_target((scratch / "link.qbr").c_str(), target, sizeof target);
#ifdef _WIN32
    EXPECT_FALSE(replaceable);
#else
    ASSERT_TRUE(replaceable);
    EXPECT_TRUE(same_existing_file(target, (scratch / "archive.qbr").c_str()));
    EXPECT_FALSE(is_host_link(target));
    ASSERT_EQ(0, symlink("missing.qbr", (scratch / "dangling.qbr").c_str()));
    ASSERT_TRUE(replacement_target((scratch / "dangling.qbr").c_str(), target, sizeof target));
    EXPECT_EQ(scratch / "dangling.qbr", target);  // a link to nothing is replaced itself
#endif
}

// ---- POSIX alone

#ifndef _WIN32
// A pipe is read as it comes, but is no file to replace; nor is a device.
void check_pipe_and_device(const ScratchFolder& scratch)
{
    const std::string pipe = scratch / "list.pipe";
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
    std::thread writer([&] { write_text(pipe, "through the pipe"); });
    HostFile* file = open_host_file(pipe.c_str());
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(-1, host_file_size(file));
    EXPECT_EQ("through the pipe", read_all(file));
    close_host_file(file);
    writer.join();

    // A pipe where a file is created is refused without waiting for a reader, and stays.
    EXPECT_FALSE(write_with(create_unlinked_host_file, pipe, "x"));
    struct stat info;
    EXPECT_TRUE(lstat(pipe.c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
    bool exists = false;
    EXPECT_EQ(nullptr, create_new_host_file(pipe.c_str(), &exists));
    EXPECT_TRUE(exists);

    ASSERT_EQ(0, symlink("/dev/null", (scratch / "null.qbr").c_str()));
    char target[HOST_PATH_CHARS];
    for (const std::string& path : {pipe, std::string("/dev/null"), scratch / "null.qbr"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(is_regular_host_file(path.c_str()));
        EXPECT_FALSE(replacement_target(path.c_str(), target, sizeof target));
    }
    HostFile* null = open_host_file("/dev/null");
    ASSERT_NE(nullptr, null);
    EXPECT_EQ(-1, host_file_size(null));
    close_host_file(null);
    // A device (a node of the test's own, where one can be made: a fault here must not remove
    // the host's /dev/null), and a socket, where a file is created: refused and left; a link to
    // a device is replaced by the file.
    const std::string device = scratch / "null.dev";
    if (mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        EXPECT_FALSE(write_with(create_unlinked_host_file, device, "x"));
        EXPECT_TRUE(lstat(device.c_str(), &info) == 0 && S_ISCHR(info.st_mode));
    }
    EXPECT_TRUE(write_with(create_unlinked_host_file, scratch / "null.qbr", "file"));
    EXPECT_EQ("file", text_at(scratch / "null.qbr"));
    const std::string socket_path = scratch / "s.sock";
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));
    EXPECT_FALSE(write_with(create_unlinked_host_file, socket_path, "x"));
    EXPECT_TRUE(lstat(socket_path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode));
    close(listener);
}
#endif

// ---- Windows alone

#ifdef _WIN32
// Every form of a device's name, refused by every call that takes a path before anything opens,
// and names that only look like one, which reach files. A pipe of this test's own stands for the
// devices whose opening has effects: it must see no one come.
void check_device_names(const ScratchFolder& scratch)
{
    const std::string pipe = "trv-contract-" + std::to_string(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeA(("\\\\.\\pipe\\" + pipe).c_str(), PIPE_ACCESS_DUPLEX,
                                     PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 64, 64, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    write_text(scratch / "sub/kept.txt", "");
    const std::string relative[] = {
        "nul",      "NUL.qbr",      "aux.txt",  "Aux",      "con",        "CON.QBR",
        "prn.log",  "com1",         "COM9.qbr", "lpt1",     "Lpt9.txt",   "conin$",
        "CONOUT$.x", "nul:",        "aux:",     "NUL:.txt", "nul .qbr",   "sub\\nul.qbr",
        "sub/AUX.txt", "nul.txt:",  "x:nul",    "nul\\x.qbr",
    };
    std::vector<std::string> paths = {
        "C:nul",      "\\\\.\\nul",        "\\\\.\\C:",
        "//./nul",    "\\\\.\\pipe\\" + pipe, "//./pipe/" + pipe,
        "\\\\?\\nul", "\\\\?\\C:",        "\\\\?\\GLOBALROOT\\Device\\Null",
        "\\??\\nul",  "\\\\.",             "\\\\?",
    };
    for (const std::string& name : relative)
        paths.push_back(scratch / name);
    char target[HOST_PATH_CHARS];
    FileIdentity identity;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(is_device_path(path.c_str()));
        EXPECT_EQ("<none>", host_text(path));
        EXPECT_FALSE(write_with(create_host_file, path, "x"));
        EXPECT_FALSE(write_with(create_unlinked_host_file, path, "x"));
        EXPECT_FALSE(replacement_target(path.c_str(), target, sizeof target));
        EXPECT_FALSE(is_regular_host_file(path.c_str()));
        EXPECT_FALSE(get_file_identity(path.c_str(), &identity));
        EXPECT_FALSE(make_folder(path.c_str()));
    }
    EXPECT_FALSE(ConnectNamedPipe(server, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PIPE_LISTENING), GetLastError()) << "the pipe was opened";
    CloseHandle(server);

    std::string windows_scratch = scratch.path();
    for (char& c : windows_scratch)
        c = c == '/' ? '\\' : c;
    const std::string files[] = {
        scratch / "com0.qbr", scratch / "lpt10", scratch / "auxiliary.txt", scratch / "nul_",
        scratch / "a.con",    scratch / "conin", "\\\\?\\" + windows_scratch + "long.qbr",
    };
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(is_device_path(path.c_str()));
        EXPECT_TRUE(write_with(create_host_file, path, "file"));
        EXPECT_EQ("file", host_text(path));
    }
}

// A device that its name does not betray (Wine shows Unix's /dev through drive Z:) is refused
// once opened, by the type of its handle.
void check_device_handles(const ScratchFolder&)
{
    const char* const devices[] = {"Z:\\dev\\null", "Z:\\dev\\full"};
    int present = 0;
    for (const char* path : devices) {
        SCOPED_TRACE(path);
        HANDLE raw = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        if (raw == INVALID_HANDLE_VALUE)
            continue;
        bool disk = GetFileType(raw) == FILE_TYPE_DISK;
        CloseHandle(raw);
        if (disk)
            continue;
        present++;
        EXPECT_FALSE(is_device_path(path));
        HostFile* file = open_host_file(path);  // not read: /dev/full never ends
        EXPECT_EQ(nullptr, file);
        if (file != nullptr)
            close_host_file(file);
        EXPECT_FALSE(write_with(create_host_file, path, "x"));
        EXPECT_FALSE(write_with(create_unlinked_host_file, path, "x"));
        char target[HOST_PATH_CHARS];
        EXPECT_FALSE(replacement_target(path, target, sizeof target));
    }
    if (present == 0)
        GTEST_SKIP() << "no device here opens by a name that does not betray it (Wine's Z:\\dev)";
}

// A drive letter in either case, with either separator.
void check_drive_letters(const ScratchFolder& scratch)
{
    char full[MAX_PATH];
    ASSERT_NE(0u, GetFullPathNameA((scratch / "drive.txt").c_str(), MAX_PATH, full, nullptr));
    ASSERT_EQ(':', full[1]);
    std::string upper = full, lower = full, slashes = full;
    upper[0] = static_cast<char>(upper[0] & ~0x20);
    lower[0] = static_cast<char>(lower[0] | 0x20);
    for (char& c : slashes)
        c = c == '\\' ? '/' : c;
    ASSERT_TRUE(write_with(create_host_file, upper, "drive"));
    EXPECT_EQ("drive", host_text(lower));
    EXPECT_EQ("drive", host_text(slashes));
    EXPECT_TRUE(same_existing_file(upper.c_str(), slashes.c_str()));
    EXPECT_TRUE(same_existing_file(lower.c_str(), (scratch / "DRIVE.TXT").c_str()));
}

// replace_file where the running Windows lacks MoveFileExA, as the 95 family does.
void check_replace_without_move_file_ex(const ScratchFolder& scratch)
{
    ASSERT_TRUE(hide_host_function("MoveFileExA", true));
    check_replace(scratch);
    EXPECT_TRUE(hide_host_function("MoveFileExA", false));
    EXPECT_FALSE(hide_host_function("NoSuchFunction", true));
}

// A volume that numbers every file 0 knows no file by two paths, and never takes two for one.
void check_identity_without_file_index(const ScratchFolder& scratch)
{
    write_text(scratch / "a.txt", "a");
    write_text(scratch / "b.txt", "b");
    const std::string a = scratch / "a.txt";
    hide_file_index(true);
    FileIdentity identity;
    EXPECT_TRUE(get_file_identity(a.c_str(), &identity));
    EXPECT_FALSE(same_existing_file(a.c_str(), a.c_str()));
    EXPECT_FALSE(same_existing_file(a.c_str(), (scratch / "b.txt").c_str()));
    hide_file_index(false);
    EXPECT_TRUE(same_existing_file(a.c_str(), a.c_str()));
}

// What the Windows host takes a path for, by its attributes: the decision behind is_host_link,
// create_unlinked_host_file, replacement_target and folder_exists.
void check_attributes(const ScratchFolder&)
{
    const struct {
        uint32_t attributes;
        HostEntry expected;
    } cases[] = {
        {INVALID_FILE_ATTRIBUTES, HOST_NOTHING},
        {FILE_ATTRIBUTE_NORMAL, HOST_FILE},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, HOST_FILE},
        {FILE_ATTRIBUTE_DIRECTORY, HOST_FOLDER},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, HOST_FOLDER},
        // A symbolic link to a folder, or a junction (as Wine 8 shows a Unix link to a folder).
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, HOST_FOLDER_LINK},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, HOST_FILE_LINK},
        {FILE_ATTRIBUTE_REPARSE_POINT, HOST_FILE_LINK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        EXPECT_EQ(c.expected, host_entry_of(c.attributes));
    }
}
#endif

void not_here(const ScratchFolder&) {}

#ifdef _WIN32
#define POSIX_ONLY(check) not_here
#define WINDOWS_ONLY(check) check
#else
#define POSIX_ONLY(check) check
#define WINDOWS_ONLY(check) not_here
#endif

const ContractRow rows[] = {
    {"OpenReadsExistingFilesOnly", ON_EVERY_HOST, "", check_open},
    {"CreateMakesOrEmptiesAFile", ON_EVERY_HOST, "", check_create},
    {"ReadsAreShortAtTheEndAndFailVisibly", ON_EVERY_HOST, "", check_reads},
    {"PositionedReadLeavesThePositionAlone", ON_EVERY_HOST, "", check_positioned_read},
    {"SizeOfAFile", ON_EVERY_HOST, "", check_size},
    {"ReplaceFilePutsAFileInPlace", ON_EVERY_HOST, "", check_replace},
    {"IdentityKnowsAFileByEverySpelling", ON_EVERY_HOST, "", check_identity},
    {"FoldersAreMadeOnceAndSeen", ON_EVERY_HOST, "", check_folders},
    {"MemoryBlocksGrowAndKeepTheirBytes", ON_EVERY_HOST, "", check_memory},
    {"CreateNewMakesAFileWhereNothingStands", ON_EVERY_HOST, "", check_create_new},
    {"CreateUnlinkedReplacesAHardLinkedFile", ON_EVERY_HOST, "", check_create_unlinked_hard_link},
    {"LinksAreSeen", ON_EVERY_HOST, "", check_links_seen},
    {"CreateUnlinkedReplacesALinkCreateFollowsIt", ON_EVERY_HOST, "", check_create_unlinked},
    {"ALinkToAFolderWhereAFileGoes", ON_EVERY_HOST, "", check_folder_link_in_a_files_place},
    {"ArchiveThroughALink", ON_EVERY_HOST, "", check_replacement_through_link},
    {"PipesAreReadButNeverReplacedOrWrittenTo", ON_POSIX,
     "a Windows path reaches a pipe only as \"\\\\.\\pipe\\\", a device name",
     POSIX_ONLY(check_pipe_and_device)},
    {"DeviceNamesAreRefusedBeforeAnythingOpens", ON_WINDOWS,
     "POSIX has no device names: nul and com1 are files there, /dev/... is a folder",
     WINDOWS_ONLY(check_device_names)},
    {"DeviceHandlesAreRefused", ON_WINDOWS,
     "a POSIX host opens devices (the tests' full disk is /dev/full)",
     WINDOWS_ONLY(check_device_handles)},
    {"DriveLettersInEitherCaseAndSeparator", ON_WINDOWS, "POSIX paths have no drive letters",
     WINDOWS_ONLY(check_drive_letters)},
    {"ReplaceFileWithoutAtomicRename", ON_WINDOWS,
     "rename(2) replaces in one step on every POSIX host",
     WINDOWS_ONLY(check_replace_without_move_file_ex)},
    {"IdentityWithoutAFileIndex", ON_WINDOWS, "every POSIX file system numbers its files",
     WINDOWS_ONLY(check_identity_without_file_index)},
    {"LinksAreTakenFromTheAttributes", ON_WINDOWS, "file attributes belong to the Win32 API",
     WINDOWS_ONLY(check_attributes)},
};

// The row's name in the test's name and in GoogleTest's reports.
void PrintTo(const ContractRow& row, std::ostream* out) { *out << row.name; }

class HostFilesContract : public ::testing::TestWithParam<ContractRow> {};

TEST_P(HostFilesContract, Holds)
{
    const ContractRow& row = GetParam();
    if ((row.hosts & THIS_HOST) == 0)
        GTEST_SKIP() << row.elsewhere;
    ScratchFolder scratch;
    row.check(scratch);
}

INSTANTIATE_TEST_SUITE_P(Rows, HostFilesContract, ::testing::ValuesIn(rows),
                         [](const ::testing::TestParamInfo<ContractRow>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
