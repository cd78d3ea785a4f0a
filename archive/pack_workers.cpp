// pack_workers.cpp -- the parallel pack's workers: each takes the next entry in list order, codes
// it with an encoder of its own seeded with the window the entries before it leave, into a stream
// whose full blocks go into chunks queued on the entry; and the setting up and taking down of
// the pool. The host may give fewer workers than asked, down to none.

#include <cstring>

#include "archive/archive_session.h"
#include "archive/pack_pool.h"

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

// Codes the job's entry into chunks. A job to be coded in order is only marked finished.
static void code_job(PackWorker* worker, PackJob* job)
{
    if (!job->in_order) {
        worker->job = job;
        bits_init_drain_writer(worker->stream, LzSink{put_chunk, worker});
        lzss_set_window(worker->encoder, job->seed);
        job->byte_count = lzss_encode_entry_with(worker->encoder, pack_input_source(job->input),
                                                 worker->stream);
        close_host_file(job->input);
        job->input = nullptr;
        lzss_get_window(worker->encoder, job->window_after);
        if (!bits_take_tail(worker->stream, &job->tail, &job->tail_bits))
            return;  // the pool is stopping
    }
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

void free_pool(PackPool* pool)
{
    for (int i = 0; i < PACK_RING && pool->jobs != nullptr; i++) {
        PackJob* job = &pool->jobs[i];
        if (job->wake != nullptr)
            free_host_semaphore(job->wake);
        if (job->ready != nullptr)
            free_host_semaphore(job->ready);
    }
    host_release(pool->jobs);
    host_release(pool->paths);
    for (int i = 0; i < pool->worker_count && pool->workers != nullptr; i++) {
        lzss_free_encoder(pool->workers[i].encoder);
        host_release(pool->workers[i].stream);
    }
    host_release(pool->workers);
    host_release(pool->chunk_memory);
    if (pool->jobs_ready != nullptr)
        free_host_semaphore(pool->jobs_ready);
    if (pool->lock != nullptr)
        free_host_lock(pool->lock);
}

// Gives up to `threads` workers an encoder and a stream each; `worker_count` is the number that
// got both.
static void set_up_workers(PackPool* pool, int threads)
{
    pool->workers =
        static_cast<PackWorker*>(host_allocate_zeroed(size_t(threads), sizeof(PackWorker)));
    if (pool->workers == nullptr)
        return;
    for (int i = 0; i < threads; i++) {
        PackWorker* worker = &pool->workers[i];
        worker->pool = pool;
        worker->encoder = lzss_new_encoder();
        worker->stream = static_cast<BitStream*>(host_allocate(sizeof(BitStream)));
        if (worker->encoder == nullptr || worker->stream == nullptr) {
            lzss_free_encoder(worker->encoder);
            host_release(worker->stream);
            return;
        }
        pool->worker_count = i + 1;
    }
}

bool set_up_pool(PackPool* pool, int threads, size_t path_chars)
{
    pool->jobs_ready = new_host_semaphore(0, false);
    pool->lock = new_host_lock();
    pool->chunk_memory = static_cast<uint8_t*>(host_allocate(size_t(PACK_BUFFER_BYTES)));
    pool->jobs = static_cast<PackJob*>(host_allocate_zeroed(PACK_RING, sizeof(PackJob)));
    pool->paths = path_chars <= SIZE_MAX / PACK_RING
                      ? static_cast<char*>(host_allocate(PACK_RING * path_chars))
                      : nullptr;
    pool->path_chars = path_chars;
    if (pool->jobs_ready == nullptr || pool->lock == nullptr || pool->chunk_memory == nullptr ||
        pool->jobs == nullptr || pool->paths == nullptr)
        return false;
    set_up_chunks(pool);
    for (int i = 0; i < PACK_RING; i++) {
        pool->jobs[i].path = pool->paths + size_t(i) * path_chars;
        pool->jobs[i].wake = new_host_semaphore(0, false);
        pool->jobs[i].ready = new_host_semaphore(0, false);
        if (pool->jobs[i].wake == nullptr || pool->jobs[i].ready == nullptr)
            return false;
    }
    set_up_workers(pool, threads < PACK_MAX_THREADS ? threads : PACK_MAX_THREADS);
    return pool->worker_count > 0;
}

void stop_workers(PackPool* pool)
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
            close_host_file(pool->jobs[i].input);
        pool->jobs[i].input = nullptr;
    }
}

bool start_workers(PackPool* pool)
{
    for (int i = 0; i < pool->worker_count; i++) {
        pool->workers[i].thread = start_host_thread(run_worker, &pool->workers[i]);
        if (pool->workers[i].thread == nullptr)
            break;
        pool->started++;
    }
    return pool->started > 0;
}
