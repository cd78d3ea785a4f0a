// window_driver.cpp -- starts a program and works its windows from outside: finds them by title,
// clicks buttons, types into fields, answers message boxes and takes screenshots.

#include "dialog_driver/window_driver.h"

#include <cstdio>
#include <cstring>

#include <commctrl.h>

#ifdef TRV_WIN95_LAYER
#include "win95/win95_inject.h"
#endif

const char MAIN_DIALOG_TITLE[] = "Windows 95 TRV99 Patch Install";
const char INSTALL_DIALOG_TITLE[] = "TRV99 Patch v 1.1 Install";
const char MESSAGE_BOX_TITLE[] = "TRV 99";

static const DWORD POLL_MS = 50;
static const int MESSAGE_BOX_TEXT_ID = 0xFFFF;

bool start_program(const std::string& exe_path, const std::string& folder,
                   DrivenProgram* program)
{
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    char command_line[MAX_PATH + 3];
    int n = std::snprintf(command_line, sizeof command_line, "\"%s\"", exe_path.c_str());
    if (n < 0 || n >= (int)sizeof command_line)
        return false;
#ifdef TRV_WIN95_LAYER
    if (win95_rules_on()) {
        program->running = start_with_win95_rules(command_line, folder.c_str(), true, FALSE,
                                                  &program->info);
        return program->running;
    }
#endif
    program->running = CreateProcessA(exe_path.c_str(), command_line, nullptr, nullptr, FALSE, 0,
                                      nullptr, folder.c_str(), &startup, &program->info) != 0;
    return program->running;
}

int64_t wait_for_exit(const DrivenProgram& program, DWORD timeout_ms)
{
    if (!program.running || WaitForSingleObject(program.info.hProcess, timeout_ms) != WAIT_OBJECT_0)
        return DRIVER_STILL_RUNNING;
    DWORD code;
    if (!GetExitCodeProcess(program.info.hProcess, &code))
        return DRIVER_STILL_RUNNING;
    return (int64_t)code;
}

void end_program(DrivenProgram* program)
{
    if (!program->running)
        return;
    if (WaitForSingleObject(program->info.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(program->info.hProcess, 1);
        WaitForSingleObject(program->info.hProcess, DRIVER_WAIT_MS);
    }
    CloseHandle(program->info.hThread);
    CloseHandle(program->info.hProcess);
    program->running = false;
}

struct WindowSearch {
    DWORD process_id;
    const char* title;
    HWND found;
};

static BOOL CALLBACK match_window(HWND window, LPARAM lparam)
{
    WindowSearch* search = (WindowSearch*)lparam;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process_id || !IsWindowVisible(window))
        return TRUE;
    char title[256];
    if (GetWindowTextA(window, title, sizeof title) <= 0 || std::strcmp(title, search->title) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND find_window(DWORD process_id, const char* title)
{
    WindowSearch search = {process_id, title, nullptr};
    EnumWindows(match_window, (LPARAM)&search);
    return search.found;
}

HWND wait_for_window(const DrivenProgram& program, const char* title)
{
    if (!program.running)
        return nullptr;
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = find_window(program.info.dwProcessId, title);
        if (window != nullptr)
            return window;
        if (GetTickCount() - start > DRIVER_WAIT_MS)
            return nullptr;
        if (WaitForSingleObject(program.info.hProcess, POLL_MS) == WAIT_OBJECT_0)
            return nullptr;
    }
}

bool wait_until_gone(HWND window)
{
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start > DRIVER_WAIT_MS)
            return false;
        Sleep(POLL_MS);
    }
    return true;
}

// Posts what a click on `button` sends its dialog; false when no user could click it.
static bool post_click(HWND dialog, HWND button, int id)
{
    if (button == nullptr || !IsWindowVisible(button) || !IsWindowEnabled(button) ||
        !IsWindowEnabled(dialog))
        return false;
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button) != 0;
}

bool click_button(HWND dialog, int id) { return post_click(dialog, GetDlgItem(dialog, id), id); }

static std::string window_text(HWND window)
{
    char text[1024];
    DWORD_PTR copied = 0;
    if (window == nullptr ||
        !SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_NORMAL,
                             DRIVER_WAIT_MS, &copied))
        return std::string();
    return std::string(text, copied < sizeof text ? (size_t)copied : 0);
}

std::string control_text(HWND dialog, int id) { return window_text(GetDlgItem(dialog, id)); }

bool set_control_text(HWND dialog, int id, const std::string& text)
{
    HWND control = GetDlgItem(dialog, id);
    DWORD_PTR result = 0;
    return control != nullptr && IsWindowEnabled(control) &&
           SendMessageTimeoutA(control, WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_NORMAL,
                               DRIVER_WAIT_MS, &result) &&
           result == TRUE;
}

static BOOL CALLBACK keep_longest_static_text(HWND child, LPARAM lparam)
{
    char class_name[32];
    if (GetClassNameA(child, class_name, sizeof class_name) > 0 &&
        lstrcmpiA(class_name, "Static") == 0) {
        std::string* longest = (std::string*)lparam;
        std::string text = window_text(child);
        if (text.size() > longest->size())
            *longest = text;
    }
    return TRUE;
}

std::string message_box_text(HWND box)
{
    HWND text = GetDlgItem(box, MESSAGE_BOX_TEXT_ID);
    if (text != nullptr)
        return window_text(text);
    std::string longest;
    EnumChildWindows(box, keep_longest_static_text, (LPARAM)&longest);
    return longest;
}

bool answer_message_box(HWND box, int button_id)
{
    return post_click(box, GetDlgItem(box, button_id), button_id) && wait_until_gone(box);
}

// ---- progress bars

// How a watch reads the bar. The program answers a message sent to its window only where it
// takes messages: setup's install answers in the pump that follows each step of the bar, so
// every reading is the bar between two steps.
//
// The last step is followed by one pump, and then the dialog is destroyed without another, so
// whether a reading is under way at that moment is luck. The final reading is therefore taken
// elsewhere: the watch puts a hidden child window of its own thread on top of the dialog's
// children. Destroying the dialog sends WM_DESTROY to its children from the top down, so to that
// window before the bar (which answers nothing once it has had its own); and a thread that sends
// a message to another thread's window answers the messages sent to it while it waits for the
// reply. So the watch's WM_DESTROY, run while the program waits for it, reads the bar after its
// last step, every time.
struct ProgressWatch {
    HWND dialog;
    HWND bar;
    HANDLE thread;
    HANDLE ready;
    volatile LONG stop;  // set when the watch is ended
    bool stopping;       // the watch destroys its own window: that is no final reading
    ProgressReadings readings;
};

static const char PROBE_CLASS[] = "TrvProgressProbe";

// The bar's range and position, each asked without a pointer into the driver (PBM_GETRANGE
// with wParam TRUE gives the low limit, FALSE the high one); false when it did not answer.
static bool read_bar(HWND bar, int* low, int* high, int* position)
{
    DWORD_PTR values[3];
    const struct {
        UINT message;
        WPARAM wparam;
    } asks[] = {{PBM_GETRANGE, TRUE}, {PBM_GETRANGE, FALSE}, {PBM_GETPOS, 0}};
    for (int i = 0; i < 3; i++) {
        if (!SendMessageTimeoutA(bar, asks[i].message, asks[i].wparam, 0, SMTO_NORMAL,
                                 DRIVER_WAIT_MS, &values[i]))
            return false;
    }
    *low = (int)values[0];
    *high = (int)values[1];
    *position = (int)values[2];
    return true;
}

static LRESULT CALLBACK probe_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    ProgressWatch* watch = (ProgressWatch*)GetWindowLongPtrA(window, GWLP_USERDATA);
    if (message == WM_DESTROY && watch != nullptr && !watch->stopping) {
        ProgressReadings& r = watch->readings;
        if (!read_bar(watch->bar, &r.final_low, &r.final_high, &r.final_position))
            r.final_low = r.final_high = r.final_position = -1;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

static void note_reading(ProgressReadings* r, int low, int high, int position)
{
    if ((r->readings > 0 && position < r->last_position) || position < low || position > high)
        r->in_order = false;
    r->last_position = position;
    r->readings++;
}

static DWORD WINAPI watch_bar(void* value)
{
    ProgressWatch* watch = (ProgressWatch*)value;
    HWND probe = CreateWindowExA(WS_EX_NOPARENTNOTIFY, PROBE_CLASS, "", WS_CHILD, 0, 0, 0, 0,
                                 watch->dialog, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (probe != nullptr) {
        SetWindowLongPtrA(probe, GWLP_USERDATA, (LONG_PTR)watch);
        SetWindowPos(probe, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    SetEvent(watch->ready);
    DWORD start = GetTickCount();
    while (probe != nullptr && !watch->stop && IsWindow(watch->dialog) &&
           GetTickCount() - start < 300000) {
        int low, high, position;
        // A bar whose high limit reads 0 has been destroyed: the control answers no more.
        if (IsWindow(watch->bar) && read_bar(watch->bar, &low, &high, &position) && high != 0)
            note_reading(&watch->readings, low, high, position);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
    }
    if (probe != nullptr && IsWindow(probe)) {
        watch->stopping = true;
        DestroyWindow(probe);
    }
    return 0;
}

ProgressWatch* watch_progress_bar(HWND dialog, int id)
{
    WNDCLASSA probe_class;
    std::memset(&probe_class, 0, sizeof probe_class);
    probe_class.lpfnWndProc = probe_proc;
    probe_class.hInstance = GetModuleHandleA(nullptr);
    probe_class.lpszClassName = PROBE_CLASS;
    RegisterClassA(&probe_class);  // fails harmlessly once it is registered

    ProgressWatch* watch = new ProgressWatch();
    watch->dialog = dialog;
    watch->bar = GetDlgItem(dialog, id);
    watch->readings = ProgressReadings{0, true, -1, -1, -1, -1};
    watch->ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watch->thread = CreateThread(nullptr, 0, watch_bar, watch, 0, nullptr);
    if (watch->thread != nullptr)
        WaitForSingleObject(watch->ready, DRIVER_WAIT_MS);
    return watch;
}

bool end_progress_watch(ProgressWatch* watch, ProgressReadings* readings)
{
    bool gone = wait_until_gone(watch->dialog);
    InterlockedExchange(&watch->stop, 1);
    if (watch->thread != nullptr) {
        WaitForSingleObject(watch->thread, INFINITE);  // a reading waits DRIVER_WAIT_MS at most
        CloseHandle(watch->thread);
    }
    CloseHandle(watch->ready);
    *readings = watch->readings;
    delete watch;
    return gone;
}

void wait_until_idle(const DrivenProgram& program, HWND window)
{
    WaitForInputIdle(program.info.hProcess, DRIVER_WAIT_MS);
    DWORD_PTR ignored;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, DRIVER_WAIT_MS, &ignored);
    Sleep(700);  // painting follows once the queue is empty
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, DRIVER_WAIT_MS, &ignored);
}

static bool write_bitmap_file(const std::string& path, const BITMAPINFOHEADER& header,
                              const void* bits)
{
    BITMAPFILEHEADER file_header;
    std::memset(&file_header, 0, sizeof file_header);
    file_header.bfType = 0x4D42;  // "BM"
    file_header.bfOffBits = sizeof file_header + sizeof header;
    file_header.bfSize = file_header.bfOffBits + header.biSizeImage;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = std::fwrite(&file_header, sizeof file_header, 1, file) == 1 &&
                   std::fwrite(&header, sizeof header, 1, file) == 1 &&
                   std::fwrite(bits, header.biSizeImage, 1, file) == 1;
    return std::fclose(file) == 0 && written;
}

bool save_screenshot(const std::string& path)
{
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    if (width <= 0 || height <= 0)
        return false;
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    BITMAPINFOHEADER& header = info.bmiHeader;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up rows, as a .bmp file stores them
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = (DWORD)(((width * 3 + 3) & ~3) * height);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (memory != nullptr && bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY)) {
            GdiFlush();
            saved = write_bitmap_file(path, header, bits);
        }
        SelectObject(memory, previous);
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    if (memory != nullptr)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}
