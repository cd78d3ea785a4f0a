// host_threads_posix.cpp -- threads, semaphores and a lock on Linux: POSIX threads and the C++
// standard library's locks.

#include "archive/host_threads.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include "archive/host_files.h"

// pthreads rather than std::thread, which throws where a thread cannot be started.
struct HostThread {
    pthread_t thread;
    HostThreadBody body;
    void* context;
};

// Tells the processor that this thread is polling.
static void pause_briefly()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

static void* run_thread(void* argument)
{
    HostThread* thread = static_cast<HostThread*>(argument);
    thread->body(thread->context);
    return nullptr;
}

HostThread* start_host_thread(HostThreadBody body, void* context)
{
    HostThread* thread = static_cast<HostThread*>(host_allocate(sizeof(HostThread)));
    if (thread == nullptr)
        return nullptr;
    *thread = HostThread{pthread_t(), body, context};
    if (pthread_create(&thread->thread, nullptr, run_thread, thread) != 0) {
        host_release(thread);
        return nullptr;
    }
    return thread;
}

void join_host_thread(HostThread* thread)
{
    pthread_join(thread->thread, nullptr);
    host_release(thread);
}

// A count that a waiting thread may poll for a while before it sleeps. `sleepers` counts the
// threads that may be asleep; a post wakes one only then.
struct HostSemaphore {
    std::atomic<int> count;
    std::atomic<int> sleepers;
    int polls;
    std::mutex mutex;
    std::condition_variable posted;
};

enum { SEMAPHORE_POLLS = 4000 };  // some tens of microseconds

HostSemaphore* new_host_semaphore(int count, bool polling)
{
    void* memory = host_allocate(sizeof(HostSemaphore));
    if (memory == nullptr)
        return nullptr;
    HostSemaphore* semaphore = new (memory) HostSemaphore;
    semaphore->count = count;
    semaphore->sleepers = 0;
    semaphore->polls = polling ? SEMAPHORE_POLLS : 0;
    return semaphore;
}

void free_host_semaphore(HostSemaphore* semaphore)
{
    semaphore->~HostSemaphore();
    host_release(semaphore);
}

// Takes 1 from the count if it is above 0.
static bool take_one(HostSemaphore* semaphore)
{
    int count = semaphore->count.load();
    while (count > 0) {
        if (semaphore->count.compare_exchange_weak(count, count - 1))
            return true;
    }
    return false;
}

void wait_host_semaphore(HostSemaphore* semaphore)
{
    for (int i = 0; i < semaphore->polls; i++) {
        if (take_one(semaphore))
            return;
        pause_briefly();
    }
    std::unique_lock<std::mutex> hold(semaphore->mutex);
    semaphore->sleepers++;
    // A post that did not see this sleeper made its count visible first, so take_one sees it.
    while (!take_one(semaphore))
        semaphore->posted.wait(hold);
    semaphore->sleepers--;
}

void post_host_semaphore(HostSemaphore* semaphore)
{
    semaphore->count++;
    if (semaphore->sleepers.load() > 0) {
        // Under the lock, a sleeper is either before its take_one or waiting: either way it
        // sees the count.
        std::lock_guard<std::mutex> hold(semaphore->mutex);
        semaphore->posted.notify_one();
    }
}

struct HostLock {
    std::mutex mutex;
};

HostLock* new_host_lock()
{
    void* memory = host_allocate(sizeof(HostLock));
    return memory != nullptr ? new (memory) HostLock : nullptr;
}

void free_host_lock(HostLock* lock)
{
    lock->~HostLock();
    host_release(lock);
}

void lock_host_lock(HostLock* lock) { lock->mutex.lock(); }

void unlock_host_lock(HostLock* lock) { lock->mutex.unlock(); }

// The processors this process may run on (taskset, cgroups' cpusets), not those online.
int host_processor_count()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<int>(count) : 1;
}
