// bit_stream.h -- a bit-level view of one open file, written or read most significant bit first.
//
// A BitStream owns its file from opening to closing, and a block of bytes between the file and
// its bits: a writing stream gathers bits in `bits` and whole bytes in `buffer`, which goes to the
// file when full and when the stream is closed; a reading stream fills `buffer` a block at a
// time and takes bits from it into `bits` as they are asked for. A partly filled last byte is
// written, padded with zero bits, when a writing stream is closed.
//
// The field functions below are inline because the codec calls them once per token; what
// touches the file is in bit_stream.cpp.

#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum { BITS_BUFFER_BYTES = 1 << 16 };

// Where a writing stream without a file puts its full blocks; false when they could not go.
typedef bool (*BitsDrain)(void* context, const uint8_t* bytes, size_t size);

struct BitStream {
    FILE* file;      // null for a stream that writes to a drain
    BitsDrain drain;
    void* drain_context;
    uint64_t bits;   // writing: the last `bit_count` bits put, in the lowest places;
                     // reading: the next `bit_count` bits, the first at bit 63
    int bit_count;   // writing: 0 to 31 between calls; reading: 0 to 64
    bool failed;     // writing: a block could not be written to the file
    size_t next;     // writing: bytes held in `buffer`; reading: the next unread byte of it
    size_t end;      // reading: the bytes of `buffer` that came from the file
    uint8_t buffer[BITS_BUFFER_BYTES];
};

// Opens `path` ("\"-separated) for writing ("wb") or reading ("rb"); null on failure.
BitStream* bits_open_writer(const char* path);
BitStream* bits_open_reader(const char* path);

// Moves the oldest 32 of the gathered bits into the buffer, and the buffer to the file when it is
// full; -1 when this call could not write the buffer to the file. A failure stays recorded in
// `failed`, which closing the writer reports.
int bits_put_word(BitStream* stream);

// Moves bytes from the buffer (reading the next block of the file when it is empty) into `bits`
// until at least 57 bits are held or the file has ended. Returns the number of bits held.
int bits_refill(BitStream* stream);

// A writing stream, in the caller's memory, whose blocks go to `drain` instead of a file. The
// bits of what was put stay in the stream until a block is full: bits_take_tail hands over the
// rest.
void bits_init_drain_writer(BitStream* stream, BitsDrain drain, void* context);

// Hands the bytes held in the buffer to the drain, puts the last 0 to 31 bits put (not a whole
// byte) in `*tail` and `*tail_bits`, and empties the stream for what is put next. False when the
// drain failed.
bool bits_take_tail(BitStream* stream, uint32_t* tail, int* tail_bits);

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

inline int bits_put(BitStream* stream, int bit) { return bits_put_field(stream, bit != 0, 1); }

// Reading: the field, or -1 when the file ended or could not be read before its last bit; the
// stream then stands at the end of the file. `width` is 1 to 25.
inline int bits_get_field(BitStream* stream, int width)
{
    if (stream->bit_count < width && bits_refill(stream) < width) {
        stream->bits = 0;
        stream->bit_count = 0;
        return -1;
    }
    int value = static_cast<int>(stream->bits >> (64 - width));
    stream->bits <<= width;
    stream->bit_count -= width;
    return value;
}

inline int bits_get(BitStream* stream) { return bits_get_field(stream, 1); }

// Writes the partly filled last byte, flushes and closes the file, and releases the stream,
// whatever happens on the way. -1 when any byte failed to reach the file.
int bits_close_writer(BitStream* stream);

void bits_close_reader(BitStream* stream);
