// bit_stream.h -- a bit-level view of one open file, written or read most significant bit first.
//
// A BitStream owns its file from opening to closing. Bits accumulate in `pending`; a full byte
// goes to the file at once, and a partly filled last byte is written, padded with zero bits,
// when a writing stream is closed.

#pragma once

#include <cstdint>
#include <cstdio>

struct BitStream {
    FILE* file;
    uint8_t next_bit;  // 0x80 down to 0x01: where the next bit goes in (or comes from) `pending`
    int32_t pending;   // writing: the byte being assembled; reading: the last byte read
};

// Opens `path` ("\"-separated) for writing ("wb") or reading ("rb"); null on failure.
BitStream* bits_open_writer(const char* path);
BitStream* bits_open_reader(const char* path);

// Writing: 0, or -1 when a byte could not be written.
int bits_put(BitStream* stream, int bit);
int bits_put_field(BitStream* stream, uint32_t value, int width);

// Reading: the bit or field, or -1 when the file ended or could not be read.
int bits_get(BitStream* stream);
int bits_get_field(BitStream* stream, int width);

// Writes the partly filled last byte, flushes and closes the file, and releases the stream,
// whatever happens on the way. -1 when any byte failed to reach the file.
int bits_close_writer(BitStream* stream);

void bits_close_reader(BitStream* stream);
