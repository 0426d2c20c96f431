#include "Png.h"

#include <png.h>

#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "Pixels.h"

namespace bmphost {

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// libpng reports an error by a long jump back to the call that set it up;
// the text (and the system's error of a failed write) is kept for the
// exception thrown once no libpng frame is left.
struct PngContext {
    std::FILE* file;
    char message[160] = "";
    int writeError = 0;
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* context = static_cast<PngContext*>(png_get_error_ptr(png));
    std::snprintf(context->message, sizeof context->message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void WriteData(png_structp png, png_bytep data, png_size_t length) {
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, context->file) == length) return;
    context->writeError = errno != 0 ? errno : EIO;
    png_error(png, "write error");
}

void FlushData(png_structp png) {
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    if (std::fflush(context->file) == 0) return;
    context->writeError = errno != 0 ? errno : EIO;
    png_error(png, "write error");
}

// A resolution the host keeps: pixels per metre, both above 0 and within
// the image's signed 32-bit fields; else none (0 and 0).
struct Resolution {
    int x = 0, y = 0;
};

Resolution Kept(png_uint_32 x, png_uint_32 y, int unit) {
    if (unit != PNG_RESOLUTION_METER || x == 0 || y == 0 || x > INT_MAX || y > INT_MAX) return {};
    return {static_cast<int>(x), static_cast<int>(y)};
}

// The pHYs chunk, which libpng's simplified reader does not give: read with
// the full reader up to the image data, where the chunk must stand.
Resolution ReadResolution(std::FILE* file) {
    PngContext context{file};
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, OnPngError, OnPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    png_uint_32 x = 0, y = 0;
    int unit = PNG_RESOLUTION_UNKNOWN;
    if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_info(png, info);
        png_get_pHYs(png, info, &x, &y, &unit);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return Kept(x, y, unit);
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

// How an image of the host goes into a PNG: palette images at their own
// depth through their colour table, their rows as they are; the others as
// grey, RGBA or RGB rows given blue first.
struct PngLayout {
    int colorType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    int channels = 3;  // of the rows made from blue, green, red, alpha
    std::vector<png_color> palette;
};

PngLayout LayoutFor(const standin::Image& image) {
    const tamb::ColorFormat format = image.GetColorFormat();
    PngLayout layout;
    if (IsIndexed(format)) {
        layout.colorType = PNG_COLOR_TYPE_PALETTE;
        layout.depth = standin::BitsPerPixel(format);
        const tagRGBQUAD* table = image.ColorTable();
        for (int i = 0; i < 1 << layout.depth; ++i)
            layout.palette.push_back({table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue});
    } else if (IsGray(format)) {
        layout.colorType = PNG_COLOR_TYPE_GRAY;
        layout.channels = 1;
    } else if (format == tamb::ColorBgra32 || format == tamb::ColorRgba32) {
        layout.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        layout.channels = 4;
    }
    return layout;
}

// Row y of the image as a PNG row of the layout; false for a format the host
// cannot read.
bool PngRow(const standin::Image& image, int y, const PngLayout& layout,
            std::vector<unsigned char>& out, std::vector<unsigned char>& bgra) {
    if (layout.colorType == PNG_COLOR_TYPE_PALETTE) {
        const unsigned char* in = image.Row(y);
        if (in != nullptr) std::memcpy(out.data(), in, out.size());
        if (in == nullptr) std::fill(out.begin(), out.end(), 0);
        return true;
    }
    if (!RowToBgra(image, y, bgra)) return false;
    // Grey rows read back with equal channels: blue is the grey.
    for (std::size_t x = 0; x < static_cast<std::size_t>(image.GetWidth()); ++x)
        std::memcpy(&out[x * layout.channels], &bgra[4 * x], layout.channels);
    return true;
}

struct PngWriteStructs {
    png_structp png;
    png_infop info = nullptr;
    explicit PngWriteStructs(PngContext& context)
        : png(png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, OnPngError, OnPngWarning)) {
        if (png != nullptr) info = png_create_info_struct(png);
        if (info == nullptr) png_destroy_write_struct(&png, nullptr);
        if (png == nullptr) throw std::bad_alloc();
    }
    ~PngWriteStructs() { png_destroy_write_struct(&png, &info); }
    PngWriteStructs(const PngWriteStructs&) = delete;
    PngWriteStructs& operator=(const PngWriteStructs&) = delete;
};

// The header, the resolution and the rows. False when libpng reported an
// error (its text and any write error are in the context).
bool WriteSteps(PngWriteStructs& s, const standin::Image& image, const PngLayout& layout,
                std::vector<unsigned char>& row, std::vector<unsigned char>& bgra) {
    if (setjmp(png_jmpbuf(s.png)) != 0) return false;
    png_set_write_fn(s.png, png_get_error_ptr(s.png), WriteData, FlushData);
    png_set_IHDR(s.png, s.info, static_cast<png_uint_32>(image.GetWidth()),
                 static_cast<png_uint_32>(image.GetHeight()), layout.depth, layout.colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty())
        png_set_PLTE(s.png, s.info, layout.palette.data(), static_cast<int>(layout.palette.size()));
    const int xppm = image.GetXPelsPerMeter(), yppm = image.GetYPelsPerMeter();
    if (xppm > 0 && yppm > 0)
        png_set_pHYs(s.png, s.info, static_cast<png_uint_32>(xppm), static_cast<png_uint_32>(yppm),
                     PNG_RESOLUTION_METER);
    png_write_info(s.png, s.info);
    if (layout.colorType != PNG_COLOR_TYPE_PALETTE) png_set_bgr(s.png);
    for (int y = 0; y < image.GetHeight(); ++y) {
        if (!PngRow(image, y, layout, row, bgra))
            throw std::runtime_error("no PNG form for " + FormatName(image.GetColorFormat()));
        png_write_row(s.png, row.data());
    }
    png_write_end(s.png, nullptr);
    return true;
}

}  // namespace

void WritePng(const standin::Image& image, std::FILE* file) {
    const int width = image.GetWidth(), height = image.GetHeight();
    if (width < 1 || height < 1) throw std::runtime_error("the image is empty");
    const PngLayout layout = LayoutFor(image);
    const std::size_t rowBytes =
        layout.colorType == PNG_COLOR_TYPE_PALETTE
            ? (static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.depth) + 7) / 8
            : static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.channels);
    std::vector<unsigned char> row(rowBytes), bgra;
    PngContext context{file};
    PngWriteStructs structs(context);
    errno = 0;
    if (!WriteSteps(structs, image, layout, row, bgra))
        throw std::runtime_error(context.writeError != 0 ? std::strerror(context.writeError)
                                                         : context.message);
    if (std::fflush(file) != 0) throw std::runtime_error(std::strerror(errno));
}

void WritePng(const standin::Image& image, const std::string& path, const std::string& name) {
    const std::string failed = "cannot write the preview " + name + ": ";
    File file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) throw std::runtime_error(failed + std::strerror(errno));
    try {
        WritePng(image, file.get());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(failed + e.what());
    }
    if (std::fclose(file.release()) != 0) throw std::runtime_error(failed + std::strerror(errno));
}

bool LooksLikePng(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char signature[8] = {};
    in.read(reinterpret_cast<char*>(signature), sizeof signature);
    return in.gcount() == 8 && png_sig_cmp(signature, 0, 8) == 0;
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
void StoreRows(const png_image& png, const HostLayout& layout, Resolution resolution,
               const std::vector<unsigned char>& pixels, const std::vector<unsigned char>& colormap,
               standin::Image& image) {
    tagRGBQUAD table[256] = {};
    for (png_uint_32 i = 0; i < png.colormap_entries && i < 256 && !colormap.empty(); ++i)
        table[i] = {colormap[3 * i], colormap[3 * i + 1], colormap[3 * i + 2], 0};
    const int w = static_cast<int>(png.width);
    const int h = static_cast<int>(png.height);
    const std::size_t stride = static_cast<std::size_t>(w) * layout.channels;
    image.SetScanlineStart(w, h, layout.format, resolution.x, resolution.y, table,
                           orix::TrImage::RowsByIndex, 0);
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

void ReadPng(std::FILE* file, standin::Image& image) {
    std::rewind(file);
    const Resolution resolution = ReadResolution(file);
    std::rewind(file);
    PngImage png;
    if (!png_image_begin_read_from_stdio(&png.image, file))
        throw std::runtime_error(png.image.message);
    const std::uint64_t width = png.image.width;
    const std::uint64_t height = png.image.height;
    if (width > INT_MAX || height > INT_MAX || width * height > standin::Image::GetPixelLimit())
        throw std::runtime_error(PixelLimitReason(width, height));
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
        throw std::runtime_error(png.image.message);
    StoreRows(png.image, layout, resolution, pixels, colormap, image);
}

void ReadPng(const std::string& path, const std::string& name, standin::Image& image) {
    const std::string failed = "cannot read " + name + ": ";
    const File file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) throw std::runtime_error(failed + std::strerror(errno));
    try {
        ReadPng(file.get(), image);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(failed + e.what());
    }
}

}  // namespace bmphost
