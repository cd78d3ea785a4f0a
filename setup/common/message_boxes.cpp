// message_boxes.cpp -- the two message boxes setup shows for its errors and notes.

#include "common/message_boxes.h"

#include "common/game_texts.h"

void stop_box(HWND owner, const char* text)
{
    MessageBoxExA(owner, text, SETUP_CAPTION, MB_OK | MB_ICONHAND, SETUP_LANGUAGE);
}

void plain_box(const char* text)
{
    MessageBoxA(nullptr, text, SETUP_CAPTION, MB_OK);
}
