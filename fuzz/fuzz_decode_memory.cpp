// fuzz_decode_memory.cpp -- arbitrary bytes decoded as a run of entries from memory, without
// files: a decoder of its own and the process's decoder must give the same bytes and results
// entry by entry, never read past the input or write past their blocks.

#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/lzss_codec.h"

static bool append(void* context, const uint8_t* bytes, size_t size)
{
    std::vector<uint8_t>* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), bytes, bytes + size);
    return true;
}

// Decodes up to `entries` entries, all into `out`, with `decoder` (null: the process's); the
// result of the last entry decoded.
static int64_t decode(LzDecoder* decoder, const uint8_t* data, size_t size, int entries,
                      std::vector<uint8_t>* out, int* decoded)
{
    static BitStream stream;
    bits_init_memory_reader(&stream, data, size);
    int64_t result = 0;
    for (*decoded = 0; *decoded < entries && result >= 0; ++*decoded) {
        size_t before = out->size();
        LzSink sink = {append, out};
        result = decoder != nullptr ? lzss_decode_entry_with(decoder, &stream, sink)
                                    : lzss_decode_entry(&stream, sink);
        if (result >= 0 && static_cast<size_t>(result) != out->size() - before)
            std::abort();  // the count is what reached the sink
    }
    return result;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The input is copied into a block of its own size, so that a read past it is caught.
    std::vector<uint8_t> input(data, data + size);
    LzDecoder* own = lzss_new_decoder();
    if (own == nullptr)
        std::abort();
    std::vector<uint8_t> by_own, by_process;
    int own_entries = 0, process_entries = 0;
    lzss_reset_window();
    int64_t own_result = decode(own, input.data(), input.size(), 8, &by_own, &own_entries);
    int64_t process_result =
        decode(nullptr, input.data(), input.size(), 8, &by_process, &process_entries);
    lzss_free_decoder(own);
    if (own_result != process_result || own_entries != process_entries || by_own != by_process)
        std::abort();
    if (own_result < 0 && own_result != LZ_STREAM_FAILED)
        std::abort();  // a sink that never fails leaves only a damaged stream
    return 0;
}
