// picture_panel.cpp -- paints a bitmap resource stretched over a hidden placeholder control.
//
// The bitmap is built anew for every paint and destroyed at its end; nothing is cached.

#include "common/picture_panel.h"

#include "common/installer_state.h"

// The colour table behind a bitmap header: biClrUsed entries, or all 2^bits when that is 0;
// none above 8 bits per pixel.
static DWORD colour_table_bytes(const BITMAPINFOHEADER* header)
{
    if (header->biBitCount > 8)
        return 0;
    DWORD colours = header->biClrUsed != 0 ? header->biClrUsed : 1UL << header->biBitCount;
    return colours > 256 ? 0xFFFFFFFF : colours * sizeof(RGBQUAD);
}

HBITMAP load_bitmap_resource(HINSTANCE instance, int bitmap_id)
{
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(bitmap_id), (LPCSTR)RT_BITMAP);
    if (found == nullptr)
        return nullptr;
    HGLOBAL resource = LoadResource(instance, found);
    if (resource == nullptr)
        return nullptr;
    const BITMAPINFOHEADER* header = (const BITMAPINFOHEADER*)LockResource(resource);
    DWORD bytes = SizeofResource(instance, found);
    if (header == nullptr || bytes < sizeof *header || header->biSize < sizeof *header ||
        header->biSize > bytes || colour_table_bytes(header) > bytes - header->biSize) {
        FreeResource(resource);
        return nullptr;
    }
    // The pixels follow the header and its colour table; setup's pictures have 256 colours,
    // run-length coded (BI_RLE8).
    const BYTE* rows = (const BYTE*)header + header->biSize + colour_table_bytes(header);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBitmap(screen, header, CBM_INIT, rows, (const BITMAPINFO*)header,
                                    DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    FreeResource(resource);
    return bitmap;
}

RECT get_control_client_rect(HWND dialog, HWND control)
{
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(control, &rect);
    POINT top_left = {rect.left, rect.top};
    POINT bottom_right = {rect.right, rect.bottom};
    ScreenToClient(dialog, &top_left);
    ScreenToClient(dialog, &bottom_right);
    RECT client = {top_left.x, top_left.y, bottom_right.x, bottom_right.y};
    return client;
}

void draw_picture_panel(HWND dialog, int placeholder_id, int bitmap_id)
{
    RECT rect = get_control_client_rect(dialog, GetDlgItem(dialog, placeholder_id));
    HBITMAP bitmap = load_bitmap_resource(app_instance, bitmap_id);
    if (bitmap == nullptr)
        return;
    BITMAP size;
    if (GetObjectA(bitmap, sizeof size, &size) == 0) {
        DeleteObject(bitmap);
        return;
    }
    HDC dialog_dc = GetDC(dialog);
    HDC memory_dc = CreateCompatibleDC(dialog_dc);
    HGDIOBJ earlier = SelectObject(memory_dc, bitmap);
    StretchBlt(dialog_dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               memory_dc, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
    SelectObject(memory_dc, earlier);
    DeleteObject(bitmap);
    DeleteDC(memory_dc);
    ReleaseDC(dialog, dialog_dc);
}
