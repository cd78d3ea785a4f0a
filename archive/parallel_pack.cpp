// parallel_pack.cpp -- pack_archive on several threads, writing the same archive as one thread.
//
// The encoder stores byte j of an entry at window position (1 + j) mod 4096 and nothing else in
// the window, and starts every entry with an empty tree. So the window at the start of entry k is
// the window at the start of the pack overlaid with the inputs of entries 0 to k - 1, and an entry
// coded on its own, by an encoder whose window is seeded that way, gives exactly the bits that one
// thread writes for it.
//
// The calling thread reads the list, opens each input, works out the next entry's seed from the
// last 4096 bytes of this input (or, where the input cannot be read from its end, waits for the
// entry's coder to finish and takes its window), and hands the entry to the pool. A worker codes
// an entry into a stream without a file, whose full blocks go into chunks queued on the entry.
// The calling thread commits the entries in list order: it shifts each entry's bits onto the
// archive's bit offset, then reports its progress. The first failure in list order ends the pack.
//
// Memory is bounded by the pool's PACK_BUFFER_BYTES of chunks, shared by all entries: a worker
// whose entry is not the one being committed waits when only the head's reserve is left, and the
// entry being committed can always take a chunk, so the pack never waits on itself.

#include "archive/threaded_ops.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/archive_steps.h"
#include "archive/host_threads.h"
#include "archive/lzss_codec.h"

enum {
    PACK_MAX_THREADS = 16,
    PACK_CHUNK_BYTES = BITS_BUFFER_BYTES,                // one full block of a worker's stream
    PACK_BUFFER_BYTES = 4 << 20,                         // coded bytes not yet committed
    PACK_CHUNKS = PACK_BUFFER_BYTES / PACK_CHUNK_BYTES,  // 64
    PACK_HEAD_RESERVE = 1,  // chunks only the entry being committed may take
    PACK_RING = 128,        // entries between the list and the archive, at most
};

static_assert(PACK_CHUNKS > PACK_HEAD_RESERVE, "entries ahead of the head get chunks too");

struct PackChunk {
    PackChunk* next;  // in the free list, or in its entry's queue
    size_t size;
    uint8_t* bytes;   // PACK_CHUNK_BYTES
};

// One entry on its way from the list to the archive. The dispatcher fills it; the worker that
// takes it codes it; the committer empties it. Each hands it on through a semaphore.
struct PackJob {
    std::string path;
    FILE* input;          // closed by the worker, or after the pool has stopped
    int failure;          // an ArchiveResult found before coding: no worker takes the job
    uint8_t seed[LZ_WINDOW_BYTES];
    uint8_t window_after[LZ_WINDOW_BYTES];
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

// ---- the chunks, under the pool's lock

static PackJob* job_of(PackPool* pool, int64_t index) { return &pool->jobs[index % PACK_RING]; }

// Wakes the worker of the head, and those of later entries while chunks beyond the reserve are
// free.
static void wake_waiting_workers(PackPool* pool)
{
    for (int64_t index = pool->head; index < pool->next_take; index++) {
        PackJob* job = job_of(pool, index);
        bool may_take = index == pool->head ? pool->free_count > 0
                                             : pool->free_count > PACK_HEAD_RESERVE;
        if (!may_take)
            return;
        if (job->waiting) {
            job->waiting = false;
            post_host_semaphore(job->wake);
        }
    }
}

// A free chunk for the job's worker, waiting while the job may not take one; null when the pool
// is stopping.
static PackChunk* take_free_chunk(PackPool* pool, PackJob* job)
{
    for (;;) {
        lock_host_lock(pool->lock);
        if (pool->stopping) {
            unlock_host_lock(pool->lock);
            return nullptr;
        }
        int keep = job->index == pool->head ? 0 : PACK_HEAD_RESERVE;
        if (pool->free_count > keep) {
            PackChunk* chunk = pool->free_chunks;
            pool->free_chunks = chunk->next;
            pool->free_count--;
            unlock_host_lock(pool->lock);
            return chunk;
        }
        job->waiting = true;
        unlock_host_lock(pool->lock);
        wait_host_semaphore(job->wake);
    }
}

static void queue_chunk(PackPool* pool, PackJob* job, PackChunk* chunk)
{
    lock_host_lock(pool->lock);
    chunk->next = nullptr;
    if (job->last != nullptr)
        job->last->next = chunk;
    else
        job->first = chunk;
    job->last = chunk;
    unlock_host_lock(pool->lock);
    post_host_semaphore(job->ready);
}

// The job's oldest queued chunk, or null when none is left and the job is finished. Waits for
// the worker.
static PackChunk* next_queued_chunk(PackPool* pool, PackJob* job)
{
    wait_host_semaphore(job->ready);
    lock_host_lock(pool->lock);
    PackChunk* chunk = job->first;
    if (chunk != nullptr) {
        job->first = chunk->next;
        if (job->first == nullptr)
            job->last = nullptr;
    }
    unlock_host_lock(pool->lock);
    return chunk;
}

static void return_chunk(PackPool* pool, PackChunk* chunk)
{
    lock_host_lock(pool->lock);
    chunk->next = pool->free_chunks;
    pool->free_chunks = chunk;
    pool->free_count++;
    wake_waiting_workers(pool);
    unlock_host_lock(pool->lock);
}

// The committer moves on to the next entry.
static void advance_head(PackPool* pool)
{
    lock_host_lock(pool->lock);
    pool->head++;
    wake_waiting_workers(pool);
    unlock_host_lock(pool->lock);
}

// ---- the workers

// The stream's drain: one full block into a chunk queued on the worker's entry.
static bool put_chunk(void* context, const uint8_t* bytes, size_t size)
{
    PackWorker* worker = static_cast<PackWorker*>(context);
    PackChunk* chunk = take_free_chunk(worker->pool, worker->job);
    if (chunk == nullptr)
        return false;
    std::memcpy(chunk->bytes, bytes, size);
    chunk->size = size;
    queue_chunk(worker->pool, worker->job, chunk);
    return true;
}

// The encoder's source on a C stream.
static int64_t read_file(void* file, uint8_t* bytes, size_t size)
{
    size_t read = std::fread(bytes, 1, size, static_cast<FILE*>(file));
    return read == 0 && std::ferror(static_cast<FILE*>(file)) ? -1 : static_cast<int64_t>(read);
}

static void code_job(PackWorker* worker, PackJob* job)
{
    worker->job = job;
    bits_init_drain_writer(worker->stream, LzSink{put_chunk, worker});
    lzss_set_window(worker->encoder, job->seed);
    job->byte_count =
        lzss_encode_entry_with(worker->encoder, LzSource{read_file, job->input}, worker->stream);
    std::fclose(job->input);
    job->input = nullptr;
    lzss_get_window(worker->encoder, job->window_after);
    if (!bits_take_tail(worker->stream, &job->tail, &job->tail_bits))
        return;  // the pool is stopping
    PackPool* pool = worker->pool;
    lock_host_lock(pool->lock);
    job->finished = true;
    unlock_host_lock(pool->lock);
    post_host_semaphore(job->ready);
}

static void run_worker(void* context)
{
    PackWorker* worker = static_cast<PackWorker*>(context);
    PackPool* pool = worker->pool;
    for (;;) {
        wait_host_semaphore(pool->jobs_ready);
        if (pool->stopping)
            return;
        lock_host_lock(pool->lock);
        int64_t index = pool->next_take++;
        unlock_host_lock(pool->lock);
        code_job(worker, job_of(pool, index));
    }
}

// ---- setting the pool up and taking it down

static void free_pool(PackPool* pool)
{
    for (int i = 0; i < PACK_RING && pool->jobs != nullptr; i++) {
        PackJob* job = &pool->jobs[i];
        if (job->wake != nullptr)
            free_host_semaphore(job->wake);
        if (job->ready != nullptr)
            free_host_semaphore(job->ready);
    }
    delete[] pool->jobs;
    for (int i = 0; i < pool->worker_count && pool->workers != nullptr; i++) {
        lzss_free_encoder(pool->workers[i].encoder);
        std::free(pool->workers[i].stream);
    }
    delete[] pool->workers;
    std::free(pool->chunk_memory);
    if (pool->jobs_ready != nullptr)
        free_host_semaphore(pool->jobs_ready);
    if (pool->lock != nullptr)
        free_host_lock(pool->lock);
}

// Everything but the threads. False when memory or a semaphore is short.
static bool set_up_pool(PackPool* pool, int threads)
{
    pool->worker_count = threads < PACK_MAX_THREADS ? threads : PACK_MAX_THREADS;
    pool->jobs_ready = new_host_semaphore(0, false);
    pool->lock = new_host_lock();
    pool->chunk_memory = static_cast<uint8_t*>(std::malloc(size_t(PACK_BUFFER_BYTES)));
    pool->jobs = new PackJob[PACK_RING]();
    pool->workers = new PackWorker[pool->worker_count]();
    if (pool->jobs_ready == nullptr || pool->lock == nullptr || pool->chunk_memory == nullptr)
        return false;
    for (int c = 0; c < PACK_CHUNKS; c++) {
        pool->chunks[c] = PackChunk{pool->free_chunks, 0,
                                    pool->chunk_memory + size_t(c) * PACK_CHUNK_BYTES};
        pool->free_chunks = &pool->chunks[c];
    }
    pool->free_count = PACK_CHUNKS;
    for (int i = 0; i < PACK_RING; i++) {
        pool->jobs[i].wake = new_host_semaphore(0, false);
        pool->jobs[i].ready = new_host_semaphore(0, false);
        if (pool->jobs[i].wake == nullptr || pool->jobs[i].ready == nullptr)
            return false;
    }
    for (int i = 0; i < pool->worker_count; i++) {
        PackWorker* worker = &pool->workers[i];
        worker->pool = pool;
        worker->encoder = lzss_new_encoder();
        worker->stream = static_cast<BitStream*>(std::malloc(sizeof(BitStream)));
        if (worker->encoder == nullptr || worker->stream == nullptr)
            return false;
    }
    return true;
}

// Wakes every started worker, whether it waits for a job or for a chunk, lets it see that the
// pool is stopping, and waits for it to end; then closes the inputs no worker took.
static void stop_workers(PackPool* pool)
{
    if (pool->started == 0)
        return;
    lock_host_lock(pool->lock);
    pool->stopping = true;
    for (int i = 0; i < PACK_RING; i++) {
        if (pool->jobs[i].waiting) {
            pool->jobs[i].waiting = false;
            post_host_semaphore(pool->jobs[i].wake);
        }
    }
    unlock_host_lock(pool->lock);
    for (int i = 0; i < pool->started; i++)
        post_host_semaphore(pool->jobs_ready);
    for (int i = 0; i < pool->started; i++)
        join_host_thread(pool->workers[i].thread);
    pool->started = 0;
    for (int i = 0; i < PACK_RING; i++) {
        if (pool->jobs[i].input != nullptr)
            std::fclose(pool->jobs[i].input);
        pool->jobs[i].input = nullptr;
    }
}

// Starts the workers; false when one could not be started (those started are stopped again).
static bool start_workers(PackPool* pool)
{
    for (int i = 0; i < pool->worker_count; i++) {
        pool->workers[i].thread = start_host_thread(run_worker, &pool->workers[i]);
        if (pool->workers[i].thread == nullptr) {
            stop_workers(pool);
            return false;
        }
        pool->started++;
    }
    return true;
}

// ---- the calling thread: dispatching and committing in list order

// Overlays `window` with the last bytes of the open input, where one thread's encoder would
// store them, and rewinds the input. False when the input cannot be read that way (a pipe, a
// read error, a size beyond what ftell gives); `window` is then unchanged.
static bool overlay_input_end(FILE* input, uint8_t* window)
{
    if (std::fseek(input, 0, SEEK_END) != 0)
        return false;
    long size = std::ftell(input);
    if (size < 0)
        return false;
    long start = size > LZ_WINDOW_BYTES ? size - LZ_WINDOW_BYTES : 0;
    uint8_t end_bytes[LZ_WINDOW_BYTES];
    size_t count = static_cast<size_t>(size - start);
    if (std::fseek(input, start, SEEK_SET) != 0 ||
        std::fread(end_bytes, 1, count, input) != count)
        return false;
    for (size_t i = 0; i < count; i++)
        window[(1 + start + static_cast<long>(i)) & LZ_WINDOW_MASK] = end_bytes[i];
    return std::fseek(input, 0, SEEK_SET) == 0;
}

struct PackOrder {
    PackPool* pool;
    const PackRun* run;
    int64_t dispatched;
    int64_t committed;
    bool list_done;            // the list ended, or an entry failed before coding
    bool waiting_for_window;   // the next seed is the window the last dispatched entry leaves
    uint8_t seed[LZ_WINDOW_BYTES];       // for the next entry to dispatch
    uint8_t committed_window[LZ_WINDOW_BYTES];  // after the last committed entry
    int64_t total;
};

static void dispatch_next(PackOrder* order)
{
    PackJob* job = job_of(order->pool, order->dispatched);
    FILE* input = nullptr;
    int opened = open_next_pack_input(order->run, &input);
    if (opened > 0) {
        order->list_done = true;
        return;
    }
    job->path = order->run->path_buffer;
    job->failure = opened;
    job->index = order->dispatched;
    job->first = nullptr;
    job->last = nullptr;
    job->finished = false;
    job->waiting = false;
    order->dispatched++;
    if (opened != ARCHIVE_OK) {
        order->list_done = true;
        return;
    }
    std::memcpy(job->seed, order->seed, LZ_WINDOW_BYTES);
    if (!overlay_input_end(input, order->seed))
        order->waiting_for_window = true;
    job->input = input;
    post_host_semaphore(order->pool->jobs_ready);
}

// Puts up to 31 bits, in two fields where needed.
static int put_tail(BitStream* archive, uint32_t tail, int bits)
{
    if (bits > 16 && bits_put_field(archive, tail >> 16, bits - 16) != 0)
        return -1;
    int low = bits > 16 ? 16 : bits;
    return low == 0 ? 0 : bits_put_field(archive, tail & ((1u << low) - 1), low);
}

// Moves the next entry's bits into the archive, or returns the entry's failure.
static int commit_next(PackOrder* order)
{
    PackPool* pool = order->pool;
    PackJob* job = job_of(pool, order->committed);
    const PackRun* run = order->run;
    std::memcpy(run->path_buffer, job->path.c_str(), job->path.size() + 1);
    if (job->failure != ARCHIVE_OK)
        return job->failure;
    for (;;) {
        PackChunk* chunk = next_queued_chunk(pool, job);
        if (chunk == nullptr)
            break;
        int put = bits_put_bytes(run->archive, chunk->bytes, chunk->size);
        return_chunk(pool, chunk);
        if (put != 0)
            return ARCHIVE_ENCODE_FAILED;
    }
    if (job->byte_count == LZ_FILE_FAILED)
        return ARCHIVE_INPUT_OPEN_FAILED;
    if (job->byte_count < 0 || put_tail(run->archive, job->tail, job->tail_bits) != 0)
        return ARCHIVE_ENCODE_FAILED;
    order->committed++;
    advance_head(pool);
    std::memcpy(order->committed_window, job->window_after, LZ_WINDOW_BYTES);
    if (order->waiting_for_window && order->committed == order->dispatched) {
        std::memcpy(order->seed, job->window_after, LZ_WINDOW_BYTES);
        order->waiting_for_window = false;
    }
    order->total += job->byte_count;
    if (run->progress != nullptr)
        run->progress(job->byte_count, run->path_buffer, run->user_value);
    return ARCHIVE_OK;
}

static int64_t pack_in_order(const PackRun* run, void* context)
{
    PackPool* pool = static_cast<PackPool*>(context);
    PackOrder* order_memory = new PackOrder();
    PackOrder& order = *order_memory;
    order.pool = pool;
    order.run = run;
    LzEncoder* process = lzss_process_encoder();
    lzss_get_window(process, order.seed);
    lzss_get_window(process, order.committed_window);
    int64_t result = 0;
    for (;;) {
        while (!order.list_done && !order.waiting_for_window &&
               order.dispatched - order.committed < PACK_RING)
            dispatch_next(&order);
        if (order.committed == order.dispatched)
            break;
        int committed = commit_next(&order);
        if (committed != ARCHIVE_OK) {
            result = committed;
            break;
        }
    }
    stop_workers(pool);
    // The process's window is left as one thread leaves it after the committed entries.
    lzss_set_window(process, order.committed_window);
    if (result >= 0)
        result = order.total;
    delete order_memory;
    return result;
}

int64_t pack_archive_threaded(int threads, char* path_buffer, size_t capacity,
                              const char* list_path, const char* archive_path, void* user_value,
                              ProgressCallback progress)
{
    if (threads <= 1)
        return pack_archive(path_buffer, capacity, list_path, archive_path, user_value,
                            progress);
    PackPool pool = {};
    int64_t result;
    if (set_up_pool(&pool, threads) && start_workers(&pool))
        result = pack_archive_using(pack_in_order, &pool, path_buffer, capacity, list_path,
                                    archive_path, user_value, progress);
    else
        result = pack_archive(path_buffer, capacity, list_path, archive_path, user_value,
                              progress);
    stop_workers(&pool);
    free_pool(&pool);
    return result;
}
