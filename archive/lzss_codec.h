// lzss_codec.h -- LZSS coding of one file into one entry of a bit stream, and back.
//
// 4096-byte window, matches as an absolute 12-bit window position and a 4-bit length (2 to 17),
// one flag bit before every token, and an end marker (flag 0, position 0) after each entry.
// The window and the encoder's search tree are process-wide and live as long as the process:
// one entry is coded at a time, and the window's bytes carry over from entry to entry.

#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/bit_stream.h"

enum {
    LZ_WINDOW_BYTES = 4096,
    LZ_WINDOW_MASK = LZ_WINDOW_BYTES - 1,
    LZ_POSITION_BITS = 12,
    LZ_LENGTH_BITS = 4,
    LZ_MIN_MATCH = 2,
    LZ_MAX_MATCH = 17,
    LZ_ROOT_NODE = LZ_WINDOW_BYTES,
    LZ_END_POSITION = 0,
};

// Failures of the codec's entry functions; a success is a byte count of 0 or more.
enum {
    LZ_STREAM_FAILED = -1,  // encoding: a write to the archive failed; decoding: the archive
                            // ended or could not be read before the entry's end marker
    LZ_FILE_FAILED = -2,    // encoding: the input could not be read; decoding: the output
                            // could not be written
};

// Where the encoder takes its bytes: up to `size` of them into `bytes`; the number given, 0 at the
// end of the input, -1 when it could not be read.
struct LzSource {
    int64_t (*read)(void* context, uint8_t* bytes, size_t size);
    void* context;
};

// Where the decoder puts its bytes, a block at a time: false when they could not go.
struct LzSink {
    bool (*write)(void* context, const uint8_t* bytes, size_t size);
    void* context;
};

// Reads `input` to its end and appends one entry to `stream`. Returns the number of bytes read.
int64_t lzss_encode_entry(LzSource input, BitStream* stream);

// Reads one entry from `stream` and writes its bytes to `output`. Returns their number.
int64_t lzss_decode_entry(BitStream* stream, LzSink output);

// One encoder's window, search tree and input block. The process has one, which
// lzss_encode_entry uses and whose window the decoder shares; a pack on several threads gives each
// thread one of its own, seeded with the window that the process's encoder would hold when it
// reached that thread's entry.
struct LzEncoder;

LzEncoder* lzss_process_encoder();

// A new encoder with an all-zero window, or null when memory is short.
LzEncoder* lzss_new_encoder();
void lzss_free_encoder(LzEncoder* encoder);

// lzss_encode_entry with the given encoder.
int64_t lzss_encode_entry_with(LzEncoder* encoder, LzSource input, BitStream* stream);

// The 4096 bytes of an encoder's window, copied out or in.
void lzss_get_window(const LzEncoder* encoder, uint8_t* window);
void lzss_set_window(LzEncoder* encoder, const uint8_t* window);

// Puts the window back into the state of a freshly started process (all zero). The encoder's
// choice between equally good matches near the end of an input depends on it, so a process that
// must reproduce what a fresh one writes calls this first.
void lzss_reset_window();
