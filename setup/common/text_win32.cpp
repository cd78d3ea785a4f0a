// text_win32.cpp -- format_text's formatter on Windows: wvsprintfA, which needs no C runtime.

#include "common/text.h"

#include <windows.h>

int format_limited(char* text, const char* format, va_list arguments)
{
    return wvsprintfA(text, format, arguments);
}
