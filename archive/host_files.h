// host_files.h -- everything the archive library needs of the host: files, folders, links,
// identities and memory. One implementation on POSIX calls (host_files_posix.cpp) and one on the
// Win32 API (host_files_win32.cpp); the rest of the library reaches the host only through here.
//
// Paths are kept as the archive's users write them, with "\" between folders. These functions
// are the only place where such a path meets the host: on a POSIX host "\" becomes "/" for the
// duration of the call, and the caller's text is never changed.
//
// Devices: on Windows every call here that takes a path refuses one that reaches a device, before
// anything is opened (opening COM1 can block or have effects): a name that Windows takes for a
// device in any folder (is_windows_device_name) and the device namespace ("\\.\", "\\?\" other
// than a drive's or a share's path). The calls that open a file then refuse a handle that is not a
// disk file. A POSIX host opens pipes and devices (a list may come through a pipe), and only
// replacement_target refuses them.
//
// Links: a symbolic link on POSIX; on Windows a reparse point (a junction, or a symbolic link to
// a file or a folder), which the 95 family never reports.

#pragma once

#include <cstddef>
#include <cstdint>

enum {
    HOST_FILE_BUFFER_BYTES = 4096,  // a HostFile's own buffer, for small reads and writes
    HOST_PATH_CHARS = 4096,         // the longest path the host layer takes or gives, with its 0
};

// An open file, read or written through its buffer. Reads and writes of a buffer's size or more
// go to the host directly when the buffer is empty. Owned by whoever opened it, until
// close_host_file.
struct HostFile {
    intptr_t handle;   // a descriptor, or a HANDLE
    const char* path;  // as it was opened, a copy kept behind the record: for note_host_failure
    bool writing;
    bool failed;       // a read or write failed; closing a writer reports it
    size_t next;       // reading: the first unread byte of `buffer`
    size_t end;        // reading: the end of the bytes read into `buffer`; writing: bytes held
    int64_t fault_left;  // for the tests (fail_host_file_after): bytes the file still moves
                         // before it gives out; -1 for every other file
    uint8_t buffer[HOST_FILE_BUFFER_BYTES];
};

// Opens an existing file for reading; null on failure, for a folder, and on Windows for a device.
HostFile* open_host_file(const char* path);

// Creates `path` anew, or empties it, for writing; a link at `path` is followed, as the host
// does. Null on failure, and on Windows for a device.
HostFile* create_host_file(const char* path);

// Creates a new file in the place of what stood at `path`, as an archiver does when it extracts:
// a file or a link to anything there is removed first (its name only: a file it shares its content
// with, by a hard link, and what a link leads to keep theirs), and the file is then created where
// nothing may stand. Never writes through a link, never empties an existing file, never opens a
// pipe, a socket or a device, and refuses one at `path` without waiting. Null on failure, also for
// a folder. (Windows refuses a link to a folder there.)
HostFile* create_unlinked_host_file(const char* path);

// Creates `path` where nothing stands, never following a link or opening what exists. Null on
// failure, with `*exists` set when something (a file, a folder, a link even to nothing) stands
// there already.
HostFile* create_new_host_file(const char* path, bool* exists);

// Reads up to `size` bytes: the number read (fewer only where one read of the host gave fewer),
// 0 at the end of the file, -1 when the read failed.
int64_t read_host_file(HostFile* file, uint8_t* bytes, size_t size);

// The next byte, or -1 at the end of the file or on a failure (`failed` tells which).
inline int read_host_byte(HostFile* file)
{
    if (file->next == file->end) {
        int64_t read = read_host_file(file, file->buffer, HOST_FILE_BUFFER_BYTES);
        if (read <= 0)
            return -1;
        file->next = 0;
        file->end = static_cast<size_t>(read);
    }
    return file->buffer[file->next++];
}

// Writes `size` bytes; false when they could not all be written (also recorded in `failed`).
bool write_host_file(HostFile* file, const uint8_t* bytes, size_t size);

// Writes what the buffer holds to the file (the host may keep it in its cache for a while);
// false on failure.
bool flush_host_file(HostFile* file);

// Flushes a writer, closes the file and releases the record, whatever happens on the way. False
// when any byte written failed to reach the file, or the host failed to close it.
bool close_host_file(HostFile* file);

// The size of an open file, or -1 when it has none that can be trusted (a pipe, a device).
int64_t host_file_size(HostFile* file);

// Reads `size` bytes at `offset` without moving the file's own position; false unless all of
// them were read.
bool read_host_file_at(HostFile* file, int64_t offset, uint8_t* bytes, size_t size);

// True when the two texts are the same, byte for byte (strcmp's 0, where setup has no C library).
bool same_text(const char* a, const char* b);

// True for the characters that separate folders in a stored or typed path: "\" and "/", on
// every host, so that a list means the same on Linux and on Windows (whose file calls take both).
bool is_folder_separator(char c);

// True when `path` is a link itself, whatever it leads to.
bool is_host_link(const char* path);

// True when the path name [begin, end), one folder or file name of a path, is a name that Windows
// takes for a device whatever folder it stands in: CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to
// LPT9, CONIN$ and CONOUT$, in any case, alone or before an extension or a colon, with blanks
// before either ("nul", "Aux.txt", "nul:", "NUL:.txt", "com1 .log"). Text behind a colon counts
// as a name of its own ("c:nul").
bool is_windows_device_name(const char* begin, const char* end);

// True when `path` (or what a link at it leads to) is a regular file: one that can be opened and
// read at any time without waiting for another program, unlike a pipe or a device.
bool is_regular_host_file(const char* path);

// Writes into `target` (of `capacity` characters) the file that writing a new `path` in one step
// should replace: `path` itself, or on POSIX the regular file a link at `path` leads to, so that
// the link stays. False when `path` exists and is not a regular file (a folder, a device, a pipe,
// on Windows also a link), or when the name does not fit.
bool replacement_target(const char* path, char* target, size_t capacity);

// Creates one folder. False when it could not be created, also when it exists already.
bool make_folder(const char* path);

// True when `path` names an existing folder.
bool folder_exists(const char* path);

// Puts the file at `from` in place of `to`, replacing an existing `to` in one step where the host
// allows it. False when nothing was moved.
bool replace_file(const char* from, const char* to);

// Writing a file that replaces another in one step: the new bytes go to a partial file beside
// the target, which takes the target's place only when all of them were written.
//
// create_partial_file creates TARGET.partial, else TARGET.partial2 up to TARGET.partial99, where
// nothing stands (create_new_host_file): what stands at such a name (a leftover of a writer that
// was killed, or a link) is neither followed, nor emptied, nor removed. Its name goes into
// `partial` (of HOST_PATH_CHARS). Null when none could be created.
HostFile* create_partial_file(const char* target, char* partial);

// Ends a partial file once it is closed: when `written`, puts it in place of `target`
// (replace_file); otherwise, or when that fails, removes it. True when it took the target's place.
bool finish_partial_file(const char* partial, const char* target, bool written);

// Deletes a file; false when it could not be deleted.
bool remove_host_file(const char* path);

// What tells one existing file from another, whatever path reaches it: its volume (device) and
// its number there.
struct FileIdentity {
    uint64_t volume;
    uint64_t index;
};

// The identity of the existing file at `path`; false when there is none.
bool get_file_identity(const char* path, FileIdentity* identity);

// True when both identities are known to be one file; file number 0 is not known.
bool same_file_identity(const FileIdentity& a, const FileIdentity& b);

// True when both paths name one existing file (the same file reached through different
// spellings or links). False when either does not exist.
bool same_existing_file(const char* a, const char* b);

// A block of `size` bytes from the host's heap, or null; released with host_release.
void* host_allocate(size_t size);
void host_release(void* block);

// `count` records of `size` bytes each from host_allocate, all zero; null when memory is short.
void* host_allocate_zeroed(size_t count, size_t size);

// Bytes appended one run after another to a block on the host's heap, which grows as needed.
// All zero when empty; its owner releases `bytes` with host_release.
struct GrowingBlock {
    uint8_t* bytes;
    size_t used;
    size_t capacity;
};

// Appends `size` bytes; false when memory is short (the block is then unchanged).
bool append_to_block(GrowingBlock* block, const void* bytes, size_t size);

// ---- why the host failed, for the tools' messages
//
// Each call of this layer that fails notes what it was asked to do, the path (as the library
// spells it) and the host's code (errno; GetLastError() on Windows), also where it refuses on
// its own (a folder or a pipe where a file is wanted: the code the host gives for such a case).
// The last failure of each kind is kept: an operation may fail on its way and go on (the folders
// of an entry are tried from the deepest up; a partial file's name is taken), and a worker may
// fail while the calling thread goes on, so the failure that ended an operation is the last one
// of its kind, with its path. Threads may note at once. Each operation forgets what was noted
// before it opens its list and archive; its result says no more than before.

enum HostCall {
    HOST_OPEN,         // opening a file to read
    HOST_CREATE,       // creating a file to write
    HOST_READ,
    HOST_WRITE,        // also flushing and closing a written file
    HOST_MAKE_FOLDER,
    HOST_ALLOCATE,     // memory: no path
    HOST_CALLS
};

struct HostFailure {
    HostCall call;
    uint32_t code;               // errno, or GetLastError()
    uint32_t order;              // the failures are numbered as they are noted, from 1
    char path[HOST_PATH_CHARS];  // cut to fit; empty for HOST_ALLOCATE
};

// Forgets every failure noted so far.
void forget_host_failures();

// The last failure of `call` since the last forget_host_failures; false when there was none.
bool last_host_failure(HostCall call, HostFailure* failure);

// The host's words for the failure's code, without a line end ("No such file or directory";
// Windows' system message), into `text` of `capacity` characters, cut to fit.
void host_failure_reason(const HostFailure& failure, char* text, size_t capacity);

// The separator this host writes between folders: "/" on POSIX, "\" on Windows.
char host_folder_separator();

// From now on a write to a pipe whose reader has gone fails (EPIPE) instead of ending the
// process, as POSIX does by default; Windows has nothing to change.
void fail_writes_to_broken_pipes();
