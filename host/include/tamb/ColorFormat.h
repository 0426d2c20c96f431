#pragma once

namespace tamb {

// Pixel layouts of the host's raster images.
//  4: 16-bit little-endian 5-6-5 words, red in bits 15..11, blue in bits 4..0.
//  5: four bytes red, green, blue, alpha (the reverse channel order of 10).
//  0: a format never set: four bytes blue, green, red and one unused, as a
//     host image keeps its pixels before it is given a format.
// Any other value is a layout the host library cannot read; its images keep
// four bytes a pixel.
enum ColorFormat : int {
    ColorNone = 0,
    ColorGray1 = 1,
    ColorGray4 = 2,
    ColorGray8 = 3,
    ColorRgb565 = 4,
    ColorRgba32 = 5,
    ColorIndexed1 = 6,
    ColorIndexed4 = 7,
    ColorIndexed8 = 8,
    ColorBgr24 = 9,
    ColorBgra32 = 10,
};

}  // namespace tamb
