#include "Png.h"

#include <png.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#include "Pixels.h"

namespace bmphost {

namespace {

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

namespace {

// How an image of the host goes into a PNG: palette images through their
// colour table, grey as grey, formats with alpha as RGBA, the rest as RGB.
struct PngLayout {
    png_uint_32 format = PNG_FORMAT_RGB;
    int channels = 3;
    std::vector<unsigned char> colormap;  // red, green, blue for each entry
};

PngLayout LayoutFor(const standin::Image& image) {
    const tamb::ColorFormat format = image.GetColorFormat();
    PngLayout layout;
    if (IsIndexed(format)) {
        layout.format = PNG_FORMAT_RGB_COLORMAP;
        layout.channels = 1;
        const tagRGBQUAD* table = image.ColorTable();
        for (int i = 0; i < 1 << standin::BitsPerPixel(format); ++i)
            layout.colormap.insert(layout.colormap.end(),
                                   {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue});
    } else if (IsGray(format)) {
        layout.format = PNG_FORMAT_GRAY;
        layout.channels = 1;
    } else if (format == tamb::ColorBgra32 || format == tamb::ColorRgba32) {
        layout.format = PNG_FORMAT_RGBA;
        layout.channels = 4;
    }
    return layout;
}

// Row y of the image as a PNG row of the layout.
bool PngRow(const standin::Image& image, int y, const PngLayout& layout, unsigned char* out,
            std::vector<unsigned char>& bgra) {
    const int width = image.GetWidth();
    if (layout.format == PNG_FORMAT_RGB_COLORMAP) {
        const unsigned char* in = image.Row(y);
        const int bits = standin::BitsPerPixel(image.GetColorFormat());
        for (int x = 0; x < width; ++x)
            out[x] = in != nullptr ? static_cast<unsigned char>(PackedValue(in, x, bits)) : 0;
        return true;
    }
    if (!RowToBgra(image, y, bgra)) return false;
    for (int x = 0; x < width; ++x) {
        const unsigned char* px = bgra.data() + 4 * static_cast<std::size_t>(x);
        unsigned char* o = out + static_cast<std::size_t>(x) * layout.channels;
        if (layout.channels == 1) {
            o[0] = px[0];  // grey rows read back with equal channels
        } else {
            o[0] = px[2];
            o[1] = px[1];
            o[2] = px[0];
            if (layout.channels == 4) o[3] = px[3];
        }
    }
    return true;
}

}  // namespace

bool WritePng(const standin::Image& image, const std::string& path, std::string& error) {
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    if (width < 1 || height < 1) {
        error = "the image is empty";
        return false;
    }
    const PngLayout layout = LayoutFor(image);
    PngImage png;
    png.image.width = static_cast<png_uint_32>(width);
    png.image.height = static_cast<png_uint_32>(height);
    png.image.format = layout.format;
    png.image.colormap_entries = static_cast<png_uint_32>(layout.colormap.size() / 3);

    const std::uint64_t stride = static_cast<std::uint64_t>(width) * layout.channels;
    std::vector<unsigned char> pixels(stride * static_cast<std::uint64_t>(height));
    std::vector<unsigned char> bgra;
    for (int y = 0; y < height; ++y) {
        if (!PngRow(image, y, layout, pixels.data() + stride * y, bgra)) {
            error = "no PNG form for " + FormatName(image.GetColorFormat());
            return false;
        }
    }
    errno = 0;
    if (!png_image_write_to_file(&png.image, path.c_str(), 0, pixels.data(), 0,
                                 layout.colormap.empty() ? nullptr : layout.colormap.data())) {
        error = errno != 0 ? std::strerror(errno) : png.image.message;
        return false;
    }
    return true;
}

namespace {

// The host's format a PNG is read into, and the libpng layout that gives its
// rows: palette images without transparency as indexed (1, 4 or 8 bits by
// palette size), anything with alpha as bgra32, colour as bgr24, grey as gray8.
struct HostLayout {
    png_uint_32 pngFormat;
    tamb::ColorFormat format;
    int channels;
};

HostLayout HostLayoutFor(const png_image& image) {
    const png_uint_32 native = image.format;
    if ((native & PNG_FORMAT_FLAG_ALPHA) != 0) return {PNG_FORMAT_BGRA, tamb::ColorBgra32, 4};
    if ((native & PNG_FORMAT_FLAG_COLORMAP) != 0) {
        const png_uint_32 entries = image.colormap_entries;
        return {PNG_FORMAT_BGR_COLORMAP,
                entries <= 2 ? tamb::ColorIndexed1
                             : (entries <= 16 ? tamb::ColorIndexed4 : tamb::ColorIndexed8),
                1};
    }
    if ((native & PNG_FORMAT_FLAG_COLOR) != 0) return {PNG_FORMAT_BGR, tamb::ColorBgr24, 3};
    return {PNG_FORMAT_GRAY, tamb::ColorGray8, 1};
}

// Hands the rows libpng read to the host's image, packing palette indices.
void StoreRows(const png_image& png, const HostLayout& layout,
               const std::vector<unsigned char>& pixels, const std::vector<unsigned char>& colormap,
               standin::Image& image) {
    tagRGBQUAD table[256] = {};
    for (png_uint_32 i = 0; i < png.colormap_entries && i < 256 && !colormap.empty(); ++i)
        table[i] = {colormap[3 * i], colormap[3 * i + 1], colormap[3 * i + 2], 0};
    const int w = static_cast<int>(png.width);
    const int h = static_cast<int>(png.height);
    const std::size_t stride = static_cast<std::size_t>(w) * layout.channels;
    image.SetScanlineStart(w, h, layout.format, 0, 0, table, orix::TrImage::RowsByIndex, 0);
    std::vector<unsigned char> row(static_cast<std::size_t>(image.GetRowBytes()));
    const bool indexed = IsIndexed(layout.format);
    for (int y = 0; y < h; ++y) {
        const unsigned char* in = pixels.data() + stride * static_cast<std::size_t>(y);
        std::fill(row.begin(), row.end(), 0);
        if (indexed) {
            for (int x = 0; x < w; ++x)
                StorePacked(row.data(), x, standin::BitsPerPixel(layout.format), in[x]);
        } else {
            std::memcpy(row.data(), in, stride);
        }
        image.SetScanline(row.data(), y);
    }
    image.SetScanlineEnd(nullptr, 0);
    if (indexed) image.SetNumColorTableEntriesUsed(static_cast<int>(png.colormap_entries));
}

}  // namespace

bool ReadPng(const std::string& path, standin::Image& image, std::string& error) {
    PngImage png;
    if (!png_image_begin_read_from_file(&png.image, path.c_str())) {
        error = png.image.message;
        return false;
    }
    const std::uint64_t width = png.image.width;
    const std::uint64_t height = png.image.height;
    if (width > INT_MAX || height > INT_MAX || width * height > standin::Image::GetPixelLimit()) {
        error = PixelLimitReason(width, height);
        return false;
    }
    const HostLayout layout = HostLayoutFor(png.image);
    png.image.format = layout.pngFormat;
    // 16-bit samples scale to 8 bits by value, as other tools read them; left
    // alone, libpng would take them for linear light.
    png.image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    std::vector<unsigned char> pixels(width * height * static_cast<std::uint64_t>(layout.channels));
    const bool indexed = IsIndexed(layout.format);
    std::vector<unsigned char> colormap(indexed ? PNG_IMAGE_COLORMAP_SIZE(png.image) : 0);
    if (!png_image_finish_read(&png.image, nullptr, pixels.data(), 0,
                               indexed ? colormap.data() : nullptr)) {
        error = png.image.message;
        return false;
    }
    StoreRows(png.image, layout, pixels, colormap, image);
    return true;
}

}  // namespace bmphost
