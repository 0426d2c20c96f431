#include "Pixels.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>

#include "Target.h"
#include "velk/PixelConvert.h"

namespace bmphost {

namespace {

struct NamedFormat {
    const char* name;
    tamb::ColorFormat format;
};

constexpr NamedFormat kFormats[] = {
    {"gray1", tamb::ColorGray1},       {"gray4", tamb::ColorGray4},
    {"gray8", tamb::ColorGray8},       {"rgb565", tamb::ColorRgb565},
    {"rgba32", tamb::ColorRgba32},     {"indexed1", tamb::ColorIndexed1},
    {"indexed4", tamb::ColorIndexed4}, {"indexed8", tamb::ColorIndexed8},
    {"bgr24", tamb::ColorBgr24},       {"bgra32", tamb::ColorBgra32},
};

// The formats the host reads and makes.
bool IsNamedFormat(tamb::ColorFormat format) {
    for (const auto& entry : kFormats)
        if (format == entry.format) return true;
    return false;
}

int BitsOf(tamb::ColorFormat format) { return standin::BitsPerPixel(format); }

unsigned Luminance(const unsigned char* bgra) {
    const unsigned b = bgra[0], g = bgra[1], r = bgra[2];
    if (r == g && g == b) return r;  // grey stays exactly grey
    return (299 * r + 587 * g + 114 * b + 500) / 1000;
}

unsigned Scale(unsigned value, unsigned from, unsigned to) {
    return (value * to + from / 2) / from;
}

// Colour (blue, green, red) -> palette index.
using PaletteIndex = std::map<std::uint32_t, unsigned>;

std::uint32_t ColourKey(const unsigned char* bgra) {
    return bgra[0] | (bgra[1] << 8) | (bgra[2] << 16);
}

}  // namespace

bool IsIndexed(tamb::ColorFormat f) {
    return f == tamb::ColorIndexed1 || f == tamb::ColorIndexed4 || f == tamb::ColorIndexed8;
}

bool IsGray(tamb::ColorFormat f) {
    return f == tamb::ColorGray1 || f == tamb::ColorGray4 || f == tamb::ColorGray8;
}

std::optional<tamb::ColorFormat> ParseFormatName(const std::string& name) {
    for (const auto& entry : kFormats)
        if (name == entry.name) return entry.format;
    return std::nullopt;
}

std::string FormatName(tamb::ColorFormat format) {
    for (const auto& entry : kFormats)
        if (format == entry.format) return entry.name;
    return "format " + std::to_string(static_cast<int>(format));
}

std::vector<std::string> FormatNames() {
    std::vector<std::string> out;
    for (const auto& entry : kFormats) out.push_back(entry.name);
    return out;
}

std::string PixelLimitReason(std::uint64_t width, std::uint64_t height) {
    return "it is " + std::to_string(width) + "x" + std::to_string(height) +
           " pixels, more than the host's limit of " +
           std::to_string(standin::Image::GetPixelLimit()) + " (--max-pixels)";
}

void StorePacked(unsigned char* row, int x, int bits, unsigned value) {
    if (bits == 8) {
        row[x] = static_cast<unsigned char>(value);
    } else if (bits == 4) {
        unsigned char& byte = row[x / 2];
        byte = (x & 1) ? static_cast<unsigned char>((byte & 0xF0) | (value & 0x0F))
                       : static_cast<unsigned char>((byte & 0x0F) | ((value & 0x0F) << 4));
    } else {
        const unsigned char bit = static_cast<unsigned char>(0x80u >> (x & 7));
        row[x / 8] = value ? static_cast<unsigned char>(row[x / 8] | bit)
                           : static_cast<unsigned char>(row[x / 8] & ~bit);
    }
}

namespace {

// Pixel x of a row in `target` from blue, green, red, alpha; indexed targets
// look the colour up in `indexOf`.
void StorePixel(tamb::ColorFormat target, const unsigned char* px, const PaletteIndex& indexOf,
                int x, unsigned char* out) {
    const int bits = BitsOf(target);
    if (target == tamb::ColorBgra32) {
        std::memcpy(out + 4 * x, px, 4);
    } else if (target == tamb::ColorBgr24) {
        std::memcpy(out + 3 * x, px, 3);
    } else if (target == tamb::ColorRgba32) {
        out[4 * x] = px[2];
        out[4 * x + 1] = px[1];
        out[4 * x + 2] = px[0];
        out[4 * x + 3] = px[3];
    } else if (target == tamb::ColorRgb565) {
        const unsigned v =
            (Scale(px[2], 255, 31) << 11) | (Scale(px[1], 255, 63) << 5) | Scale(px[0], 255, 31);
        out[2 * x] = static_cast<unsigned char>(v);
        out[2 * x + 1] = static_cast<unsigned char>(v >> 8);
    } else if (IsGray(target)) {
        StorePacked(out, x, bits, Scale(Luminance(px), 255, (1u << bits) - 1));
    } else {
        StorePacked(out, x, bits, indexOf.at(ColourKey(px)));
    }
}

void ReadRow(const standin::Image& source, int y, std::vector<unsigned char>& bgra) {
    if (!RowToBgra(source, y, bgra))
        throw Refusal("the host cannot read " + FormatName(source.GetColorFormat()), true);
}

// Every colour must find a place in the table; first come, first placed.
void BuildPalette(const standin::Image& source, tamb::ColorFormat target,
                  std::array<tagRGBQUAD, 256>& table, PaletteIndex& indexOf) {
    const std::size_t room = std::size_t(1) << BitsOf(target);
    std::vector<unsigned char> bgra;
    for (int y = 0; y < source.GetHeight(); ++y) {
        ReadRow(source, y, bgra);
        for (int x = 0; x < source.GetWidth(); ++x) {
            const unsigned char* px = bgra.data() + 4 * static_cast<std::size_t>(x);
            const std::uint32_t key = ColourKey(px);
            if (indexOf.count(key) != 0) continue;
            if (indexOf.size() == room)
                throw Refusal("the image has more than " + std::to_string(room) + " colours; " +
                                  FormatName(target) + " holds " + std::to_string(room),
                              true);
            const auto index = static_cast<unsigned>(indexOf.size());
            indexOf[key] = index;
            table[index] = {px[0], px[1], px[2], 0};
        }
    }
}

}  // namespace

// The host's converter gives blue, green and red, 3 bytes a pixel, into the
// front of `out`; spread from the last pixel back, each takes 4 bytes, with
// the stored alpha of a 32-bit format or 255.
bool RowToBgra(const standin::Image& image, int row, std::vector<unsigned char>& out) {
    const tamb::ColorFormat format = image.GetColorFormat();
    if (!IsNamedFormat(format)) return false;
    const auto width = static_cast<std::size_t>(image.GetWidth());
    std::vector<unsigned char> zeros;
    const unsigned char* in = image.Row(row);
    if (in == nullptr) {  // a row never written holds zeros
        zeros.assign(static_cast<std::size_t>(image.GetRowBytes()), 0);
        in = zeros.data();
    }
    out.resize(4 * width);
    if (!velk::SimplePixelConvert(image.GetWidth(), in, format, out.data(), tamb::ColorBgr24, 0,
                                  image.ColorTable()))
        return false;
    const bool alpha = format == tamb::ColorBgra32 || format == tamb::ColorRgba32;
    for (std::size_t x = width; x-- > 0;) {
        std::memmove(&out[4 * x], &out[3 * x], 3);
        out[4 * x + 3] = alpha ? in[4 * x + 3] : 255;
    }
    return true;
}

void ConvertImage(const standin::Image& source, tamb::ColorFormat target, standin::Image& out) {
    if (!IsNamedFormat(target)) throw Refusal("the host cannot make " + FormatName(target), true);
    std::array<tagRGBQUAD, 256> table{};
    PaletteIndex indexOf;
    if (IsIndexed(target)) BuildPalette(source, target, table, indexOf);

    out.SetScanlineStart(source.GetWidth(), source.GetHeight(), target, source.GetXPelsPerMeter(),
                         source.GetYPelsPerMeter(), table.data(), orix::TrImage::RowsByIndex, 0);
    std::vector<unsigned char> bgra;
    std::vector<unsigned char> row(static_cast<std::size_t>(out.GetRowBytes()));
    for (int y = 0; y < source.GetHeight(); ++y) {
        ReadRow(source, y, bgra);
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < source.GetWidth(); ++x)
            StorePixel(target, &bgra[4 * static_cast<std::size_t>(x)], indexOf, x, row.data());
        out.SetScanline(row.data(), y);
    }
    out.SetScanlineEnd(nullptr, 0);
    if (IsIndexed(target)) out.SetNumColorTableEntriesUsed(static_cast<int>(indexOf.size()));
}

}  // namespace bmphost
