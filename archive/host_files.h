// host_files.h -- the few file-system calls the archive library needs beyond standard C streams.
//
// Paths are kept as the archive's users write them, with "\" between folders. These functions
// are the only place where such a path meets the host: on a POSIX host "\" becomes "/" for the
// duration of the call, and the caller's text is never changed.

#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// True for the characters that separate folders in a stored or typed path: "\" and "/", on
// every host, so that a list means the same on Linux and on Windows (whose file calls take both).
bool is_folder_separator(char c);

// fopen with the host's separator.
FILE* open_host_file(const char* path, const char* mode);

// Creates `path` anew, or empties it, for writing ("wb"). Never writes through a link: a link in
// the file's place is replaced by the file, as an archiver does. Null on failure.
FILE* create_host_file(const char* path);

// True when `path` is a symbolic link (never on Windows, whose links the library does not meet).
bool is_host_link(const char* path);

// The file that writing a new `path` in one step should replace: `path` itself, or the regular
// file a link at `path` leads to, so that the link stays. False when `path` exists and is not a
// regular file (a folder, a device, a pipe).
bool replacement_target(const char* path, std::string* target);

// Creates one folder. False when it could not be created, also when it exists already.
bool make_folder(const char* path);

// True when `path` (or what a link at it leads to) is a regular file: one that can be opened and
// read at any time without waiting for another program, unlike a pipe or a device.
bool is_regular_host_file(const char* path);

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

// True when both identities are known to be one file; file number 0 is not known.
bool same_file_identity(const FileIdentity& a, const FileIdentity& b);

// True when both paths name one existing file (the same file reached through different
// spellings or links). False when either does not exist.
bool same_existing_file(const char* a, const char* b);
