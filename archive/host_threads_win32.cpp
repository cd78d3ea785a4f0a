// host_threads_win32.cpp -- threads, semaphores and a lock through the Win32 API, as on Windows XP:
// no condition variables, no slim locks. The Windows build's C++ library has no threads.

#include "archive/host_threads.h"

#include <process.h>
#include <windows.h>

#include "archive/host_files.h"

struct HostThread {
    HANDLE handle;
    HostThreadBody body;
    void* context;
};

// _beginthreadex rather than CreateThread: the C library then keeps its per-thread state right.
static unsigned __stdcall run_thread(void* argument)
{
    HostThread* thread = static_cast<HostThread*>(argument);
    thread->body(thread->context);
    return 0;
}

HostThread* start_host_thread(HostThreadBody body, void* context)
{
    HostThread* thread = static_cast<HostThread*>(host_allocate(sizeof(HostThread)));
    if (thread == nullptr)
        return nullptr;
    *thread = HostThread{nullptr, body, context};
    uintptr_t handle = _beginthreadex(nullptr, 0, run_thread, thread, 0, nullptr);
    if (handle == 0) {
        host_release(thread);
        return nullptr;
    }
    thread->handle = reinterpret_cast<HANDLE>(handle);
    return thread;
}

void join_host_thread(HostThread* thread)
{
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    host_release(thread);
}

HostSemaphore* new_host_semaphore(int count, bool)
{
    HANDLE handle = CreateSemaphoreA(nullptr, count, 0x7fffffff, nullptr);
    return reinterpret_cast<HostSemaphore*>(handle);
}

void free_host_semaphore(HostSemaphore* semaphore)
{
    CloseHandle(reinterpret_cast<HANDLE>(semaphore));
}

void wait_host_semaphore(HostSemaphore* semaphore)
{
    WaitForSingleObject(reinterpret_cast<HANDLE>(semaphore), INFINITE);
}

void post_host_semaphore(HostSemaphore* semaphore)
{
    ReleaseSemaphore(reinterpret_cast<HANDLE>(semaphore), 1, nullptr);
}

struct HostLock {
    CRITICAL_SECTION section;
};

HostLock* new_host_lock()
{
    HostLock* lock = static_cast<HostLock*>(host_allocate(sizeof(HostLock)));
    if (lock == nullptr)
        return nullptr;
    InitializeCriticalSection(&lock->section);
    return lock;
}

void free_host_lock(HostLock* lock)
{
    DeleteCriticalSection(&lock->section);
    host_release(lock);
}

void lock_host_lock(HostLock* lock) { EnterCriticalSection(&lock->section); }

void unlock_host_lock(HostLock* lock) { LeaveCriticalSection(&lock->section); }

// The processors this process may run on (its affinity mask), not all the machine has.
int host_processor_count()
{
    DWORD_PTR process_mask = 0, system_mask = 0;
    int count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask)) {
        for (; process_mask != 0; process_mask &= process_mask - 1)
            count++;
    }
    return count > 0 ? count : 1;
}
