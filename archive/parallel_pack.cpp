// parallel_pack.cpp -- pack_archive on several threads, writing the same archive as one thread:
// the calling thread dispatches the entries to the workers with their seeds and commits them in
// list order.
//
// The encoder stores byte j of an entry at window position (1 + j) mod 4096 and nothing else in
// the window, and starts every entry with an empty tree. So the window at the start of entry k is
// the window at the start of the pack overlaid with the inputs of entries 0 to k - 1, and an entry
// coded on its own, by an encoder whose window is seeded that way, gives exactly the bits that one
// thread writes for it.
//
// The calling thread reads the list, opens each regular input ahead of its turn, works out the
// next entry's seed from the last 4096 bytes of this input, and hands the entry to the pool
// (pack_workers.cpp). It commits the entries in list order: it shifts each entry's bits onto the
// archive's bit offset, then reports its progress. The first failure in list order ends the pack.
//
// A seed is only a prediction: an input may change between the read of its end and the worker's
// read, or give fewer bytes than its size. So an entry's bits are committed only when its seed
// equals the window that the entries before it really left; otherwise the calling thread codes it
// again, in order, from a fresh read, as one thread would. An entry that is not opened ahead (a
// pipe or a device, which may block until another program writes; or an input that could not be
// opened, for want of file handles, say) or whose end cannot be read is coded that way from the
// start, and nothing after it is dispatched until it is committed. Either way an entry holds the
// bytes of one read of its input from front to end, and the seed of one entry never decides what
// another holds.

#include <cstring>

#include "archive/archive_session.h"
#include "archive/pack_pool.h"
#include "archive/threaded_ops.h"

// The calling thread's account of the entries between the list and the archive.
struct PackOrder {
    PackPool* pool;
    PackSession session;
    int64_t dispatched;
    int64_t committed;
    bool list_done;            // the list ended, or an entry failed before coding
    bool waiting_for_window;   // the next seed is the window the last dispatched entry leaves
    uint8_t seed[LZ_WINDOW_BYTES];              // for the next entry to dispatch
    uint8_t committed_window[LZ_WINDOW_BYTES];  // after the last committed entry
};

// Overlays `window` with the last bytes of the open input, where one thread's encoder would
// store them. False when the input cannot be read that way (a pipe, a read error, fewer bytes
// than its size); `window` is then unchanged.
static bool overlay_input_end(HostFile* input, uint8_t* window)
{
    int64_t size = host_file_size(input);
    if (size < 0)
        return false;
    int64_t start = size > LZ_WINDOW_BYTES ? size - LZ_WINDOW_BYTES : 0;
    uint8_t end_bytes[LZ_WINDOW_BYTES];
    size_t count = static_cast<size_t>(size - start);
    if (!read_host_file_at(input, start, end_bytes, count))
        return false;
    for (size_t i = 0; i < count; i++)
        window[(1 + start + static_cast<int64_t>(i)) & LZ_WINDOW_MASK] = end_bytes[i];
    return true;
}

// Opens the input at `path` ahead of its turn, where that cannot block, and reads its end into
// `seed`. Null, with `seed` unchanged, when the entry must be coded in order instead.
static HostFile* open_ahead(const char* path, uint8_t* seed)
{
    if (!is_regular_host_file(path))
        return nullptr;
    HostFile* input = open_pack_input(path);
    if (input != nullptr && !overlay_input_end(input, seed)) {
        close_host_file(input);
        input = nullptr;
    }
    return input;
}

static void dispatch_next(PackOrder* order)
{
    PackJob* job = job_of(order->pool, order->dispatched);
    int next = next_pack_entry(&order->session);
    if (next == ARCHIVE_END) {
        order->list_done = true;
        return;
    }
    // The path fits: each job's path is as long as the session's buffer.
    const char* path = order->session.path_buffer;
    std::memcpy(job->path, path, std::strlen(path) + 1);
    job->input = nullptr;
    job->failure = next;
    job->index = order->dispatched;
    job->first = nullptr;
    job->last = nullptr;
    job->finished = false;
    job->waiting = false;
    order->dispatched++;
    if (next != ARCHIVE_OK) {
        order->list_done = true;
        return;
    }
    std::memcpy(job->seed, order->seed, LZ_WINDOW_BYTES);
    job->input = open_ahead(job->path, order->seed);
    job->in_order = job->input == nullptr;
    if (job->in_order)
        order->waiting_for_window = true;
    post_host_semaphore(order->pool->jobs_ready);
}

// Codes the job's entry on this thread, straight into the archive, from the window the committed
// entries left: what one thread does. The codec's result, LZ_FILE_FAILED when the input cannot be
// opened.
static int64_t code_in_order(PackOrder* order, PackJob* job)
{
    HostFile* input = open_pack_input(job->path);
    if (input == nullptr)
        return LZ_FILE_FAILED;
    std::memcpy(lzss_process_window(), order->committed_window, LZ_WINDOW_BYTES);
    int64_t byte_count = encode_pack_entry(&order->session, input);
    close_host_file(input);
    std::memcpy(job->window_after, lzss_process_window(), LZ_WINDOW_BYTES);
    return byte_count;
}

// Moves the worker's chunks of the job into the archive, or drops them when `keep` is false.
// Waits until the worker has finished the job.
static int take_chunks(PackOrder* order, PackJob* job, bool keep)
{
    for (;;) {
        PackChunk* chunk = next_queued_chunk(order->pool, job);
        if (chunk == nullptr)
            return ARCHIVE_OK;
        bool put = !keep || put_coded_bytes(&order->session, chunk->bytes, chunk->size);
        return_chunk(order->pool, chunk);
        if (!put)
            return ARCHIVE_ENCODE_FAILED;
    }
}

// Moves the next entry's bits into the archive, or returns the entry's failure.
static int commit_next(PackOrder* order)
{
    PackJob* job = job_of(order->pool, order->committed);
    PackSession* session = &order->session;
    std::memcpy(session->path_buffer, job->path, std::strlen(job->path) + 1);
    if (job->failure != ARCHIVE_OK)
        return job->failure;
    // The worker's bits are the entry's only when it started from the window it follows.
    bool seeded_right = !job->in_order &&
                        std::memcmp(job->seed, order->committed_window, LZ_WINDOW_BYTES) == 0;
    int result = take_chunks(order, job, seeded_right);
    if (result != ARCHIVE_OK)
        return result;
    if (!seeded_right)
        job->byte_count = code_in_order(order, job);
    else if (job->byte_count >= 0 && !put_coded_tail(session, job->tail, job->tail_bits))
        job->byte_count = LZ_STREAM_FAILED;
    if (job->byte_count < 0)
        return finish_pack_entry(session, job->byte_count);
    order->committed++;
    advance_head(order->pool);
    std::memcpy(order->committed_window, job->window_after, LZ_WINDOW_BYTES);
    if (order->waiting_for_window && order->committed == order->dispatched) {
        std::memcpy(order->seed, job->window_after, LZ_WINDOW_BYTES);
        order->waiting_for_window = false;
    }
    return finish_pack_entry(session, job->byte_count);
}

// Dispatches and commits every entry of the session; ARCHIVE_OK or the first failure.
static int pack_in_order(PackOrder* order)
{
    std::memcpy(order->seed, lzss_process_window(), LZ_WINDOW_BYTES);
    std::memcpy(order->committed_window, lzss_process_window(), LZ_WINDOW_BYTES);
    int result = ARCHIVE_OK;
    for (;;) {
        while (!order->list_done && !order->waiting_for_window &&
               order->dispatched - order->committed < PACK_RING)
            dispatch_next(order);
        if (order->committed == order->dispatched)
            break;
        result = commit_next(order);
        if (result != ARCHIVE_OK)
            break;
    }
    stop_workers(order->pool);
    // The process's window is left as one thread leaves it after the committed entries.
    std::memcpy(lzss_process_window(), order->committed_window, LZ_WINDOW_BYTES);
    return result;
}

int64_t pack_archive_threaded(int threads, char* path_buffer, size_t capacity,
                              const char* list_path, const char* archive_path, void* user_value,
                              ProgressCallback progress)
{
    if (threads <= 1)
        return pack_archive(path_buffer, capacity, list_path, archive_path, user_value,
                            progress);
    // Fewer threads than asked where the host has fewer to give, down to this one alone.
    PackOrder* order = static_cast<PackOrder*>(host_allocate_zeroed(1, sizeof(PackOrder)));
    if (order == nullptr)
        return pack_archive(path_buffer, capacity, list_path, archive_path, user_value,
                            progress);
    PackPool pool = {};
    bool pooled = set_up_pool(&pool, threads, capacity) && start_workers(&pool);
    PackSession* session = &order->session;
    int result = open_pack_session(session, path_buffer, capacity, list_path, archive_path,
                                   user_value, progress);
    if (result == ARCHIVE_OK && pooled) {
        order->pool = &pool;
        result = pack_in_order(order);
    } else if (result == ARCHIVE_OK) {
        result = pack_entries(session);
    }
    int64_t total = close_pack_session(session, result);
    stop_workers(&pool);
    free_pool(&pool);
    host_release(order);
    return total;
}
