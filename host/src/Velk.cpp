#include <cstring>
#include <string>

#include "standin/Image.h"
#include "velk/Options.h"
#include "velk/PixelConvert.h"

namespace velk {

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Grey level or palette entry for an index of `bits` bits.
void IndexToBgr(unsigned index, int bits, const tagRGBQUAD* palette, unsigned char* out) {
    if (palette != nullptr) {
        out[0] = palette[index].rgbBlue;
        out[1] = palette[index].rgbGreen;
        out[2] = palette[index].rgbRed;
        return;
    }
    const unsigned level = index * 255u / ((1u << bits) - 1u);
    out[0] = out[1] = out[2] = static_cast<unsigned char>(level);
}

unsigned PackedIndex(const unsigned char* row, int x, int bits) {
    if (bits == 8) return row[x];
    if (bits == 4) return (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
    return (row[x / 8] >> (7 - (x & 7))) & 1u;
}

}  // namespace

bool CommonGetStringOption(const char* options, const char* name, char separator,
                           std::string& value) {
    if (options == nullptr || name == nullptr) return false;
    const std::string list(options);
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(separator, start);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(start, end - start);
        const auto eq = item.find('=');
        if (eq != std::string::npos && Trim(item.substr(0, eq)) == name) {
            value = Trim(item.substr(eq + 1));
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool SimplePixelConvert(int count, const void* source, tamb::ColorFormat sourceFormat,
                        void* destination, tamb::ColorFormat destinationFormat, int flags,
                        const tagRGBQUAD* palette) {
    if (count < 0 || source == nullptr || destination == nullptr ||
        destinationFormat != tamb::ColorBgr24 || flags != 0)
        return false;
    const auto* in = static_cast<const unsigned char*>(source);
    auto* out = static_cast<unsigned char*>(destination);
    switch (sourceFormat) {
        case tamb::ColorGray1:
        case tamb::ColorGray4:
        case tamb::ColorGray8:
        case tamb::ColorIndexed1:
        case tamb::ColorIndexed4:
        case tamb::ColorIndexed8: {
            const int bits = standin::BitsPerPixel(sourceFormat);
            const bool grey = sourceFormat <= tamb::ColorGray8;
            for (int x = 0; x < count; ++x)
                IndexToBgr(PackedIndex(in, x, bits), bits, grey ? nullptr : palette, out + 3 * x);
            return true;
        }
        case tamb::ColorRgb565:
            for (int x = 0; x < count; ++x) {
                const unsigned v = in[2 * x] | (in[2 * x + 1] << 8);
                out[3 * x] = static_cast<unsigned char>((v & 0x1F) * 255 / 31);
                out[3 * x + 1] = static_cast<unsigned char>(((v >> 5) & 0x3F) * 255 / 63);
                out[3 * x + 2] = static_cast<unsigned char>((v >> 11) * 255 / 31);
            }
            return true;
        case tamb::ColorRgba32:
            for (int x = 0; x < count; ++x) {
                out[3 * x] = in[4 * x + 2];
                out[3 * x + 1] = in[4 * x + 1];
                out[3 * x + 2] = in[4 * x];
            }
            return true;
        case tamb::ColorBgr24:
            std::memmove(out, in, static_cast<std::size_t>(count) * 3);
            return true;
        case tamb::ColorNone:
        case tamb::ColorBgra32:
            for (int x = 0; x < count; ++x) {
                out[3 * x] = in[4 * x];
                out[3 * x + 1] = in[4 * x + 1];
                out[3 * x + 2] = in[4 * x + 2];
            }
            return true;
        default:
            return false;
    }
}

}  // namespace velk
