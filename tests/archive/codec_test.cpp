// codec_test.cpp -- the LZSS codec and its bit stream: exact codes, damaged streams, round trips.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "archive/bit_stream.h"
#include "archive/lzss_codec.h"
#include "support/test_support.h"

namespace {

// An input in memory, given to the encoder in reads of at most `chunk` bytes (fewer than asked
// are not the end), then 0; asked again, it gives `grown`, as a file that grew after its end was
// read.
struct MemorySource {
    Bytes bytes;
    size_t chunk;
    Bytes grown;
    size_t next;
    bool ended;
};

int64_t read_memory(void* context, uint8_t* bytes, size_t size)
{
    MemorySource* source = static_cast<MemorySource*>(context);
    const Bytes& from = source->ended ? source->grown : source->bytes;
    size_t count = std::min({size, source->chunk, from.size() - source->next});
    if (count == 0 && !source->ended) {
        source->ended = true;
        source->next = 0;
        return 0;
    }
    std::copy_n(from.begin() + source->next, count, bytes);
    source->next += count;
    return static_cast<int64_t>(count);
}

bool append_to(void* context, const uint8_t* bytes, size_t size)
{
    static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), bytes, bytes + size);
    return true;
}

// Codes each source as one entry of a single stream, with the window as it is, and expects each
// entry to hold its source's bytes. The last byte is padded with zero bits, as closing a file
// would.
Bytes encode_sources(std::vector<MemorySource> sources)
{
    Bytes archive;
    std::unique_ptr<BitStream> stream(new BitStream);
    bits_init_drain_writer(stream.get(), LzSink{append_to, &archive});
    for (MemorySource& source : sources) {
        EXPECT_EQ(lzss_encode_entry(LzSource{read_memory, &source}, stream.get()),
                  static_cast<int64_t>(source.bytes.size()));
    }
    uint32_t tail = 0;
    int tail_bits = 0;
    EXPECT_TRUE(bits_take_tail(stream.get(), &tail, &tail_bits));
    if (tail_bits > 0)
        archive.push_back(static_cast<uint8_t>(tail << (8 - tail_bits)));
    return archive;
}

// Codes each input as one entry of a single stream, with the window as it is.
Bytes encode_with_window(const std::vector<Bytes>& inputs)
{
    std::vector<MemorySource> sources;
    for (const Bytes& input : inputs)
        sources.push_back(MemorySource{input, SIZE_MAX, {}, 0, false});
    return encode_sources(sources);
}

// Codes each input as one entry of a single stream, as a freshly started process would.
Bytes encode_entries(const std::vector<Bytes>& inputs)
{
    lzss_reset_window();
    return encode_with_window(inputs);
}

struct Decoded {
    std::vector<int64_t> results;
    std::vector<Bytes> outputs;
};

// Decodes `entries` entries from `archive`, stopping at the first failure.
Decoded decode_entries(const Bytes& archive, size_t entries)
{
    std::unique_ptr<BitStream> stream(new BitStream);
    bits_init_memory_reader(stream.get(), archive.data(), archive.size());
    Decoded decoded;
    for (size_t i = 0; i < entries; i++) {
        decoded.outputs.emplace_back();
        int64_t result = lzss_decode_entry(stream.get(), LzSink{append_to, &decoded.outputs[i]});
        decoded.results.push_back(result);
        if (result < 0)
            break;
    }
    return decoded;
}

Bytes repeat(const std::string& text, int times)
{
    std::string all;
    for (int i = 0; i < times; i++)
        all += text;
    return bytes_of(all);
}

struct WorkedCode {
    const char* name;
    std::vector<Bytes> inputs;
    Bytes archive;
};

}  // namespace

TEST(LzssCodec, ReproducesWorkedCodes)
{
    const WorkedCode cases[] = {
        {"no bytes", {{}}, {0x00, 0x00}},
        {"one letter", {bytes_of("x")}, {0xbc, 0x00, 0x00}},
        {"three literals", {bytes_of("abc")}, {0xb0, 0xd8, 0xac, 0x60, 0x00}},
        {"overlapping pair", {repeat("abc", 4)}, {0xb0, 0xd8, 0xac, 0x60, 0x01, 0x70, 0x00, 0x00}},
        {"run of 20", {repeat("a", 20)}, {0xb0, 0x80, 0x07, 0xc0, 0x24, 0x00, 0x00}},
        {"two entries share a byte", {bytes_of("x"), bytes_of("y")},
         {0xbc, 0x00, 0x02, 0xf2, 0x00, 0x00}},
        {"two equal bytes are two literals", {bytes_of("aa")}, {0xb0, 0xd8, 0x40, 0x00}},
    };
    for (const WorkedCode& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encode_entries(c.inputs), c.archive);
    }
}

TEST(LzssCodec, EveryEntryStartsWithALiteral)
{
    // The second entry repeats the first; it must not begin with a match into the old window.
    Bytes archive = encode_entries({bytes_of("hello"), bytes_of("hello")});
    Bytes first = encode_entries({bytes_of("hello")});
    // First entry: 5 literals (45 bits) + end (13 bits) = 58 bits; the next flag is bit 58.
    ASSERT_GT(archive.size(), 7u);
    EXPECT_EQ((archive[7] >> 5) & 1, 1) << "second entry's first flag must be a literal";
    Decoded decoded = decode_entries(archive, 2);
    ASSERT_EQ(decoded.results, (std::vector<int64_t>{5, 5}));
    EXPECT_EQ(decoded.outputs[1], bytes_of("hello"));
    EXPECT_EQ(first.size(), 8u);
}

TEST(LzssCodec, PairCopiesFromItsOwnOutput)
{
    // Literals a, b, c, then the pair position 1 length 9 yields abc three more times.
    Decoded decoded = decode_entries({0xb0, 0xd8, 0xac, 0x60, 0x01, 0x70, 0x00, 0x00}, 1);
    ASSERT_EQ(decoded.results, std::vector<int64_t>{12});
    EXPECT_EQ(decoded.outputs[0], repeat("abc", 4));
}

TEST(LzssCodec, LongestLengthFieldCopiesSeventeenBytes)
{
    // literal 'q' (1 01110001), pair position 1 length field 15 (0 000000000001 1111), end.
    // Bits: 10111000 10000000 00000111 11000000 0000000 -> b8 80 07 c0 00
    Decoded decoded = decode_entries({0xb8, 0x80, 0x07, 0xc0, 0x00}, 1);
    ASSERT_EQ(decoded.results, std::vector<int64_t>{18});
    EXPECT_EQ(decoded.outputs[0], repeat("q", 18));
}

struct CarryOver {
    const char* name;
    Bytes first;
    Bytes second;
};

TEST(LzssCodec, DecodingLeavesTheWindowAsEncodingDoes)
{
    // Near its end the encoder compares window bytes that `first` left after the look-ahead of
    // `second`, so decoding `first` must leave the window exactly as encoding it does.
    Bytes wrapping = text_bytes(LZ_WINDOW_BYTES, 7);  // then "baabbab" at positions 1 to 7
    std::fill(wrapping.begin() + 7, wrapping.begin() + 23, 0);
    Bytes tail = bytes_of("baabbab");
    wrapping.insert(wrapping.end(), tail.begin(), tail.end());
    // An entry of 4090 bytes after one that fills the window: its last strings run through the
    // window's end into position 0, which only decoding the first entry wrote.
    std::mt19937 generator(1);
    Bytes full(LZ_WINDOW_BYTES);
    for (uint8_t& byte : full)
        byte = "ab"[generator() % 2];
    const CarryOver cases[] = {
        {"short entry", bytes_of("baabbab"), bytes_of("bbbabb")},
        {"entry that wraps the window", wrapping, bytes_of("bbbabb")},
        {"entry of 4090 bytes", full, Bytes(full.begin(), full.begin() + 4090)},
    };
    for (const CarryOver& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes first = encode_entries({c.first});
        Bytes expected = encode_with_window({c.second});
        ASSERT_NE(expected, encode_entries({c.second})) << "the case must depend on the window";
        lzss_reset_window();
        ASSERT_EQ(decode_entries(first, 1).results[0], static_cast<int64_t>(c.first.size()));
        EXPECT_EQ(encode_with_window({c.second}), expected);
    }
}

struct DamagedStream {
    const char* name;
    Bytes archive;
    int64_t decoded_before_failure;
};

TEST(LzssCodec, RejectsStreamsThatEndInsideAnEntry)
{
    const DamagedStream cases[] = {
        {"empty file", {}, 0},
        {"ends inside a literal", {0xbc}, 0},
        {"ends after a literal, no end marker", {0xbc, 0x00}, 1},
        {"ends inside a match position", {0xb0, 0xd8, 0xac, 0x60}, 3},
        {"ends inside a length field", {0xb0, 0xd8, 0xac, 0x60, 0x01}, 3},
        {"ends inside the end marker", {0xb0, 0xd8, 0xac, 0x60, 0x01, 0x70, 0x00}, 12},
    };
    for (const DamagedStream& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded decoded = decode_entries(c.archive, 1);
        ASSERT_EQ(decoded.results.size(), 1u);
        EXPECT_EQ(decoded.results[0], LZ_STREAM_FAILED);
        EXPECT_EQ(static_cast<int64_t>(decoded.outputs[0].size()), c.decoded_before_failure);
    }
}

TEST(LzssCodec, ReadingPastTheLastEntryFails)
{
    Decoded decoded = decode_entries(encode_entries({bytes_of("x"), bytes_of("y")}), 3);
    EXPECT_EQ(decoded.results, (std::vector<int64_t>{1, 1, LZ_STREAM_FAILED}));
}

TEST(LzssCodec, DecoderStopsOnArbitraryBytes)
{
    // Whatever the bytes, decoding ends: with an entry, or with a failure at the end of data.
    for (uint32_t seed = 1; seed <= 200; seed++) {
        SCOPED_TRACE(seed);
        Bytes garbage = random_bytes(1 + seed * 7 % 300, seed);
        Decoded decoded = decode_entries(garbage, 1000);
        EXPECT_EQ(decoded.results.back(), LZ_STREAM_FAILED);
    }
}

struct RoundTrip {
    const char* name;
    Bytes input;
};

TEST(LzssCodec, RoundTripsAroundTheWindowWrap)
{
    const RoundTrip cases[] = {
        {"text 4095", text_bytes(4095, 1)},     {"text 4096", text_bytes(4096, 2)},
        {"text 4097", text_bytes(4097, 3)},     {"text 65541", text_bytes(65541, 4)},
        {"random 70000", random_bytes(70000, 5)}, {"runs 100000", run_bytes(100000, 6)},
        {"zeros 9000", Bytes(9000, 0)},         {"one byte", bytes_of("z")},
        {"two bytes", bytes_of("zz")},          {"eighteen equal", repeat("z", 18)},
        {"zeros 200000: pairs to the end of the output block", Bytes(200000, 0)},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes archive = encode_entries({c.input});
        Decoded decoded = decode_entries(archive, 1);
        ASSERT_EQ(decoded.results, std::vector<int64_t>{static_cast<int64_t>(c.input.size())});
        EXPECT_TRUE(decoded.outputs[0] == c.input);
    }
}

struct SourceCase {
    const char* name;
    MemorySource source;
};

TEST(LzssCodec, CodesWhatItsSourceGaveUpToItsFirstEnd)
{
    // Reads shorter than asked are not the end; the first 0 is, for good.
    const Bytes input = text_bytes(70000, 9);  // more than one input block
    const Bytes whole = encode_entries({input});
    const SourceCase cases[] = {
        {"reads of 1000 bytes", {input, 1000, {}, 0, false}},
        {"grows after its end was read", {input, SIZE_MAX, bytes_of("grown"), 0, false}},
    };
    for (const SourceCase& c : cases) {
        SCOPED_TRACE(c.name);
        lzss_reset_window();
        EXPECT_EQ(encode_sources({c.source}), whole);
    }
}

TEST(LzssCodec, ManyEntriesInOneStreamStartMidByte)
{
    std::vector<Bytes> inputs;
    for (uint32_t i = 0; i < 60; i++) {
        size_t size = (i * 977) % 5000;
        inputs.push_back(i % 3 == 0 ? text_bytes(size, i) : i % 3 == 1 ? random_bytes(size, i)
                                                                        : run_bytes(size, i));
    }
    Decoded decoded = decode_entries(encode_entries(inputs), inputs.size());
    ASSERT_EQ(decoded.outputs.size(), inputs.size());
    for (size_t i = 0; i < inputs.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(decoded.results[i], static_cast<int64_t>(inputs[i].size()));
        EXPECT_TRUE(decoded.outputs[i] == inputs[i]);
    }
}

TEST(BitStream, PadsTheLastPartialByteWithZeros)
{
    ScratchFolder scratch;
    BitStream* stream = bits_open_writer((scratch / "bits").c_str());
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(bits_put_field(stream, 0x5, 3), 0);       // 101
    ASSERT_EQ(bits_put_field(stream, 0xABC, 12), 0);    // 1010 1011 1100
    ASSERT_EQ(bits_close_writer(stream), 0);
    EXPECT_EQ(read_file(scratch / "bits"), (Bytes{0xb5, 0x78}));

    stream = bits_open_reader((scratch / "bits").c_str());
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(bits_get_field(stream, 3), 0x5);
    EXPECT_EQ(bits_get_field(stream, 12), 0xABC);
    EXPECT_EQ(bits_get(stream), 0);  // the padding bit
    EXPECT_EQ(bits_get(stream), -1);
    bits_close_reader(stream);
}

TEST(BitStream, ReportsAWriteThatFailsOnlyAtClose)
{
#ifdef __linux__
    BitStream* stream = bits_open_writer("/dev/full");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(bits_put_field(stream, 0xAB, 8), 0);  // buffered, not yet on the device
    EXPECT_EQ(bits_close_writer(stream), -1);
#else
    GTEST_SKIP() << "needs /dev/full";
#endif
}
