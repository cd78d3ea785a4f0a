// codec_bench.cpp -- encode and decode throughput of the LZSS codec on a few kinds of data.
//
//   codec_bench [megabytes] [scratch folder]
//
// Each kind of data is written to a file in the scratch folder, coded into one archive entry and
// decoded again, in this process, from files in the page cache. Prints one line per kind: size,
// coded size, and the median MB/s (10^6 bytes per second of uncoded data) of several runs.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/bit_stream.h"
#include "archive/lzss_codec.h"

typedef std::vector<uint8_t> Bytes;

static Bytes make_text(size_t size)
{
    static const char* const words[] = {
        "the",    "of",    "and",     "to",      "a",      "in",      "that",   "is",
        "was",    "he",    "for",     "it",      "with",   "as",      "his",    "on",
        "be",     "at",    "by",      "had",     "player", "window",  "level",  "engine",
        "render", "score", "texture", "install", "folder", "archive", "replay", "patch",
        "vehicle", "track", "lap",    "time",    "speed",  "driver",  "race",   "season",
    };
    std::mt19937 generator(1);
    Bytes bytes;
    size_t column = 0;
    while (bytes.size() < size) {
        const char* word = words[generator() % (sizeof words / sizeof words[0])];
        bytes.insert(bytes.end(), word, word + std::strlen(word));
        column += std::strlen(word) + 1;
        bytes.push_back(column > 70 ? '\n' : (generator() % 12 == 0 ? ',' : ' '));
        if (column > 70)
            column = 0;
    }
    bytes.resize(size);
    return bytes;
}

// Machine code: the bytes of this program's own executable, repeated. The window is 4096 bytes,
// so the repetition is invisible to the codec.
static Bytes make_code(size_t size, const char* program)
{
    Bytes own;
    if (FILE* file = std::fopen(program, "rb")) {
        int c;
        while ((c = std::getc(file)) != EOF)
            own.push_back(static_cast<uint8_t>(c));
        std::fclose(file);
    }
    if (own.empty())
        own = make_text(65536);
    Bytes bytes;
    while (bytes.size() < size)
        bytes.insert(bytes.end(), own.begin(), own.end());
    bytes.resize(size);
    return bytes;
}

static Bytes make_random(size_t size)
{
    std::mt19937 generator(2);
    Bytes bytes(size);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(generator() >> 24);
    return bytes;
}

static Bytes make_runs(size_t size)
{
    std::mt19937 generator(3);
    Bytes bytes;
    while (bytes.size() < size)
        bytes.insert(bytes.end(), 64 + generator() % 4000, static_cast<uint8_t>(generator() % 3));
    bytes.resize(size);
    return bytes;
}

// A table of records much alike, as a spreadsheet or a game keeps them in a binary file: 64 bytes
// each, with a counter, three small numbers, a short name from a small set, the counters of the
// previous and the next record, and zero padding. The walks of the encoder's tree run long on
// such data (about 45 visits an insertion), where the tree's small layout pays.
static void put_le32(uint8_t* bytes, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

static Bytes make_records(size_t size)
{
    static const char* const names[] = {"Kennedy", "Okafor", "Lind",  "Tanaka",
                                        "Moreau",  "Silva",  "Novak", "Haddad"};
    std::mt19937 generator(4);
    Bytes bytes;
    for (uint32_t counter = 0; bytes.size() < size; counter++) {
        uint8_t record[64] = {};
        put_le32(record, counter);
        const uint32_t bounds[] = {4, 10, 3};
        for (int i = 0; i < 3; i++)
            record[4 + 2 * i] = static_cast<uint8_t>(generator() % bounds[i]);
        const char* name = names[generator() % (sizeof names / sizeof names[0])];
        std::memcpy(record + 10, name, std::strlen(name));
        put_le32(record + 24, counter == 0 ? 0 : counter - 1);
        put_le32(record + 40, counter + 1);
        bytes.insert(bytes.end(), record, record + sizeof record);
    }
    bytes.resize(size);
    return bytes;
}

static bool write_bytes(const std::string& path, const Bytes& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

static double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The codec's source and sink on a C stream.
static int64_t read_file(void* file, uint8_t* bytes, size_t size)
{
    size_t read = std::fread(bytes, 1, size, static_cast<FILE*>(file));
    return read == 0 && std::ferror(static_cast<FILE*>(file)) ? -1 : static_cast<int64_t>(read);
}

static bool write_file(void* file, const uint8_t* bytes, size_t size)
{
    return std::fwrite(bytes, 1, size, static_cast<FILE*>(file)) == size;
}

static double encode_seconds(const std::string& input_path, const std::string& archive_path)
{
    FILE* input = std::fopen(input_path.c_str(), "rb");
    BitStream* stream = bits_open_writer(archive_path.c_str());
    if (input == nullptr || stream == nullptr)
        std::exit(2);
    auto start = std::chrono::steady_clock::now();
    int64_t count = lzss_encode_entry(LzSource{read_file, input}, stream);
    bool closed = bits_close_writer(stream) == 0;
    double elapsed = seconds_since(start);
    std::fclose(input);
    if (count < 0 || !closed)
        std::exit(3);
    return elapsed;
}

static double decode_seconds(const std::string& archive_path, const std::string& output_path)
{
    BitStream* stream = bits_open_reader(archive_path.c_str());
    FILE* output = std::fopen(output_path.c_str(), "wb");
    if (output == nullptr || stream == nullptr)
        std::exit(2);
    auto start = std::chrono::steady_clock::now();
    int64_t count = lzss_decode_entry(stream, LzSink{write_file, output});
    bool closed = std::fclose(output) == 0;
    double elapsed = seconds_since(start);
    bits_close_reader(stream);
    if (count < 0 || !closed)
        std::exit(3);
    return elapsed;
}

static double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

static long file_size(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return -1;
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
    std::fclose(file);
    return size;
}

int main(int argc, char** argv)
{
    double megabytes = argc > 1 ? std::atof(argv[1]) : 4.0;
    std::string folder = argc > 2 ? argv[2] : "/tmp";
    size_t size = static_cast<size_t>(megabytes * 1e6);
    const int runs = 3;

    struct Kind {
        const char* name;
        Bytes bytes;
    } kinds[] = {
        {"text", make_text(size)},
        {"code", make_code(size, argv[0])},
        {"random", make_random(size)},
        {"runs", make_runs(size)},
        {"records", make_records(size)},
    };

    std::printf("%-8s %10s %10s %7s %12s %12s\n", "data", "bytes", "coded", "ratio",
                "encode MB/s", "decode MB/s");
    for (const Kind& kind : kinds) {
        std::string input = folder + "/codec_bench_" + kind.name + ".in";
        std::string archive = folder + "/codec_bench_" + kind.name + ".qbr";
        std::string output = folder + "/codec_bench_" + kind.name + ".out";
        if (!write_bytes(input, kind.bytes)) {
            std::fprintf(stderr, "codec_bench: cannot write %s\n", input.c_str());
            return 2;
        }
        std::vector<double> encode, decode;
        for (int run = 0; run < runs; run++) {
            encode.push_back(encode_seconds(input, archive));
            decode.push_back(decode_seconds(archive, output));
        }
        long coded = file_size(archive);
        std::printf("%-8s %10zu %10ld %6.1f%% %12.1f %12.1f\n", kind.name, kind.bytes.size(), coded,
                    100.0 * coded / kind.bytes.size(), kind.bytes.size() / 1e6 / median(encode),
                    kind.bytes.size() / 1e6 / median(decode));
        std::remove(input.c_str());
        std::remove(archive.c_str());
        std::remove(output.c_str());
    }
    return 0;
}
