// host_threads.h -- the few thread calls the parallel pack and the pipelined unpack need: threads,
// counting semaphores, a lock and the number of processors.
//
// host_threads_posix.cpp and host_threads_win32.cpp are the only files that know how the host does
// them: POSIX threads and the C++ standard library's locks on Linux, the Win32 API in the Windows
// build (whose C++ library has no threads). Only lzss links them; setup stays on one thread.

#pragma once

typedef void (*HostThreadBody)(void* context);

struct HostThread;
struct HostSemaphore;
struct HostLock;

// Starts `body(context)` on a new thread; null when it could not be started.
HostThread* start_host_thread(HostThreadBody body, void* context);

// Waits until the thread's body has returned, and releases the thread.
void join_host_thread(HostThread* thread);

// A counting semaphore holding `count` at first; null when it could not be made. A thread that
// waits on a `polling` one first polls the count for some tens of microseconds, where the host
// allows it: a hand-over then needs no system call, which pays when each of two threads on two
// processors waits for the other many times a second, and costs when threads outnumber them.
HostSemaphore* new_host_semaphore(int count, bool polling);
void free_host_semaphore(HostSemaphore* semaphore);

// Waits until the count is above 0, then takes 1 from it.
void wait_host_semaphore(HostSemaphore* semaphore);

// Adds 1 to the count, waking one waiting thread.
void post_host_semaphore(HostSemaphore* semaphore);

HostLock* new_host_lock();
void free_host_lock(HostLock* lock);
void lock_host_lock(HostLock* lock);
void unlock_host_lock(HostLock* lock);

// The number of processors the process may run on (its affinity); at least 1.
int host_processor_count();
