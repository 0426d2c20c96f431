#include "Png.h"

#include <png.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#include "Pixels.h"

namespace bmphost {

namespace {

unsigned PackedIndex(const unsigned char* row, int x, int bits) {
    if (bits == 8) return row[x];
    if (bits == 4) return (x & 1) ? (row[x / 2] & 0x0Fu) : (row[x / 2] >> 4);
    return (row[x / 8] >> (7 - (x & 7))) & 1u;
}

void StoreIndex(unsigned char* row, int x, int bits, unsigned value) {
    if (bits == 8) {
        row[x] = static_cast<unsigned char>(value);
    } else if (bits == 4) {
        row[x / 2] = static_cast<unsigned char>(row[x / 2] | (value << ((x & 1) ? 0 : 4)));
    } else if (value != 0) {
        row[x / 8] = static_cast<unsigned char>(row[x / 8] | (0x80u >> (x & 7)));
    }
}

struct PngImage {
    png_image image;
    PngImage() {
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
    }
    ~PngImage() { png_image_free(&image); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
};

}  // namespace

bool LooksLikePng(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char signature[8] = {};
    in.read(reinterpret_cast<char*>(signature), sizeof signature);
    return in.gcount() == 8 && png_sig_cmp(signature, 0, 8) == 0;
}

bool WritePng(const orix::TrImage& image, const std::string& path, std::string& error) {
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    const tamb::ColorFormat format = image.GetColorFormat();
    if (width < 1 || height < 1) {
        error = "the image is empty";
        return false;
    }
    PngImage png;
    png.image.width = static_cast<png_uint_32>(width);
    png.image.height = static_cast<png_uint_32>(height);

    const bool indexed = format == tamb::ColorIndexed1 || format == tamb::ColorIndexed4 ||
                         format == tamb::ColorIndexed8;
    const bool gray =
        format == tamb::ColorGray1 || format == tamb::ColorGray4 || format == tamb::ColorGray8;
    const bool alpha = format == tamb::ColorBgra32 || format == tamb::ColorRgba32;
    int channels = 3;
    std::vector<unsigned char> colormap;
    if (indexed) {
        const int bits = tamb::BitsPerPixel(format);
        const int entries = 1 << bits;
        png.image.format = PNG_FORMAT_RGB_COLORMAP;
        png.image.colormap_entries = static_cast<png_uint_32>(entries);
        const tagRGBQUAD* table = image.ColorTable();
        for (int i = 0; i < entries; ++i) {
            colormap.push_back(table[i].rgbRed);
            colormap.push_back(table[i].rgbGreen);
            colormap.push_back(table[i].rgbBlue);
        }
        channels = 1;
    } else if (gray) {
        png.image.format = PNG_FORMAT_GRAY;
        channels = 1;
    } else if (alpha) {
        png.image.format = PNG_FORMAT_RGBA;
        channels = 4;
    } else {
        png.image.format = PNG_FORMAT_RGB;
    }

    const std::uint64_t stride = static_cast<std::uint64_t>(width) * channels;
    std::vector<unsigned char> pixels(stride * static_cast<std::uint64_t>(height));
    std::vector<unsigned char> bgra;
    for (int y = 0; y < height; ++y) {
        unsigned char* out = pixels.data() + stride * static_cast<std::uint64_t>(y);
        if (indexed) {
            const unsigned char* in = image.Row(y);
            const int bits = tamb::BitsPerPixel(format);
            for (int x = 0; x < width; ++x)
                out[x] = in != nullptr ? static_cast<unsigned char>(PackedIndex(in, x, bits)) : 0;
            continue;
        }
        if (!RowToBgra(image, y, bgra)) {
            error = "no PNG form for " + FormatName(format);
            return false;
        }
        for (int x = 0; x < width; ++x) {
            const unsigned char* px = bgra.data() + 4 * static_cast<std::size_t>(x);
            if (gray) {
                out[x] = px[0];  // grey rows read back with equal channels
            } else {
                unsigned char* o = out + static_cast<std::size_t>(x) * channels;
                o[0] = px[2];
                o[1] = px[1];
                o[2] = px[0];
                if (alpha) o[3] = px[3];
            }
        }
    }
    if (!png_image_write_to_file(&png.image, path.c_str(), 0, pixels.data(), 0,
                                 colormap.empty() ? nullptr : colormap.data())) {
        error = std::string("cannot write ") + path + ": " + png.image.message;
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool ReadPng(const std::string& path, orix::TrImage& image, std::string& error) {
    PngImage png;
    if (!png_image_begin_read_from_file(&png.image, path.c_str())) {
        error = std::string("cannot read ") + path + ": " + png.image.message;
        return false;
    }
    const png_uint_32 native = png.image.format;
    const std::uint64_t width = png.image.width;
    const std::uint64_t height = png.image.height;
    if (width > INT_MAX || height > INT_MAX || width * height > orix::TrImage::GetPixelLimit()) {
        error = path + " is larger than the host's pixel limit (" + std::to_string(width) + "x" +
                std::to_string(height) + ")";
        return false;
    }

    tamb::ColorFormat format;
    int channels;
    const bool indexed =
        (native & PNG_FORMAT_FLAG_COLORMAP) != 0 && (native & PNG_FORMAT_FLAG_ALPHA) == 0;
    if (indexed) {
        png.image.format = PNG_FORMAT_BGR_COLORMAP;
        const png_uint_32 entries = png.image.colormap_entries;
        format = entries <= 2 ? tamb::ColorIndexed1
                              : (entries <= 16 ? tamb::ColorIndexed4 : tamb::ColorIndexed8);
        channels = 1;
    } else if ((native & PNG_FORMAT_FLAG_ALPHA) != 0) {
        png.image.format = PNG_FORMAT_BGRA;
        format = tamb::ColorBgra32;
        channels = 4;
    } else if ((native & PNG_FORMAT_FLAG_COLOR) != 0) {
        png.image.format = PNG_FORMAT_BGR;
        format = tamb::ColorBgr24;
        channels = 3;
    } else {
        png.image.format = PNG_FORMAT_GRAY;
        format = tamb::ColorGray8;
        channels = 1;
    }

    const std::uint64_t stride = width * static_cast<std::uint64_t>(channels);
    std::vector<unsigned char> pixels(stride * height);
    std::vector<unsigned char> colormap(indexed ? PNG_IMAGE_COLORMAP_SIZE(png.image) : 0);
    if (!png_image_finish_read(&png.image, nullptr, pixels.data(), 0,
                               indexed ? colormap.data() : nullptr)) {
        error = std::string("cannot read ") + path + ": " + png.image.message;
        return false;
    }

    tagRGBQUAD table[256] = {};
    if (indexed) {
        for (png_uint_32 i = 0; i < png.image.colormap_entries && i < 256; ++i)
            table[i] = {colormap[3 * i], colormap[3 * i + 1], colormap[3 * i + 2], 0};
    }
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    image.SetScanlineStart(w, h, format, 0, 0, table, orix::TrImage::RowsByIndex, 0);
    std::vector<unsigned char> row(static_cast<std::size_t>(image.GetRowBytes()));
    const int bits = tamb::BitsPerPixel(format);
    for (int y = 0; y < h; ++y) {
        const unsigned char* in = pixels.data() + stride * static_cast<std::uint64_t>(y);
        std::fill(row.begin(), row.end(), 0);
        if (indexed) {
            for (int x = 0; x < w; ++x) StoreIndex(row.data(), x, bits, in[x]);
        } else {
            std::memcpy(row.data(), in, static_cast<std::size_t>(stride));
        }
        image.SetScanline(row.data(), y);
    }
    image.SetScanlineEnd(nullptr, 0);
    if (indexed) image.SetNumColorTableEntriesUsed(static_cast<int>(png.image.colormap_entries));
    return true;
}

}  // namespace bmphost
