// host_handles.h -- the host's calls on an open file's handle, under the buffering of
// host_files.cpp; host_files_posix.cpp and host_files_win32.cpp implement them. Also what the
// Windows host shows its tests: how it reads paths and file attributes, and the switches that run
// its fallbacks.

#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/host_files.h"

// One read of up to `size` bytes: the number read, 0 at the end of the file, -1 on failure.
int64_t read_handle(intptr_t handle, uint8_t* bytes, size_t size);

// Writes all `size` bytes; false when they could not all be written.
bool write_handle(intptr_t handle, const uint8_t* bytes, size_t size);

// Closes the handle; false when the host reported a failure.
bool close_handle(intptr_t handle);

// A new HostFile record around a handle opened at `path`, or null (the handle is then closed).
HostFile* new_host_file(intptr_t handle, bool writing, const char* path);

// Notes a failure of `call` at `path` (null for none) with the host's `code`, as the last of
// its kind (host_files.h).
void note_host_failure(HostCall call, const char* path, uint32_t code);

// The host's code for the last failed call of this thread: errno, or GetLastError().
uint32_t last_host_error();

// The code of a disk that gives out (EIO; ERROR_READ_FAULT or ERROR_WRITE_FAULT), for the tests'
// faults (fail_host_file_after).
uint32_t failing_disk_error(bool writing);

// For the tests only: from now on the library's allocations (host_allocate) are counted, and the
// `failing`-th of them (1 the next one, 0 none) is refused as by a heap that has run out.
void fail_host_allocation(unsigned long failing);

// The allocations counted since the last fail_host_allocation.
unsigned long counted_host_allocations();

// Counts an allocation; true when it is the one to refuse. Each host's host_allocate asks first.
bool host_allocation_refused();

// For the tests only: every file opened from now on at `path` (as the library spells it) gives
// out after `bytes` bytes, as a disk with a bad sector or a lost share does: its reads in order
// (read_host_file) fail once that many bytes have been read, and its writes once that many have
// been written, the bytes within them landing. A null `path` ends it; until then the caller keeps
// `path`.
void fail_host_file_after(const char* path, int64_t bytes);

#ifdef _WIN32
// True when `path` reaches a device on Windows rather than a file or folder: a name of it is one
// that Windows takes for a device (is_windows_device_name), or it lies in the device namespace
// ("\\.\", and "\\?\" or "\??\" other than before a drive's folder or a share). Every call of
// the host that takes a path asks this before it opens anything.
bool is_device_path(const char* path);

// What stands at a path on Windows, told by its file attributes (GetFileAttributesA): a link is
// a reparse point (a junction, or a symbolic link to a file or a folder), which the 95 family never
// reports.
enum HostEntry {
    HOST_NOTHING,      // INVALID_FILE_ATTRIBUTES: nothing there, or nothing the host can name
    HOST_FILE,
    HOST_FOLDER,
    HOST_FILE_LINK,    // DeleteFileA deletes the link and not its file
    HOST_FOLDER_LINK,
};
HostEntry host_entry_of(uint32_t attributes);

// For the tests only: the Windows host acts as if the running Windows lacked `function`, one of
// the functions it looks up at run time ("MoveFileExA"), and takes its fallback. False when it
// looks up no function of that name.
bool hide_host_function(const char* function, bool hidden);

// For the tests only: the Windows host acts as if every volume numbered its files 0, as some
// network volumes do; then no two paths are known to reach one file.
void hide_file_index(bool hidden);
#endif
