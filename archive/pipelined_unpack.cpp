// pipelined_unpack.cpp -- unpack_archive with the decoding on a second thread.
//
// The decoder thread decodes the entries in list order into a ring of UNPACK_BLOCKS blocks; an
// entry's last block (empty for an empty entry) marks its end and carries the decoder's result.
// It stops after an entry that fails. Archives under UNPACK_PIPE_MIN_BYTES unpack on one thread.
// The calling thread runs the session's one loop over the entries (unpack_entries), as the
// one-thread unpack does, with a writer that takes each entry's blocks from the ring; at the
// first failure it stops the decoder and creates nothing more.

#include "archive/threaded_ops.h"

#include <atomic>
#include <cstring>

#include "archive/archive_session.h"
#include "archive/host_threads.h"
#include "archive/lzss_codec.h"

enum {
    UNPACK_BLOCKS = 8,
    UNPACK_BLOCK_BYTES = 1 << 16,  // what the decoder hands over at a time, at most
    // Smaller archives unpack on one thread: waking the other thread for each block costs more
    // than the overlap saves (a 1.1 MB archive of 11 files: 12.5 ms against 10.5 ms).
    UNPACK_PIPE_MIN_BYTES = 4 << 20,
};

// True when the archive is worth a second thread: asked for, or large, or of unknown size (a
// pipe). Reads only the size; the archive's next byte stays the first.
static bool worth_a_thread(const UnpackSession* session, bool always)
{
    if (unpack_entry_count(session) == 0)
        return false;
    if (always)
        return true;
    int64_t size = unpack_archive_size(session);
    return size < 0 || size >= UNPACK_PIPE_MIN_BYTES;
}

struct UnpackBlock {
    size_t size;
    bool last;       // the end of an entry, with the decoder's result
    int64_t result;
    uint8_t bytes[UNPACK_BLOCK_BYTES];
};

struct UnpackPipe {
    UnpackSession* session;
    UnpackBlock* blocks;  // UNPACK_BLOCKS
    int blocks_put;       // by the decoder
    int blocks_taken;     // by the writer
    UnpackBlock* held;    // the decoder's last filled block, not yet handed over
    HostSemaphore* free_blocks;
    HostSemaphore* full_blocks;
    std::atomic<bool> stopping;
};

// The next free block, or null when the pipe is stopping.
static UnpackBlock* next_free_block(UnpackPipe* pipe)
{
    if (pipe->stopping)
        return nullptr;
    wait_host_semaphore(pipe->free_blocks);
    if (pipe->stopping)
        return nullptr;
    return &pipe->blocks[pipe->blocks_put++ % UNPACK_BLOCKS];
}

// Hands the held block over. A block is held until the next one is filled or the entry ends, so
// that the end of an entry usually travels with its last bytes: one hand-over, not two.
static void hand_over_held(UnpackPipe* pipe)
{
    if (pipe->held != nullptr)
        post_host_semaphore(pipe->full_blocks);
    pipe->held = nullptr;
}

// The decoder's sink: the bytes go to the writer in blocks.
static bool put_block(void* context, const uint8_t* bytes, size_t size)
{
    UnpackPipe* pipe = static_cast<UnpackPipe*>(context);
    while (size > 0) {
        hand_over_held(pipe);
        UnpackBlock* block = next_free_block(pipe);
        if (block == nullptr)
            return false;
        block->size = size < size_t(UNPACK_BLOCK_BYTES) ? size : size_t(UNPACK_BLOCK_BYTES);
        block->last = false;
        std::memcpy(block->bytes, bytes, block->size);
        bytes += block->size;
        size -= block->size;
        pipe->held = block;
    }
    return true;
}

static void run_decoder(void* context)
{
    UnpackPipe* pipe = static_cast<UnpackPipe*>(context);
    for (size_t i = 0; i < unpack_entry_count(pipe->session); i++) {
        int64_t result = decode_unpack_entry(pipe->session, LzSink{put_block, pipe});
        UnpackBlock* block = pipe->held;
        if (block == nullptr) {
            block = next_free_block(pipe);
            if (block == nullptr)
                return;
            block->size = 0;
            pipe->held = block;
        }
        block->last = true;
        block->result = result;
        hand_over_held(pipe);
        if (result < 0)
            return;
    }
}

// The writer of the calling thread: the next entry's blocks into `output`. The decoder's byte
// count or failure, or LZ_FILE_FAILED when a block could not be written.
static int64_t write_entry(void* context, HostFile* output)
{
    UnpackPipe* pipe = static_cast<UnpackPipe*>(context);
    bool written = true;
    for (;;) {
        wait_host_semaphore(pipe->full_blocks);
        UnpackBlock* block = &pipe->blocks[pipe->blocks_taken++ % UNPACK_BLOCKS];
        written = written && write_entry_bytes(pipe->session, output, block->bytes, block->size);
        bool last = block->last;
        int64_t result = block->result;
        post_host_semaphore(pipe->free_blocks);
        if (!written)
            return LZ_FILE_FAILED;
        if (last)
            return result;
    }
}

// Extracts the session's entries with the decoder on a second thread; false when the thread or
// its ring could not be had (nothing has been extracted then).
static bool unpack_in_pipe(UnpackSession* session, int* result)
{
    UnpackPipe pipe = {};
    pipe.session = session;
    pipe.blocks = static_cast<UnpackBlock*>(host_allocate(UNPACK_BLOCKS * sizeof(UnpackBlock)));
    // The two threads hand blocks to each other every few microseconds.
    pipe.free_blocks = new_host_semaphore(UNPACK_BLOCKS, true);
    pipe.full_blocks = new_host_semaphore(0, true);
    HostThread* decoder = nullptr;
    if (pipe.blocks != nullptr && pipe.free_blocks != nullptr && pipe.full_blocks != nullptr)
        decoder = start_host_thread(run_decoder, &pipe);
    if (decoder != nullptr) {
        *result = unpack_entries(session, write_entry, &pipe);
        pipe.stopping = true;
        post_host_semaphore(pipe.free_blocks);
        join_host_thread(decoder);
    }
    host_release(pipe.blocks);
    if (pipe.free_blocks != nullptr)
        free_host_semaphore(pipe.free_blocks);
    if (pipe.full_blocks != nullptr)
        free_host_semaphore(pipe.full_blocks);
    return decoder != nullptr;
}

int unpack_archive_threaded(int threads, bool always, const char* archive_path,
                            const char* list_path, char* path_buffer, size_t capacity,
                            void* user_value, const int* cancel_flag, ProgressCallback progress,
                            bool* data_after_entries)
{
    UnpackSession session;
    int result = open_unpack_session(&session, archive_path, list_path, path_buffer, capacity,
                                     user_value, cancel_flag, progress);
    bool piped = result == ARCHIVE_OK && threads > 1 && worth_a_thread(&session, always) &&
                 unpack_in_pipe(&session, &result);
    if (result == ARCHIVE_OK && !piped)
        result = unpack_entries(&session, decode_next_entry, &session);
    if (data_after_entries != nullptr)
        *data_after_entries = result == ARCHIVE_OK && unpack_data_after_entries(&session);
    return close_unpack_session(&session, result);
}

int unpack_archive_pipelined(bool always, const char* archive_path, const char* list_path,
                             char* path_buffer, size_t capacity, void* user_value,
                             const int* cancel_flag, ProgressCallback progress)
{
    return unpack_archive_threaded(2, always, archive_path, list_path, path_buffer, capacity,
                                   user_value, cancel_flag, progress, nullptr);
}
