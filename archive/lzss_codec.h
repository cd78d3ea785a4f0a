// lzss_codec.h -- LZSS coding of one input into one entry of a bit stream, and back.
//
// 4096-byte window, matches as an absolute 12-bit window position and a 4-bit length (2 to 17),
// one flag bit before every token, and an end marker (flag 0, position 0) after each entry.
//
// The codec reads its input from a source and writes its output to a sink, a block at a time;
// it opens and holds no file of its own.
//
// The codec's state is the process's window: 4096 bytes, all zero when the process starts, that
// carry over from entry to entry and from encoding to decoding (an entry decoded leaves the window
// as encoding it does). lzss_encode_entry and lzss_decode_entry code with it.
//
// Around it each direction has a record of its own, made by the caller: an encoder (its window,
// search tree and input block) and a decoder (its window and output block). The process keeps one
// of each for the two calls above, each taking the process's window at an entry's start and giving
// it back at its end, so that a program that only decodes (setup) holds no encoder. A pack on
// several threads gives each of its workers an encoder of its own.

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

// Where the encoder takes its input from: `read` puts up to `size` bytes at `bytes` and returns
// how many it put, 0 at the end of the input, -1 when the input could not be read. Fewer bytes
// than asked are not the end. The encoder asks no more after a 0 or a -1.
struct LzSource {
    int64_t (*read)(void* context, uint8_t* bytes, size_t size);
    void* context;
};

// Reads `input` to its end and appends one entry to `stream`, with the process's encoder.
// Returns the number of bytes read.
int64_t lzss_encode_entry(LzSource input, BitStream* stream);

// Reads one entry from `stream` and hands its bytes to `output`, a block at a time, with the
// process's decoder. Returns their number.
int64_t lzss_decode_entry(BitStream* stream, LzSink output);

// The process's window: LZ_WINDOW_BYTES bytes, read and written between entries.
uint8_t* lzss_process_window();

// One encoder's window, search tree and input block.
struct LzEncoder;

// A new encoder with an all-zero window, or null when memory is short.
LzEncoder* lzss_new_encoder();
void lzss_free_encoder(LzEncoder* encoder);

// lzss_encode_entry with the given encoder. A pack on several threads seeds each worker's
// encoder with the window that the process's encoder would hold when it reached that entry.
int64_t lzss_encode_entry_with(LzEncoder* encoder, LzSource input, BitStream* stream);

// The 4096 bytes of an encoder's window, copied out or in.
void lzss_get_window(const LzEncoder* encoder, uint8_t* window);
void lzss_set_window(LzEncoder* encoder, const uint8_t* window);

// One decoder's window and output block (about 74 KB).
struct LzDecoder;

// A new decoder with an all-zero window, or null when memory is short.
LzDecoder* lzss_new_decoder();
void lzss_free_decoder(LzDecoder* decoder);

// lzss_decode_entry with the given decoder, from and into its own window.
int64_t lzss_decode_entry_with(LzDecoder* decoder, BitStream* stream, LzSink output);

// Puts the process's window back into the state of a freshly started process (all zero). The
// encoder's choice between equally good matches near the end of an input depends on it, so a
// process that must reproduce what a fresh one writes calls this first.
void lzss_reset_window();
