// bit_stream.cpp -- the block I/O behind a BitStream: opening, filling and emptying its buffer,
// closing.

#include "archive/bit_stream.h"

#include "archive/host_files.h"

// A stream without its file yet, or null when memory is short. It is had before the file is
// opened, so that a file is never created or emptied for a stream that cannot be.
static BitStream* new_stream()
{
    BitStream* stream = static_cast<BitStream*>(host_allocate(sizeof(BitStream)));
    if (stream == nullptr)
        return nullptr;
    stream->file = nullptr;
    stream->drain = LzSink{nullptr, nullptr};
    stream->reader = BitReader{0, 0, stream->buffer, stream->buffer};
    stream->bits = 0;
    stream->bit_count = 0;
    stream->failed = false;
    stream->next = 0;
    return stream;
}

// The stream on the open `file`, which it owns from now on; null (the stream released) when
// `file` is null.
static BitStream* stream_on(BitStream* stream, HostFile* file)
{
    if (file == nullptr) {
        host_release(stream);
        return nullptr;
    }
    stream->file = file;
    return stream;
}

BitStream* bits_open_writer(const char* path)
{
    BitStream* stream = new_stream();
    return stream != nullptr ? stream_on(stream, create_host_file(path)) : nullptr;
}

BitStream* bits_open_partial_writer(const char* target, char* partial)
{
    BitStream* stream = new_stream();
    return stream != nullptr ? stream_on(stream, create_partial_file(target, partial)) : nullptr;
}

BitStream* bits_open_reader(const char* path)
{
    BitStream* stream = new_stream();
    return stream != nullptr ? stream_on(stream, open_host_file(path)) : nullptr;
}

void bits_init_drain_writer(BitStream* stream, LzSink drain)
{
    stream->file = nullptr;
    stream->drain = drain;
    stream->bits = 0;
    stream->bit_count = 0;
    stream->failed = false;
    stream->next = 0;
    stream->reader = BitReader{0, 0, stream->buffer, stream->buffer};
}

void bits_init_memory_reader(BitStream* stream, const uint8_t* bytes, size_t size)
{
    bits_init_drain_writer(stream, LzSink{nullptr, nullptr});
    stream->reader = BitReader{0, 0, bytes, bytes + size};
}

// Writes the buffer's bytes to the file or the drain and empties it; false when they did not all
// go.
static bool write_buffer(BitStream* stream)
{
    bool written = stream->drain.write != nullptr
                       ? stream->drain.write(stream->drain.context, stream->buffer, stream->next)
                       : write_host_file(stream->file, stream->buffer, stream->next);
    stream->next = 0;
    if (!written)
        stream->failed = true;
    return written;
}

int bits_put_word(BitStream* stream)
{
    stream->bit_count -= 32;
    uint32_t word = static_cast<uint32_t>(stream->bits >> stream->bit_count);
    uint8_t* out = stream->buffer + stream->next;
    out[0] = static_cast<uint8_t>(word >> 24);
    out[1] = static_cast<uint8_t>(word >> 16);
    out[2] = static_cast<uint8_t>(word >> 8);
    out[3] = static_cast<uint8_t>(word);
    stream->next += 4;
    if (stream->next < BITS_BUFFER_BYTES)
        return 0;
    return write_buffer(stream) ? 0 : -1;
}

BitReader bits_refill_slowly(BitStream* stream, BitReader reader)
{
    while (reader.count + 8 <= BITS_HELD_MAX) {
        if (reader.next == reader.end) {
            if (stream->file == nullptr)
                break;  // a memory reader: its bytes are all there were
            int64_t read = read_host_file(stream->file, stream->buffer, BITS_BUFFER_BYTES);
            reader.next = stream->buffer;
            reader.end = stream->buffer + (read > 0 ? read : 0);
            if (read <= 0)
                break;
        }
        reader.bits |= static_cast<uint64_t>(*reader.next++) << (56 - reader.count);
        reader.count += 8;
    }
    return reader;
}

bool bits_take_tail(BitStream* stream, uint32_t* tail, int* tail_bits)
{
    while (stream->bit_count >= 8) {
        stream->bit_count -= 8;
        stream->buffer[stream->next++] = static_cast<uint8_t>(stream->bits >> stream->bit_count);
    }
    *tail = static_cast<uint32_t>(stream->bits) & ((1u << stream->bit_count) - 1);
    *tail_bits = stream->bit_count;
    stream->bits = 0;
    stream->bit_count = 0;
    return stream->next == 0 || write_buffer(stream);
}

int bits_put_tail(BitStream* stream, uint32_t tail, int tail_bits)
{
    if (tail_bits > 16 && bits_put_field(stream, tail >> 16, tail_bits - 16) != 0)
        return -1;
    int low = tail_bits > 16 ? 16 : tail_bits;
    return low == 0 ? 0 : bits_put_field(stream, tail & ((1u << low) - 1), low);
}

int bits_put_bytes(BitStream* stream, const uint8_t* bytes, size_t size)
{
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        uint32_t three = static_cast<uint32_t>(bytes[i]) << 16 |
                         static_cast<uint32_t>(bytes[i + 1]) << 8 | bytes[i + 2];
        if (bits_put_field(stream, three, 24) != 0)
            return -1;
    }
    for (; i < size; i++) {
        if (bits_put_field(stream, bytes[i], 8) != 0)
            return -1;
    }
    return 0;
}

int bits_close_writer(BitStream* stream)
{
    // At most 31 bits are left: the whole bytes, then the last one padded with zero bits.
    while (stream->bit_count > 0) {
        int shift = stream->bit_count - 8;
        uint8_t byte = static_cast<uint8_t>(shift >= 0 ? stream->bits >> shift
                                                       : stream->bits << -shift);
        stream->buffer[stream->next++] = byte;
        stream->bit_count -= 8;
    }
    write_buffer(stream);
    bool failed = stream->failed;
    if (!close_host_file(stream->file))
        failed = true;
    host_release(stream);
    return failed ? -1 : 0;
}

void bits_close_reader(BitStream* stream)
{
    close_host_file(stream->file);
    host_release(stream);
}
