// stand_in_game.cpp -- a stand-in for the game's executables, so that the sample patch ships
// real programs that setup can install and start.
//
// Built twice: TRV_HARDWARE_ACCELERATED=1 gives trv99hw.exe, =0 gives trv99sw.exe. On start the
// program appends "<its executable name>\t<its current folder>\r\n" to "launch.log" in its
// current folder; that line is how tests see which version was started, and where. Then it
// shows a window until it is closed or Escape is pressed. With "/quit" on the command line it
// writes the line and ends at once, without a window, so that it can run headless.

#include <cstdio>
#include <cstring>

#include <windows.h>

#ifndef TRV_HARDWARE_ACCELERATED
#error "define TRV_HARDWARE_ACCELERATED as 1 (trv99hw.exe) or 0 (trv99sw.exe)"
#endif

#if TRV_HARDWARE_ACCELERATED
#define GAME_VERSION_NAME "hardware-accelerated version"
#else
#define GAME_VERSION_NAME "software version"
#endif

static const char WINDOW_CLASS[] = "Trv99StandInGame";
static const char WINDOW_TITLE[] = "TRV 99 (" GAME_VERSION_NAME ")";
static const char RUNNING_TEXT[] = "TRV 99 - " GAME_VERSION_NAME " is running";
static const char LAUNCH_LOG[] = "launch.log";

// The file name part of this program's path, e.g. "trv99hw.exe".
static bool get_executable_name(char* name, size_t capacity)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return false;
    const char* base = path;
    for (const char* c = path; *c; c++) {
        if (*c == '\\' || *c == '/')
            base = c + 1;
    }
    int n = std::snprintf(name, capacity, "%s", base);
    return n > 0 && n < (int)capacity;
}

static bool append_launch_line()
{
    char name[MAX_PATH];
    char folder[MAX_PATH];
    DWORD folder_length = GetCurrentDirectoryA(sizeof folder, folder);
    if (!get_executable_name(name, sizeof name) || folder_length == 0 ||
        folder_length >= sizeof folder)
        return false;

    char line[2 * MAX_PATH + 4];
    int n = std::snprintf(line, sizeof line, "%s\t%s\r\n", name, folder);
    if (n < 0 || n >= (int)sizeof line)
        return false;

    HANDLE log = CreateFileA(LAUNCH_LOG, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(log, line, (DWORD)n, &written, nullptr);
    return CloseHandle(log) && ok && written == (DWORD)n;
}

static void on_paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    DrawTextA(dc, RUNNING_TEXT, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(window, &paint);
}

static LRESULT CALLBACK game_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_PAINT:
        on_paint(window);
        return 0;
    case WM_KEYDOWN:
        if (wparam == VK_ESCAPE)
            PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

static HWND create_game_window(HINSTANCE instance, int show)
{
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = game_window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    window_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    window_class.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassA(&window_class))
        return nullptr;
    HWND window = CreateWindowExA(0, WINDOW_CLASS, WINDOW_TITLE, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr, nullptr,
                                  instance, nullptr);
    if (window) {
        ShowWindow(window, show);
        UpdateWindow(window);
    }
    return window;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show)
{
    bool logged = append_launch_line();
    if (std::strstr(command_line, "/quit"))
        return logged ? 0 : 1;

    if (!create_game_window(instance, show))
        return 2;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return logged ? 0 : 1;
}
