#pragma once
#include <cstdint>

// Expands a row of little-endian 16-bit pixels to blue, green, red bytes, 3
// a pixel. The layout is 5-6-5 or 5-5-5 (bit 15 ignored), blue in the low
// bits; a channel c of 5 or 6 bits becomes c * 255 / 31 or c * 255 / 63, the
// fraction dropped. Writes exactly 3 * width bytes.
void ExpandRow16(const std::uint8_t* in, std::uint8_t* out, std::int32_t width, bool is565);
