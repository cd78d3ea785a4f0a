// bit_stream.h -- a bit-level view of one open file, written or read most significant bit first.
//
// A stream may also write to a drain instead of a file, or read the caller's memory.
//
// A BitStream owns its file from opening to closing, and a block of bytes between the file and
// its bits: a writing stream gathers bits in `bits` and whole bytes in `buffer`, which goes to the
// file when full and when the stream is closed; a reading stream fills `buffer` a block at a
// time and takes bits from it into its `reader` as they are asked for. A partly filled last byte is
// written, padded with zero bits, when a writing stream is closed.
//
// The field functions below are inline because the codec calls them once per token; what
// touches the file is in bit_stream.cpp.

#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/host_files.h"

enum { BITS_BUFFER_BYTES = 1 << 16 };

// Where bytes go a block at a time: a writing stream without a file puts its full blocks there,
// the decoder its output. `write` returns false when the bytes could not go.
struct LzSink {
    bool (*write)(void* context, const uint8_t* bytes, size_t size);
    void* context;
};

// What a reading stream holds between the file and its reader: the next bits, and where in the
// stream's buffer (or the caller's memory) the bits after them come from. The decoder keeps a
// copy in a local variable while it decodes an entry (where the compiler can keep it in
// registers) and gives it back.
struct BitReader {
    uint64_t bits;        // the next `count` bits, the first at bit 63; behind them the stream's
                          // following bits or zeros, and only zeros behind the end of the file
    int count;            // 0 to 63
    const uint8_t* next;  // the first byte of the buffer not yet in `bits`
    const uint8_t* end;   // the end of the bytes read into the buffer
};

struct BitStream {
    HostFile* file;  // null for a stream that writes to a drain or reads from memory
    LzSink drain;    // writing without a file
    uint64_t bits;   // writing: the last `bit_count` bits put, in the lowest places
    int bit_count;   // writing: 0 to 31 between calls
    bool failed;     // writing: a block could not be written to the file
    size_t next;     // writing: bytes held in `buffer`
    BitReader reader;  // reading
    uint8_t buffer[BITS_BUFFER_BYTES];
};

// Creates (or empties) `path` ("\"-separated) for writing, or opens it for reading; null on
// failure.
BitStream* bits_open_writer(const char* path);
// Creates the partial file that is to replace `target` (create_partial_file), its name put in
// `partial`; null on failure.
BitStream* bits_open_partial_writer(const char* target, char* partial);
BitStream* bits_open_reader(const char* path);

// Moves the oldest 32 of the gathered bits into the buffer, and the buffer to the file when it is
// full; -1 when this call could not write the buffer to the file. A failure stays recorded in
// `failed`, which closing the writer reports.
int bits_put_word(BitStream* stream);

// The eight bytes at `bytes` as one number, the first byte the most significant.
inline uint64_t bits_load_word(const uint8_t* bytes)
{
    return static_cast<uint64_t>(bytes[0]) << 56 | static_cast<uint64_t>(bytes[1]) << 48 |
           static_cast<uint64_t>(bytes[2]) << 40 | static_cast<uint64_t>(bytes[3]) << 32 |
           static_cast<uint64_t>(bytes[4]) << 24 | static_cast<uint64_t>(bytes[5]) << 16 |
           static_cast<uint64_t>(bytes[6]) << 8 | static_cast<uint64_t>(bytes[7]);
}

enum {
    BITS_HELD_MAX = 63,     // `count` stays below 64, so that `bits >> count` is defined
    BITS_REFILL_MIN = 56,   // a refill leaves 56 to 63 bits held, unless the file ends
};

// bits_refill when fewer than 8 bytes are left in the buffer: byte by byte, reading the next
// block of the file when the buffer is empty. The reader goes in and out by value, so that the
// decoder's copy never has its address taken and can stay in registers.
BitReader bits_refill_slowly(BitStream* stream, BitReader reader);

// Tops `reader` (the stream's, or the decoder's copy of it) up to BITS_REFILL_MIN to 63 bits;
// at the end of the file fewer stay held, with zeros behind them.
//
// With 8 bytes in the buffer it takes them as one word: the whole bytes that fit below 64 bits,
// which from count = 8a + b (b < 8) are 7 - a bytes, leaving 56 + b = count | 56 bits; the top
// bits of the next byte are set as well, and the next refill sets them again to the same values.
inline void bits_refill(BitStream* stream, BitReader* reader)
{
    if (reader->end - reader->next >= 8) {
        reader->bits |= bits_load_word(reader->next) >> reader->count;
        reader->next += (BITS_HELD_MAX - reader->count) / 8;
        reader->count |= BITS_REFILL_MIN;
        return;
    }
    *reader = bits_refill_slowly(stream, *reader);
}

static_assert((BITS_HELD_MAX | BITS_REFILL_MIN) == BITS_HELD_MAX && BITS_REFILL_MIN % 8 == 0,
              "count | 56 adds 8 for each byte taken and stays below 64");

// A writing stream, in the caller's memory, whose blocks go to `drain` instead of a file. The
// bits of what was put stay in the stream until a block is full: bits_take_tail hands over the
// rest.
void bits_init_drain_writer(BitStream* stream, LzSink drain);

// A reading stream, in the caller's memory, that reads the caller's `size` bytes at `bytes`
// instead of a file; they must stay there while it reads. There is nothing to close.
void bits_init_memory_reader(BitStream* stream, const uint8_t* bytes, size_t size);

// Hands the bytes held in the buffer to the drain, puts the last 0 to 31 bits put (not a whole
// byte) in `*tail` and `*tail_bits`, and empties the stream for what is put next. False when the
// drain failed.
bool bits_take_tail(BitStream* stream, uint32_t* tail, int* tail_bits);

// Puts the 0 to 31 bits that bits_take_tail handed over behind the bits put so far. 0, or -1 as
// bits_put_field.
int bits_put_tail(BitStream* stream, uint32_t tail, int tail_bits);

// Puts `size` whole bytes, most significant bit first, behind the bits put so far, wherever in a
// byte they end. 0, or -1 as bits_put_field.
int bits_put_bytes(BitStream* stream, const uint8_t* bytes, size_t size);

// Writing: 0, or -1 when the stream's bytes could not be written. `width` is 1 to 25.
inline int bits_put_field(BitStream* stream, uint32_t value, int width)
{
    stream->bits = (stream->bits << width) | (value & ((1u << width) - 1));
    stream->bit_count += width;
    return stream->bit_count >= 32 ? bits_put_word(stream) : 0;
}

// Reading: the field, or -1 when the file ended or could not be read before its last bit; the
// stream then stands at the end of the file. `width` is 1 to 25.
inline int bits_get_field(BitStream* stream, int width)
{
    BitReader* reader = &stream->reader;
    if (reader->count < width)
        bits_refill(stream, reader);
    if (reader->count < width) {
        reader->bits = 0;
        reader->count = 0;
        return -1;
    }
    int value = static_cast<int>(reader->bits >> (64 - width));
    reader->bits <<= width;
    reader->count -= width;
    return value;
}

inline int bits_get(BitStream* stream) { return bits_get_field(stream, 1); }

// Writes the partly filled last byte, flushes and closes the file, and releases the stream,
// whatever happens on the way. -1 when any byte failed to reach the file.
int bits_close_writer(BitStream* stream);

void bits_close_reader(BitStream* stream);
