#pragma once
// Host-side pixel work: naming the host's colour formats, reading any row as
// blue-green-red-alpha, and re-encoding an image in another format.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "standin/Image.h"
#include "tamb/ColorFormat.h"

namespace bmphost {

bool IsIndexed(tamb::ColorFormat format);
bool IsGray(tamb::ColorFormat format);

// "bgra32", "indexed4", ... for the formats the host names; nullopt otherwise.
std::optional<tamb::ColorFormat> ParseFormatName(const std::string& name);
std::string FormatName(tamb::ColorFormat format);  // "format N" for unnamed values
std::vector<std::string> FormatNames();            // the accepted names

// Why an image of this size is refused: its size and the host's limit.
std::string PixelLimitReason(std::uint64_t width, std::uint64_t height);

// Stores pixel x of a packed row of 1, 4 or 8 bits (leftmost pixel in the
// high bits).
void StorePacked(unsigned char* row, int x, int bits, unsigned value);

// One row of `image` as 4 bytes a pixel (blue, green, red, alpha), through
// the host's pixel converter; alpha is 255 for formats without one. False for
// a format the host cannot read.
bool RowToBgra(const standin::Image& image, int row, std::vector<unsigned char>& out);

// A new image with the pixels of `source` in `target`. Indexed targets need
// the colours to fit; grey targets take the luminance. Throws a Refusal when
// it cannot be done.
void ConvertImage(const standin::Image& source, tamb::ColorFormat target, standin::Image& out);

}  // namespace bmphost
