#include "Png.h"

#include <png.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>
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
// colour table, grey as grey, formats with alpha as RGBA, the rest as RGB;
// rows and colour maps given blue first.
struct PngLayout {
    png_uint_32 format = PNG_FORMAT_BGR;
    int channels = 3;
    std::vector<unsigned char> colormap;  // blue, green, red for each entry
};

PngLayout LayoutFor(const standin::Image& image) {
    const tamb::ColorFormat format = image.GetColorFormat();
    PngLayout layout;
    if (IsIndexed(format)) {
        layout.format = PNG_FORMAT_BGR_COLORMAP;
        layout.channels = 1;
        const tagRGBQUAD* table = image.ColorTable();
        for (int i = 0; i < 1 << standin::BitsPerPixel(format); ++i)
            layout.colormap.insert(layout.colormap.end(),
                                   {table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed});
    } else if (IsGray(format)) {
        layout.format = PNG_FORMAT_GRAY;
        layout.channels = 1;
    } else if (format == tamb::ColorBgra32 || format == tamb::ColorRgba32) {
        layout.format = PNG_FORMAT_BGRA;
        layout.channels = 4;
    }
    return layout;
}

// Row y of the image as a PNG row of the layout.
bool PngRow(const standin::Image& image, int y, const PngLayout& layout, unsigned char* out,
            std::vector<unsigned char>& bgra) {
    const int width = image.GetWidth();
    if (layout.format == PNG_FORMAT_BGR_COLORMAP) {
        const unsigned char* in = image.Row(y);
        const int bits = standin::BitsPerPixel(image.GetColorFormat());
        for (int x = 0; x < width; ++x)
            out[x] = in != nullptr ? static_cast<unsigned char>(PackedValue(in, x, bits)) : 0;
        return true;
    }
    if (!RowToBgra(image, y, bgra)) return false;
    // Grey rows read back with equal channels: blue is the grey.
    for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x)
        std::memcpy(out + x * layout.channels, bgra.data() + 4 * x, layout.channels);
    return true;
}

}  // namespace

void WritePng(const standin::Image& image, const std::string& path, const std::string& name) {
    const std::string failed = "cannot write the preview " + name + ": ";
    const int width = image.GetWidth(), height = image.GetHeight();
    if (width < 1 || height < 1) throw std::runtime_error(failed + "the image is empty");
    const PngLayout layout = LayoutFor(image);
    PngImage png;
    png.image.width = static_cast<png_uint_32>(width);
    png.image.height = static_cast<png_uint_32>(height);
    png.image.format = layout.format;
    png.image.colormap_entries = static_cast<png_uint_32>(layout.colormap.size() / 3);

    const std::uint64_t stride = static_cast<std::uint64_t>(width) * layout.channels;
    std::vector<unsigned char> pixels(stride * static_cast<std::uint64_t>(height));
    std::vector<unsigned char> bgra;
    for (int y = 0; y < height; ++y)
        if (!PngRow(image, y, layout, pixels.data() + stride * y, bgra))
            throw std::runtime_error(failed + "no PNG form for " +
                                     FormatName(image.GetColorFormat()));
    errno = 0;
    if (!png_image_write_to_file(&png.image, path.c_str(), 0, pixels.data(), 0,
                                 layout.colormap.empty() ? nullptr : layout.colormap.data()))
        throw std::runtime_error(failed + (errno != 0 ? std::strerror(errno) : png.image.message));
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

void ReadPng(const std::string& path, const std::string& name, standin::Image& image) {
    const std::string failed = "cannot read " + name + ": ";
    PngImage png;
    if (!png_image_begin_read_from_file(&png.image, path.c_str()))
        throw std::runtime_error(failed + png.image.message);
    const std::uint64_t width = png.image.width;
    const std::uint64_t height = png.image.height;
    if (width > INT_MAX || height > INT_MAX || width * height > standin::Image::GetPixelLimit())
        throw std::runtime_error(failed + PixelLimitReason(width, height));
    const HostLayout layout = HostLayoutFor(png.image);
    png.image.format = layout.pngFormat;
    // 16-bit samples scale to 8 bits by value, as other tools read them; left
    // alone, libpng would take them for linear light.
    png.image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    std::vector<unsigned char> pixels(width * height * static_cast<std::uint64_t>(layout.channels));
    const bool indexed = IsIndexed(layout.format);
    std::vector<unsigned char> colormap(indexed ? PNG_IMAGE_COLORMAP_SIZE(png.image) : 0);
    if (!png_image_finish_read(&png.image, nullptr, pixels.data(), 0,
                               indexed ? colormap.data() : nullptr))
        throw std::runtime_error(failed + png.image.message);
    StoreRows(png.image, layout, pixels, colormap, image);
}

}  // namespace bmphost
