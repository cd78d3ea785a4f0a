// picture_panel.h -- paints a bitmap resource stretched over a hidden placeholder control.

#pragma once

#include <windows.h>

// A device-dependent bitmap, compatible with the screen, built from a bitmap resource (with its
// colour table, if any; run-length coded or not); null when there is no such resource or it is
// shorter than its header says. The caller deletes it.
HBITMAP load_bitmap_resource(HINSTANCE instance, int bitmap_id);

// The control's rectangle in the dialog's client coordinates.
RECT get_control_client_rect(HWND dialog, HWND control);

// Paints bitmap `bitmap_id` of app_instance over the rectangle of control `placeholder_id`.
void draw_picture_panel(HWND dialog, int placeholder_id, int bitmap_id);
