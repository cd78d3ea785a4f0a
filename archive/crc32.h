// crc32.h -- the CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, as zlib's crc32), which
// the medium's sums files give for every file an archive holds.

#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of the bytes seen so far (`crc`, 0 before the first) followed by `size` more bytes.
// Computed four bits at a time from a table of 16 words, small enough for setup.exe.
uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t size);
