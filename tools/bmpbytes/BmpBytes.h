#pragma once
// BMP files built byte by byte: the one encoder outside the module, used by
// the tests, the sample set, the benchmarks and the fuzz seeds. It writes
// exactly the fields it is given, so a caller can also make damaged files.
#include <cstdint>
#include <optional>
#include <vector>

#include "tamb/RgbQuad.h"

namespace bmpbytes {

using Bytes = std::vector<std::uint8_t>;

// Every field a caller may want to vary. The defaults make a valid bottom-up
// BI_RGB file with a 40-byte header.
struct BmpFields {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;  // 12 writes the core form; above 40 pads with zeros
    std::uint16_t planes = 1;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 2835;
    std::int32_t yPelsPerMeter = 2835;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
    std::vector<std::uint32_t> masks;      // written after the header when not empty
    std::vector<tagRGBQUAD> palette;       // 4-byte entries, or 3-byte after a core header
    Bytes pixels;                          // the pixel data exactly as stored
    std::optional<std::uint32_t> offBits;  // default: directly after the tables
    std::uint32_t gap = 0;                 // filler bytes between the tables and the pixels
    std::uint16_t signature = 0x4D42;
    // Written inside a header above 40 bytes, from its byte 40 on, where the
    // larger headers keep their masks (readers differ in which copy they use).
    std::vector<std::uint32_t> headerMasks;
};

Bytes BuildBmp(const BmpFields& fields);

// Stored row length for a width and bit count: whole bytes, padded to four.
std::size_t StrideFor(std::int32_t width, int bitCount);

// One stored row (unpadded) of pixel values, one value a byte: packed high
// bits first at 1, 2 or 4 bits, copied as they are at 8.
Bytes PackRow(const Bytes& values, int bitCount);

// Lays out rows at the stored stride, in the order given.
Bytes PadRows(const std::vector<Bytes>& rows, std::size_t stride);

// Run-length code (4 or 8 bits) of rows of pixel values, one value a byte, in
// stored order (bottom row first for a bottom-up file). Uses runs, literal
// runs with their pad bytes, an end of line after each row and an end of
// bitmap at the end. With `skipZeros`, runs of value 0 become deltas and the
// stream ends early once only zeros are left.
Bytes EncodeRunLength(const std::vector<Bytes>& rows, int bitCount, bool skipZeros = false);

}  // namespace bmpbytes
