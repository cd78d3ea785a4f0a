// host_files.h -- the few file-system calls the archive library needs beyond standard C streams.
//
// Paths are kept as the archive's users write them, with "\" between folders. These functions
// are the only place where such a path meets the host: on a POSIX host "\" becomes "/" for the
// duration of the call, and the caller's text is never changed.

#pragma once

#include <cstdint>
#include <cstdio>

// True for the characters that separate folders in a stored or typed path on this host:
// "\" everywhere, and "/" as well on a POSIX host.
bool is_folder_separator(char c);

// fopen with the host's separator.
FILE* open_host_file(const char* path, const char* mode);

// Creates one folder. False when it could not be created, also when it exists already.
bool make_folder(const char* path);

// True when `path` names an existing folder.
bool folder_exists(const char* path);

// Puts the file at `from` in place of `to`, replacing an existing `to` in one step where the host
// allows it. False when nothing was moved.
bool replace_file(const char* from, const char* to);

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

bool same_file_identity(const FileIdentity& a, const FileIdentity& b);

// True when both paths name one existing file (the same file reached through different
// spellings or links). False when either does not exist.
bool same_existing_file(const char* a, const char* b);
