// drive_utils.h -- the platform calls the installation shares: file tests and loading, drives,
// free space, joining path parts and ordering names. No state, no messages.

#pragma once

#include <cstddef>
#include <cstdint>

// True when the file can be opened for reading (a file held exclusively counts as missing).
bool file_exists(const char* file_name);

// The whole file in one locked movable memory block of exactly its size, and that size in
// `bytes` (may be null). Null when the file cannot be opened, is empty, or cannot be allocated,
// locked or read whole. The owner unlocks and frees the block (GlobalHandle of the pointer).
void* load_whole_file(const char* file_name, uint32_t* bytes);

// Releases a block from load_whole_file; does nothing for null.
void free_whole_file(void* block);

// The platform's drive type of the root of `letter`.
unsigned drive_type_of(char letter);

// The first letter from C to Z whose drive has `drive_type`; C when none has.
char find_drive_of_type(unsigned drive_type);

// Free bytes on the drive of `path` (only its root is asked), or -1 when the query fails.
int64_t free_disk_bytes(const char* path);

// The same as a signed 32-bit count, clamped to 2147483647; -1 when the query fails.
int32_t free_disk_space(const char* path);

// Appends "\" (unless `path` is empty or already ends with "\" or "/") and `name` to `path`,
// then a second NUL. False, with `path` unchanged, when that does not fit `capacity` bytes.
bool append_path_component(char* path, size_t capacity, const char* name);

// Compares two NUL-terminated names by length, shorter first: negative, zero or positive. Its
// arguments point at the names themselves, so it sorts a table of fixed-size name rows
// (sort_rows).
int shorter_name_first(const void* a, const void* b);
