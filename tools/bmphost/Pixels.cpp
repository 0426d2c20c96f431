#include "Pixels.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>

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

int BitsOf(tamb::ColorFormat format) { return tamb::BitsPerPixel(format); }

bool IsIndexed(tamb::ColorFormat f) {
    return f == tamb::ColorIndexed1 || f == tamb::ColorIndexed4 || f == tamb::ColorIndexed8;
}
bool IsGray(tamb::ColorFormat f) {
    return f == tamb::ColorGray1 || f == tamb::ColorGray4 || f == tamb::ColorGray8;
}

// The value of pixel x in a packed row of 1, 4 or 8 bits, leftmost pixel in
// the high bits.
unsigned PackedValue(const unsigned char* row, int x, int bits) {
    if (bits == 8) return row[x];
    if (bits == 4) return (x & 1) ? (row[x / 2] & 0x0Fu) : (row[x / 2] >> 4);
    return (row[x / 8] >> (7 - (x & 7))) & 1u;
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

unsigned Luminance(const unsigned char* bgra) {
    const unsigned b = bgra[0], g = bgra[1], r = bgra[2];
    if (r == g && g == b) return r;  // grey stays exactly grey
    return (299 * r + 587 * g + 114 * b + 500) / 1000;
}

unsigned Scale(unsigned value, unsigned from, unsigned to) {
    return (value * to + from / 2) / from;
}

}  // namespace

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

std::string FormatNames() {
    std::string out;
    for (const auto& entry : kFormats) {
        if (!out.empty()) out += ", ";
        out += entry.name;
    }
    return out;
}

bool RowToBgra(const orix::TrImage& image, int row, std::vector<unsigned char>& out) {
    const int width = image.GetWidth();
    const tamb::ColorFormat format = image.GetColorFormat();
    out.assign(static_cast<std::size_t>(width) * 4, 0);
    std::vector<unsigned char> zeros;
    const unsigned char* in = image.Row(row);
    if (in == nullptr) {  // a row never written holds zeros
        zeros.assign(static_cast<std::size_t>(image.GetRowBytes()), 0);
        in = zeros.data();
    }
    const tagRGBQUAD* table = image.ColorTable();
    for (int x = 0; x < width; ++x) {
        unsigned char* px = out.data() + 4 * static_cast<std::size_t>(x);
        px[3] = 255;
        switch (format) {
            case tamb::ColorGray1:
            case tamb::ColorGray4:
            case tamb::ColorGray8: {
                const int bits = BitsOf(format);
                const unsigned level = PackedValue(in, x, bits) * 255u / ((1u << bits) - 1u);
                px[0] = px[1] = px[2] = static_cast<unsigned char>(level);
                break;
            }
            case tamb::ColorIndexed1:
            case tamb::ColorIndexed4:
            case tamb::ColorIndexed8: {
                const tagRGBQUAD& entry = table[PackedValue(in, x, BitsOf(format))];
                px[0] = entry.rgbBlue;
                px[1] = entry.rgbGreen;
                px[2] = entry.rgbRed;
                break;
            }
            case tamb::ColorRgb565: {
                const unsigned v = in[2 * x] | (in[2 * x + 1] << 8);
                px[0] = static_cast<unsigned char>((v & 0x1F) * 255 / 31);
                px[1] = static_cast<unsigned char>(((v >> 5) & 0x3F) * 255 / 63);
                px[2] = static_cast<unsigned char>((v >> 11) * 255 / 31);
                break;
            }
            case tamb::ColorRgba32:
                px[0] = in[4 * x + 2];
                px[1] = in[4 * x + 1];
                px[2] = in[4 * x];
                px[3] = in[4 * x + 3];
                break;
            case tamb::ColorBgr24:
                std::memcpy(px, in + 3 * x, 3);
                break;
            case tamb::ColorBgra32:
                std::memcpy(px, in + 4 * x, 4);
                break;
            default:
                return false;
        }
    }
    return true;
}

bool ConvertImage(const orix::TrImage& source, tamb::ColorFormat target, orix::TrImage& out,
                  std::string& error) {
    const int width = source.GetWidth();
    const int height = source.GetHeight();
    if (!ParseFormatName(FormatName(target))) {
        error = "the host cannot make " + FormatName(target);
        return false;
    }
    std::vector<unsigned char> bgra;
    std::array<tagRGBQUAD, 256> table{};
    std::map<std::uint32_t, unsigned> indexOf;  // colour (b, g, r) -> palette index

    if (IsIndexed(target)) {
        // Every colour must find a place in the table; first come, first placed.
        const std::size_t room = std::size_t(1) << BitsOf(target);
        for (int y = 0; y < height; ++y) {
            if (!RowToBgra(source, y, bgra)) {
                error = "the host cannot read " + FormatName(source.GetColorFormat());
                return false;
            }
            for (int x = 0; x < width; ++x) {
                const unsigned char* px = bgra.data() + 4 * static_cast<std::size_t>(x);
                const std::uint32_t key = px[0] | (px[1] << 8) | (px[2] << 16);
                if (indexOf.count(key) != 0) continue;
                if (indexOf.size() == room) {
                    error = "the image has more than " + std::to_string(room) + " colours; " +
                            FormatName(target) + " holds " + std::to_string(room);
                    return false;
                }
                const auto index = static_cast<unsigned>(indexOf.size());
                indexOf[key] = index;
                table[index] = {px[0], px[1], px[2], 0};
            }
        }
    }

    out.SetScanlineStart(width, height, target, source.GetXPelsPerMeter(),
                         source.GetYPelsPerMeter(), table.data(), orix::TrImage::RowsByIndex, 0);
    std::vector<unsigned char> row(static_cast<std::size_t>(out.GetRowBytes()));
    const int bits = BitsOf(target);
    for (int y = 0; y < height; ++y) {
        if (!RowToBgra(source, y, bgra)) {
            error = "the host cannot read " + FormatName(source.GetColorFormat());
            return false;
        }
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < width; ++x) {
            const unsigned char* px = bgra.data() + 4 * static_cast<std::size_t>(x);
            unsigned char* o = row.data();
            switch (target) {
                case tamb::ColorBgra32:
                    std::memcpy(o + 4 * x, px, 4);
                    break;
                case tamb::ColorBgr24:
                    std::memcpy(o + 3 * x, px, 3);
                    break;
                case tamb::ColorRgba32:
                    o[4 * x] = px[2];
                    o[4 * x + 1] = px[1];
                    o[4 * x + 2] = px[0];
                    o[4 * x + 3] = px[3];
                    break;
                case tamb::ColorRgb565: {
                    const unsigned v = (Scale(px[2], 255, 31) << 11) |
                                       (Scale(px[1], 255, 63) << 5) | Scale(px[0], 255, 31);
                    o[2 * x] = static_cast<unsigned char>(v);
                    o[2 * x + 1] = static_cast<unsigned char>(v >> 8);
                    break;
                }
                default:
                    if (IsGray(target)) {
                        StorePacked(o, x, bits, Scale(Luminance(px), 255, (1u << bits) - 1));
                    } else {
                        const std::uint32_t key = px[0] | (px[1] << 8) | (px[2] << 16);
                        StorePacked(o, x, bits, indexOf.at(key));
                    }
            }
        }
        out.SetScanline(row.data(), y);
    }
    out.SetScanlineEnd(nullptr, 0);
    if (IsIndexed(target)) out.SetNumColorTableEntriesUsed(static_cast<int>(indexOf.size()));
    return true;
}

}  // namespace bmphost
