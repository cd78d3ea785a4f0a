// message_pump.cpp -- drains the thread's message queue from inside a long operation, so that
// dialogs stay alive and a click on Back reaches the running install.

#include "common/message_pump.h"

#include <windows.h>

int pump_pending_messages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (GetMessageA(&message, nullptr, 0, 0) == 0)
            ExitProcess((UINT)-1);
        DispatchMessageA(&message);
    }
    return 0;
}
