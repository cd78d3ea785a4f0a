// host_handles.h -- the host's calls on an open file's handle, under the buffering of host_files.cpp;
// host_files_posix.cpp and host_files_win32.cpp implement them.

#pragma once

#include <cstddef>
#include <cstdint>

// One read of up to `size` bytes: the number read, 0 at the end of the file, -1 on failure.
int64_t read_handle(intptr_t handle, uint8_t* bytes, size_t size);

// Writes all `size` bytes; false when they could not all be written.
bool write_handle(intptr_t handle, const uint8_t* bytes, size_t size);

// Closes the handle; false when the host reported a failure.
bool close_handle(intptr_t handle);

// A new HostFile record around an open handle, or null (the handle is then closed).
struct HostFile;
HostFile* new_host_file(intptr_t handle, bool writing);
