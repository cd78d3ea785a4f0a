// lzss_decoder.cpp -- the LZSS decoders, the process's and any others, and the decoding of one
// entry of a bit stream, out to a sink. The process's decoder holds the process's window.
//
// A decoder does not store into its window byte by byte. It decodes into its `output`, whose
// first 4096 bytes are a copy of the window turned so that the window byte just before the entry's
// first position comes last (load_history), and whose decoded bytes follow them; so the window
// byte at position p is the output byte `distance` places back, distance being the number of
// positions from p up to the current one, and a pair is a copy from that far back, overlapping its
// own output as the window does. When the block after the copy is full, its bytes go to the sink
// and its last 4096 move to the front (write_output). At the entry's end the last 4096 bytes go
// back into the window in window order (store_history): the window then holds what an encoder's
// holds after the same entry.

#include "archive/lzss_internal.h"

#include <cstring>

#include "archive/host_files.h"

enum {
    // The decoder reads this many tokens after one refill, without looking at the bit count.
    LZ_TOKENS_PER_REFILL = BITS_REFILL_MIN / LZ_PAIR_BITS,
    // copy_match may write this many bytes past a match's end: a match 17 or more bytes back is
    // copied as 17 bytes whatever its length (2 to 17), one nearer in steps of 8 bytes (up to 24
    // for a match of 17).
    LZ_COPY_OVERRUN = LZ_MAX_MATCH - LZ_MIN_MATCH,
    // What the decoder may write past its block: it checks for a full block before each group
    // of tokens.
    LZ_OUTPUT_SLACK = LZ_TOKENS_PER_REFILL * LZ_MAX_MATCH + LZ_COPY_OVERRUN,
};

static_assert(LZ_TOKENS_PER_REFILL == 3 && LZ_TOKENS_PER_REFILL * LZ_PAIR_BITS <= BITS_REFILL_MIN,
              "one refill holds three whole tokens");
static_assert((LZ_MAX_MATCH + 7) / 8 * 8 - LZ_MAX_MATCH <= LZ_COPY_OVERRUN &&
                  (LZ_MIN_MATCH + 7) / 8 * 8 - LZ_MIN_MATCH <= LZ_COPY_OVERRUN,
              "an 8-byte step copy of any match stays within the overrun");

// One decoder: its window, and its output: a copy of the window, then the bytes decoded since
// the last hand-over to the sink, then room for the tokens decoded after the block is full and
// for a copy's overrun.
struct LzDecoder {
    uint8_t window[LZ_WINDOW_BYTES];
    uint8_t output[LZ_WINDOW_BYTES + LZ_BLOCK_BYTES + LZ_OUTPUT_SLACK];
};

// The process's decoder, whose window is the process's window.
static LzDecoder lz_process_decoder;

uint8_t* lzss_process_window() { return lz_process_decoder.window; }

void lzss_reset_window() { std::memset(lz_process_decoder.window, 0, LZ_WINDOW_BYTES); }

LzDecoder* lzss_new_decoder()
{
    LzDecoder* decoder = static_cast<LzDecoder*>(host_allocate(sizeof(LzDecoder)));
    if (decoder != nullptr)
        std::memset(decoder->window, 0, sizeof decoder->window);
    return decoder;
}

void lzss_free_decoder(LzDecoder* decoder) { host_release(decoder); }

// Puts the window, from `position` on, in front of the decoder's output, so that the byte
// `distance` places before the next output byte is the window byte `distance` places before
// `position` (distance 1 to 4096).
static void load_history(LzDecoder* decoder, int32_t position)
{
    size_t tail = LZ_WINDOW_BYTES - position;
    std::memcpy(decoder->output, decoder->window + position, tail);
    std::memcpy(decoder->output + tail, decoder->window, position);
}

// The reverse of load_history: the 4096 bytes before `out` go back into the window, the last of
// them just before `position`.
static void store_history(LzDecoder* decoder, const uint8_t* out, int32_t position)
{
    size_t tail = LZ_WINDOW_BYTES - position;
    std::memcpy(decoder->window + position, out - LZ_WINDOW_BYTES, tail);
    std::memcpy(decoder->window, out - position, position);
}

// What the decoder works with from token to token. lzss_decode_entry_with keeps it in a local
// variable, where the compiler can hold it in registers; in the BitStream it would have to be
// reloaded after every output byte, which might have been stored over it.
struct Decoding {
    BitReader reader;       // the stream's, taken for the entry and given back at its end
    uint8_t* out;           // the next output byte
    uint8_t* output_start;  // the decoder's output behind its copy of the window
    int32_t out_origin;     // the window position of output_start
};

// The window position of the next output byte.
static int32_t out_position(const Decoding& decoder)
{
    int32_t offset = static_cast<int32_t>(decoder.out - decoder.output_start);
    return (decoder.out_origin + offset) & LZ_WINDOW_MASK;
}

// Hands the decoded bytes to the sink and moves the last 4096 of them in front of output_start
// again. False when the sink failed.
static bool write_output(Decoding* decoder, const LzSink& output, int64_t* written)
{
    size_t size = static_cast<size_t>(decoder->out - decoder->output_start);
    bool ok = output.write(output.context, decoder->output_start, size);
    *written += static_cast<int64_t>(size);
    decoder->out_origin = out_position(*decoder);
    std::memmove(decoder->output_start - LZ_WINDOW_BYTES, decoder->out - LZ_WINDOW_BYTES,
                 LZ_WINDOW_BYTES);
    decoder->out = decoder->output_start;
    return ok;
}

static void drop_bits(Decoding* decoder, int count)
{
    decoder->reader.bits <<= count;
    decoder->reader.count -= count;
}

// Copies `length` bytes from `distance` bytes back, as the window does it: byte by byte, so a
// match that overlaps its own output repeats it. The copy may write up to LZ_COPY_OVERRUN bytes
// past `length` (see there); what follows overwrites them.
static inline uint8_t* copy_match(uint8_t* out, int distance, int length)
{
    const uint8_t* from = out - distance;
    if (distance >= LZ_MAX_MATCH) {
        std::memcpy(out, from, LZ_MAX_MATCH);
    } else if (distance >= 8) {
        // Each 8 bytes come from before the 8 being written.
        for (int i = 0; i < length; i += 8)
            std::memcpy(out + i, from + i, 8);
    } else if (distance == 1) {
        std::memset(out, from[0], static_cast<size_t>(length));
    } else {
        for (int i = 0; i < length; i++)
            out[i] = from[i];
    }
    return out + length;
}

// Carries out a pair: copies `length` bytes from window position `position`. Returns the next
// output byte.
static inline uint8_t* copy_pair(const Decoding& decoder, int32_t position, int length)
{
    int distance = ((out_position(decoder) - position - 1) & LZ_WINDOW_MASK) + 1;
    return copy_match(decoder.out, distance, length);
}

// Decodes the token at the top of the bits and takes its bits from the count. False for the end
// marker. Where fewer than 17 bits are held the token is read as if zeros followed them, and a
// count below 0 tells that it needed bits the stream does not have.
static inline bool decode_token(Decoding* decoder)
{
    uint64_t bits = decoder->reader.bits;
    if ((bits >> 63) != 0) {
        *decoder->out++ = static_cast<uint8_t>(bits >> 55);
        drop_bits(decoder, 1 + 8);
        return true;
    }
    int32_t position = static_cast<int32_t>(bits >> 51) & LZ_WINDOW_MASK;
    if (position == LZ_END_POSITION) {
        drop_bits(decoder, 1 + LZ_POSITION_BITS);
        return false;
    }
    drop_bits(decoder, LZ_PAIR_BITS);
    int length = (static_cast<int>(bits >> 47) & 0xf) + LZ_MIN_MATCH;
    decoder->out = copy_pair(*decoder, position, length);
    return true;
}

int64_t lzss_decode_entry(BitStream* stream, LzSink output)
{
    return lzss_decode_entry_with(&lz_process_decoder, stream, output);
}

int64_t lzss_decode_entry_with(LzDecoder* lz, BitStream* stream, LzSink output)
{
    const int32_t first_position = 1;
    load_history(lz, first_position);
    uint8_t* const output_start = lz->output + LZ_WINDOW_BYTES;
    Decoding decoder = {stream->reader, output_start, output_start, first_position};
    const uint8_t* const block_end = output_start + LZ_BLOCK_BYTES;
    int64_t written = 0;
    int64_t result = 0;
    for (;;) {
        if (decoder.out >= block_end && !write_output(&decoder, output, &written)) {
            result = LZ_FILE_FAILED;
            break;
        }
        bits_refill(stream, &decoder.reader);
        if (decoder.reader.count >= LZ_TOKENS_PER_REFILL * LZ_PAIR_BITS) {
            if (!decode_token(&decoder) || !decode_token(&decoder) || !decode_token(&decoder))
                break;
            continue;
        }
        // The end of the archive is near: one token at a time, and one cut short fails
        // without output.
        uint8_t* token_start = decoder.out;
        bool more = decode_token(&decoder);
        if (decoder.reader.count < 0) {
            decoder.out = token_start;
            decoder.reader.bits = 0;
            decoder.reader.count = 0;
            result = LZ_STREAM_FAILED;
            break;
        }
        if (!more)
            break;
    }
    stream->reader = decoder.reader;
    // The bytes decoded before a damaged end go out too; the damage is what gets reported.
    store_history(lz, decoder.out, out_position(decoder));
    if (result != LZ_FILE_FAILED && decoder.out != output_start &&
        !write_output(&decoder, output, &written) && result == 0)
        result = LZ_FILE_FAILED;
    return result < 0 ? result : written;
}
