// pipelined_unpack.cpp -- unpack_archive with the decoding on a second thread.
//
// The decoder thread decodes the entries in list order into a ring of UNPACK_BLOCKS blocks; an
// entry's last block (empty for an empty entry) marks its end and carries the decoder's result.
// It stops after an entry that fails. Archives under UNPACK_PIPE_MIN_BYTES unpack on one thread. The calling thread creates each entry's file, writes its blocks, closes it
// and reports it, exactly as the one-thread unpack does; at the first failure it stops the decoder
// and creates nothing more.

#include "archive/threaded_ops.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "archive/archive_steps.h"
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
static bool worth_a_thread(const UnpackRun* run, bool always)
{
    FILE* file = run->archive->file;
    if (run->names->empty())
        return false;
    if (always)
        return true;
    if (std::fseek(file, 0, SEEK_END) != 0)
        return true;
    long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    return size < 0 || size >= UNPACK_PIPE_MIN_BYTES;
}

struct UnpackBlock {
    size_t size;
    bool last;       // the end of an entry, with the decoder's result
    int64_t result;
    uint8_t bytes[UNPACK_BLOCK_BYTES];
};

struct UnpackPipe {
    const UnpackRun* run;
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
    size_t count = pipe->run->names->size();
    for (size_t i = 0; i < count; i++) {
        int64_t result = lzss_decode_entry(pipe->run->archive, LzSink{put_block, pipe});
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

// Writes the next entry's blocks to `output`; the byte count, or the ArchiveResult of a failure.
static int64_t write_entry(UnpackPipe* pipe, FILE* output)
{
    for (;;) {
        wait_host_semaphore(pipe->full_blocks);
        UnpackBlock* block = &pipe->blocks[pipe->blocks_taken++ % UNPACK_BLOCKS];
        bool written = std::fwrite(block->bytes, 1, block->size, output) == block->size;
        bool last = block->last;
        int64_t result = block->result;
        post_host_semaphore(pipe->free_blocks);
        if (!written)
            return ARCHIVE_WRITE_FAILED;
        if (last && result == LZ_STREAM_FAILED)
            return ARCHIVE_DECODE_FAILED;
        if (last)
            return result >= 0 ? result : int64_t(ARCHIVE_WRITE_FAILED);
    }
}

static int write_entries(UnpackPipe* pipe)
{
    const UnpackRun* run = pipe->run;
    for (const std::string& name : *run->names) {
        // Each name fitted behind the directory when the list was checked.
        std::memcpy(run->path_buffer + run->directory_length, name.c_str(), name.size() + 1);
        if (run->cancel_flag != nullptr && *run->cancel_flag != 0)
            return ARCHIVE_CANCELLED;
        FILE* output = nullptr;
        int created = create_entry_file(run->path_buffer, run->directory_length, &output);
        if (created != ARCHIVE_OK)
            return created;
        int64_t byte_count = write_entry(pipe, output);
        bool closed = std::fclose(output) == 0;
        if (byte_count < 0)
            return static_cast<int>(byte_count);
        if (!closed)
            return ARCHIVE_WRITE_FAILED;
        if (run->progress != nullptr)
            run->progress(byte_count, run->path_buffer, run->user_value);
    }
    return ARCHIVE_OK;
}

static int unpack_in_pipe(const UnpackRun* run, void* context)
{
    if (!worth_a_thread(run, *static_cast<const bool*>(context)))
        return unpack_archive_step(run);

    UnpackPipe pipe = {};
    pipe.run = run;
    pipe.blocks = static_cast<UnpackBlock*>(std::malloc(UNPACK_BLOCKS * sizeof(UnpackBlock)));
    // The two threads hand blocks to each other every few microseconds.
    pipe.free_blocks = new_host_semaphore(UNPACK_BLOCKS, true);
    pipe.full_blocks = new_host_semaphore(0, true);
    HostThread* decoder = nullptr;
    if (pipe.blocks != nullptr && pipe.free_blocks != nullptr && pipe.full_blocks != nullptr)
        decoder = start_host_thread(run_decoder, &pipe);
    int result;
    if (decoder != nullptr) {
        result = write_entries(&pipe);
        pipe.stopping = true;
        post_host_semaphore(pipe.free_blocks);
        join_host_thread(decoder);
    } else {
        result = unpack_archive_step(run);  // on this thread, as unpack_archive
    }
    std::free(pipe.blocks);
    if (pipe.free_blocks != nullptr)
        free_host_semaphore(pipe.free_blocks);
    if (pipe.full_blocks != nullptr)
        free_host_semaphore(pipe.full_blocks);
    return result;
}

int unpack_archive_pipelined(bool always, const char* archive_path, const char* list_path,
                             char* path_buffer, size_t capacity, void* user_value,
                             const int* cancel_flag, ProgressCallback progress)
{
    return unpack_archive_using(unpack_in_pipe, &always, archive_path, list_path, path_buffer,
                                capacity, user_value, cancel_flag, progress);
}
