#pragma once
// Inputs for the benchmarks, made in code: a plasma picture at every depth the
// module reads, written as BMP files by the benchmark's own small encoder (so
// the module under test does not make its own inputs).
#include <cstdint>
#include <string>
#include <vector>

#include "tamb/RgbQuad.h"

namespace bench {

using Bytes = std::vector<std::uint8_t>;

// The picture in every form the benchmarks need; rows top-down, unpadded.
struct Plasma {
    int width = 0;
    int height = 0;
    Bytes bgr;     // 3 bytes a pixel
    Bytes index8;  // 256-colour palette index, quantised without dithering
    Bytes index4;  // 16-colour palette index, one byte a pixel
    Bytes index1;  // 2-colour index, one byte a pixel
    Bytes alpha;   // an alpha plane for the 32-bit form (never all zero)
    std::vector<tagRGBQUAD> palette256, palette16, palette2;
};

Plasma MakePlasma(int width, int height);

// The stored forms the benchmarks read.
enum class Stored { Bits1, Bits4, Bits8, Bits16, Bits24, Bits32, Rle8, Rle4 };
const char* StoredName(Stored stored);
int StoredBitCount(Stored stored);

// A complete bottom-up BMP file of the picture in the given form.
Bytes EncodeBmp(const Plasma& plasma, Stored stored);

// Run-length coders for one image; rows given top-down, one index a byte.
// Written bottom-up with an end of line after every row and an end of bitmap.
Bytes EncodeRle8(const Bytes& indices, int width, int height);
Bytes EncodeRle4(const Bytes& indices, int width, int height);

// A few hundred small files of every header form and depth, for probe and
// describe; some are deliberately not BMP files.
std::vector<std::pair<std::string, Bytes>> MakeSmallFiles(int count);

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace bench
