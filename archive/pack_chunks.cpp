// pack_chunks.cpp -- the parallel pack's pool of chunks: the coded bytes of the entries in flight
// wait in chunks queued on their entry until the committer takes them. Everything here runs
// under the pool's lock.

#include "archive/pack_pool.h"

void set_up_chunks(PackPool* pool)
{
    for (int c = 0; c < PACK_CHUNKS; c++) {
        pool->chunks[c] = PackChunk{pool->free_chunks, 0,
                                    pool->chunk_memory + size_t(c) * PACK_CHUNK_BYTES};
        pool->free_chunks = &pool->chunks[c];
    }
    pool->free_count = PACK_CHUNKS;
}

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

PackChunk* take_free_chunk(PackPool* pool, PackJob* job)
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

void queue_chunk(PackPool* pool, PackJob* job, PackChunk* chunk)
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

PackChunk* next_queued_chunk(PackPool* pool, PackJob* job)
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

void return_chunk(PackPool* pool, PackChunk* chunk)
{
    lock_host_lock(pool->lock);
    chunk->next = pool->free_chunks;
    pool->free_chunks = chunk;
    pool->free_count++;
    wake_waiting_workers(pool);
    unlock_host_lock(pool->lock);
}

void advance_head(PackPool* pool)
{
    lock_host_lock(pool->lock);
    pool->head++;
    wake_waiting_workers(pool);
    unlock_host_lock(pool->lock);
}
