// message_boxes.h -- the two message boxes setup shows for its errors and notes, both with the
// caption "TRV 99" and an OK button.

#pragma once

#include <windows.h>

// The stop box of errors and refusals (stop icon, English (United Kingdom)); `owner` may be null.
void stop_box(HWND owner, const char* text);

// The plain box, without an icon or owner, of the notes after an install.
void plain_box(const char* text);
