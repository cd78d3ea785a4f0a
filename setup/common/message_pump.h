// message_pump.h -- drains the thread's message queue from inside a long operation.

#pragma once

// Dispatches every waiting message of the thread, then returns 0. A quit message ends the
// process at once with exit code -1.
int pump_pending_messages();
