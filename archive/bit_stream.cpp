// bit_stream.cpp -- reading and writing single bits and short fields on a standard C stream.

#include "archive/bit_stream.h"

#include <cstdlib>

#include "archive/host_files.h"

static BitStream* open_stream(const char* path, const char* mode)
{
    BitStream* stream = static_cast<BitStream*>(std::malloc(sizeof(BitStream)));
    if (stream == nullptr)
        return nullptr;
    stream->file = open_host_file(path, mode);
    if (stream->file == nullptr) {
        std::free(stream);
        return nullptr;
    }
    stream->next_bit = 0x80;
    stream->pending = 0;
    return stream;
}

BitStream* bits_open_writer(const char* path) { return open_stream(path, "wb"); }

BitStream* bits_open_reader(const char* path) { return open_stream(path, "rb"); }

int bits_put(BitStream* stream, int bit)
{
    if (bit != 0)
        stream->pending |= stream->next_bit;
    stream->next_bit >>= 1;
    if (stream->next_bit == 0) {
        if (std::putc(stream->pending, stream->file) != stream->pending)
            return -1;
        stream->pending = 0;
        stream->next_bit = 0x80;
    }
    return 0;
}

int bits_put_field(BitStream* stream, uint32_t value, int width)
{
    for (uint32_t mask = 1u << (width - 1); mask != 0; mask >>= 1) {
        if (bits_put(stream, (value & mask) != 0) != 0)
            return -1;
    }
    return 0;
}

int bits_get(BitStream* stream)
{
    if (stream->next_bit == 0x80) {
        stream->pending = std::getc(stream->file);
        if (stream->pending == EOF)
            return -1;
    }
    int bit = (stream->pending & stream->next_bit) != 0;
    stream->next_bit >>= 1;
    if (stream->next_bit == 0)
        stream->next_bit = 0x80;
    return bit;
}

int bits_get_field(BitStream* stream, int width)
{
    int value = 0;
    for (int i = 0; i < width; i++) {
        int bit = bits_get(stream);
        if (bit < 0)
            return -1;
        value = (value << 1) | bit;
    }
    return value;
}

int bits_close_writer(BitStream* stream)
{
    int result = 0;
    if (stream->next_bit != 0x80 && std::putc(stream->pending, stream->file) != stream->pending)
        result = -1;
    if (std::fflush(stream->file) != 0 || std::ferror(stream->file))
        result = -1;
    if (std::fclose(stream->file) != 0)
        result = -1;
    std::free(stream);
    return result;
}

void bits_close_reader(BitStream* stream)
{
    std::fclose(stream->file);
    std::free(stream);
}
