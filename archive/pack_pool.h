// pack_pool.h -- what the parts of the parallel pack share: the entries in flight, the pool of
// chunks their coded bytes wait in (pack_chunks.cpp) and the workers that code them
// (pack_workers.cpp). parallel_pack.cpp dispatches and commits the entries in list order.
//
// Memory is bounded by the pool's PACK_BUFFER_BYTES of chunks, shared by all entries: a worker
// whose entry is not the one being committed waits when only the head's reserve is left, and the
// entry being committed can always take a chunk, so the pack never waits on itself.

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "archive/bit_stream.h"
#include "archive/host_files.h"
#include "archive/host_threads.h"
#include "archive/lzss_codec.h"

enum {
    PACK_MAX_THREADS = 16,
    PACK_CHUNK_BYTES = BITS_BUFFER_BYTES,                // one full block of a worker's stream
    PACK_BUFFER_BYTES = 4 << 20,                         // coded bytes not yet committed
    PACK_CHUNKS = PACK_BUFFER_BYTES / PACK_CHUNK_BYTES,  // 64
    PACK_HEAD_RESERVE = 1,   // chunks only the entry being committed may take
    PACK_RING = 128,         // entries between the list and the archive, at most
};

static_assert(PACK_CHUNKS > PACK_HEAD_RESERVE, "entries ahead of the head get chunks too");

struct PackChunk {
    PackChunk* next;  // in the free list, or in its entry's queue
    size_t size;
    uint8_t* bytes;   // PACK_CHUNK_BYTES
};

// One entry on its way from the list to the archive. The dispatcher fills it; the worker that
// takes it codes it; the committer empties it. Each hands it on through a semaphore, which orders
// the writes before the hand-over ahead of the reads after it:
// - the dispatcher (the calling thread) writes the fields down to `index` and posts `jobs_ready`;
// - a worker takes the job's index (next_take, under the lock), reads them, and writes
//   `window_after`, `byte_count`, `tail` and `tail_bits` before it sets `finished` under the lock
//   and posts `ready`;
// - the committer (the calling thread again) reads those once it has taken the `ready` that
//   follows `finished`; a job it codes itself (in order, or failed) no worker ever takes.
struct PackJob {
    char* path;           // the pool's `path_chars` bytes for it, as long as the session's buffer
    HostFile* input;      // closed by the worker, or after the pool has stopped
    int failure;          // an ArchiveResult found before coding: no worker takes the job
    bool in_order;        // not opened ahead: the committer codes it when its turn comes
    uint8_t seed[LZ_WINDOW_BYTES];          // the window the worker starts from
    uint8_t window_after[LZ_WINDOW_BYTES];  // the worker's, or the committer's for in_order
    int64_t byte_count;   // the encoder's result
    uint32_t tail;        // the entry's last bits, not a whole byte
    int tail_bits;
    int64_t index;        // the entry's place in the list
    // Under the pool's lock:
    PackChunk* first;     // the queue of coded chunks, oldest first
    PackChunk* last;
    bool finished;        // coded: after the queue, the tail and result follow
    bool waiting;         // the worker waits for a chunk on `wake`
    HostSemaphore* wake;
    HostSemaphore* ready;  // one post per queued chunk, and one when finished
};

struct PackPool;

struct PackWorker {
    PackPool* pool;
    LzEncoder* encoder;
    BitStream* stream;
    PackJob* job;
    HostThread* thread;
};

struct PackPool {
    int worker_count;
    PackJob* jobs;        // PACK_RING, entry k at k % PACK_RING
    char* paths;          // PACK_RING paths of `path_chars` bytes, one for each job
    size_t path_chars;
    PackWorker* workers;
    PackChunk chunks[PACK_CHUNKS];
    uint8_t* chunk_memory;
    HostSemaphore* jobs_ready;
    HostLock* lock;
    // Under the lock:
    int64_t next_take;    // the next entry a worker takes
    int64_t head;         // the entry being committed
    PackChunk* free_chunks;
    int free_count;
    int started;          // workers running
    std::atomic<bool> stopping;
};

inline PackJob* job_of(PackPool* pool, int64_t index) { return &pool->jobs[index % PACK_RING]; }

// ---- the chunks (pack_chunks.cpp)

// Hands every chunk to the free list.
void set_up_chunks(PackPool* pool);

// A free chunk for the job's worker, waiting while the job may not take one; null when the pool
// is stopping.
PackChunk* take_free_chunk(PackPool* pool, PackJob* job);

// Queues a filled chunk on its job, for the committer.
void queue_chunk(PackPool* pool, PackJob* job, PackChunk* chunk);

// The job's oldest queued chunk, or null when none is left and the job is finished. Waits for
// the worker.
PackChunk* next_queued_chunk(PackPool* pool, PackJob* job);

// Gives a committed (or dropped) chunk back, waking the workers that may now take one.
void return_chunk(PackPool* pool, PackChunk* chunk);

// The committer moves on to the next entry.
void advance_head(PackPool* pool);

// ---- the workers (pack_workers.cpp)

// Everything but the threads, for up to `threads` workers. False when not even one worker's
// memory, or the pool's own, could be had.
bool set_up_pool(PackPool* pool, int threads, size_t path_chars);

// Starts as many workers as the host lets it, up to `worker_count`; false when none started.
bool start_workers(PackPool* pool);

// Wakes every started worker, lets it see that the pool is stopping, and waits for it to end;
// then closes the inputs no worker took.
void stop_workers(PackPool* pool);

void free_pool(PackPool* pool);
