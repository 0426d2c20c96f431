#pragma once
// Inputs for the benchmarks, made in code: a plasma picture in every stored
// form the module reads, written as BMP files by the shared byte builder (so
// the module under test does not make its own inputs).
#include <cstdint>
#include <string>
#include <vector>

#include "tamb/RgbQuad.h"

namespace bench {

using Bytes = std::vector<std::uint8_t>;

// The picture, top row first: a palette index (256 colours) and a colour for
// each pixel. Fewer colours and the alpha plane derive from the index.
struct Plasma {
    int width = 0;
    int height = 0;
    Bytes index8;
    Bytes bgr;  // 3 bytes a pixel
};

Plasma MakePlasma(int width, int height);

// One row of the picture at `bits`: a palette index a byte at 1 to 8 bits
// (bmpbytes::PackRow packs them), 5-5-5 words at 16, blue-green-red at 24,
// with an alpha byte (never 0) at 32.
Bytes PixelValues(const Plasma& plasma, int y, int bits);

// The colour table of the picture at 1, 4 or 8 bits.
std::vector<tagRGBQUAD> Palette(int bits);

// A complete bottom-up BMP file of the picture; compression 1 and 2 are the
// run-length forms of 8 and 4 bits.
Bytes EncodeBmp(const Plasma& plasma, int bits, std::uint32_t compression);

// A few hundred small files of every header form and depth, for probe and
// describe; some are deliberately not BMP files.
std::vector<std::pair<std::string, Bytes>> MakeSmallFiles(int count);

}  // namespace bench
