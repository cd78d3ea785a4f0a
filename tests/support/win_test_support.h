// win_test_support.h -- helpers of the tests that run in-process under Windows or Wine.

#pragma once

#include <string>

#include <windows.h>

// The path with "\" for every "/".
std::string win_path(const std::string& path);

// Makes `folder` the current folder and keeps the one before in `previous`.
bool enter_folder(const std::string& folder, std::string* previous);

// Opens `path` for reading and writing without sharing; INVALID_HANDLE_VALUE on failure.
HANDLE hold_exclusively(const std::string& path);
