// win_test_support.cpp -- helpers of the tests that run in-process under Windows or Wine.

#include "support/win_test_support.h"

std::string win_path(const std::string& path)
{
    std::string result = path;
    for (char& c : result) {
        if (c == '/')
            c = '\\';
    }
    return result;
}

bool enter_folder(const std::string& folder, std::string* previous)
{
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current)
        return false;
    *previous = current;
    return SetCurrentDirectoryA(win_path(folder).c_str()) != 0;
}

HANDLE hold_exclusively(const std::string& path)
{
    return CreateFileA(win_path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
