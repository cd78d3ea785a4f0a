// win95_probe_import.cpp -- a program built as setup.exe is that imports GetDiskFreeSpaceExA,
// which retail Windows 95 does not export: with the Windows 95 layer it must not start.

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ULARGE_INTEGER available, total, free;
    return GetDiskFreeSpaceExA("C:\\", &available, &total, &free) ? 0 : 1;
}
