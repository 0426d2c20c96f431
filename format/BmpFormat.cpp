#include "format/BmpFormat.h"

#include <cstdint>
#include <limits>

namespace bmp {

BITMAPFILEHEADER DecodeFileHeader(const std::uint8_t (&b)[14]) {
    BITMAPFILEHEADER h{};  // the reader uses no other field
    h.bfType = LoadLe16(b);
    h.bfOffBits = LoadLe32(b + 10);
    return h;
}

BITMAPINFOHEADER DecodeInfoHeader(const std::uint8_t (&b)[40]) {
    BITMAPINFOHEADER h;
    h.biSize = LoadLe32(b);
    h.biWidth = static_cast<std::int32_t>(LoadLe32(b + 4));
    h.biHeight = static_cast<std::int32_t>(LoadLe32(b + 8));
    h.biPlanes = LoadLe16(b + 12);
    h.biBitCount = LoadLe16(b + 14);
    h.biCompression = LoadLe32(b + 16);
    h.biSizeImage = LoadLe32(b + 20);
    h.biXPelsPerMeter = static_cast<std::int32_t>(LoadLe32(b + 24));
    h.biYPelsPerMeter = static_cast<std::int32_t>(LoadLe32(b + 28));
    h.biClrUsed = LoadLe32(b + 32);
    h.biClrImportant = LoadLe32(b + 36);
    return h;
}

BITMAPINFOHEADER DecodeCoreHeader(const std::uint8_t (&b)[12]) {
    BITMAPINFOHEADER h{};
    h.biSize = kInfoHeaderSize;
    h.biWidth = LoadLe16(b + 4);   // widened without sign
    h.biHeight = LoadLe16(b + 6);  // so core files are always bottom-up
    h.biPlanes = LoadLe16(b + 8);
    h.biBitCount = LoadLe16(b + 10);
    return h;
}

void EncodeFileHeader(const BITMAPFILEHEADER& h, std::uint8_t (&b)[14]) {
    StoreLe16(b, h.bfType);
    StoreLe32(b + 2, h.bfSize);
    StoreLe16(b + 6, h.bfReserved1);
    StoreLe16(b + 8, h.bfReserved2);
    StoreLe32(b + 10, h.bfOffBits);
}

void EncodeInfoHeader(const BITMAPINFOHEADER& h, std::uint8_t (&b)[40]) {
    StoreLe32(b, h.biSize);
    StoreLe32(b + 4, static_cast<std::uint32_t>(h.biWidth));
    StoreLe32(b + 8, static_cast<std::uint32_t>(h.biHeight));
    StoreLe16(b + 12, h.biPlanes);
    StoreLe16(b + 14, h.biBitCount);
    StoreLe32(b + 16, h.biCompression);
    StoreLe32(b + 20, h.biSizeImage);
    StoreLe32(b + 24, static_cast<std::uint32_t>(h.biXPelsPerMeter));
    StoreLe32(b + 28, static_cast<std::uint32_t>(h.biYPelsPerMeter));
    StoreLe32(b + 32, h.biClrUsed);
    StoreLe32(b + 36, h.biClrImportant);
}

std::int32_t ComputeRowStride(const BITMAPINFOHEADER* header) {
    if (header == nullptr || header->biSize != kInfoHeaderSize) return 0;
    if (header->biBitCount == 0 || header->biWidth < 1) return 0;
    // Bit counts 3 and 15 are stored in 4 and 16 bits a pixel.
    std::int64_t bitsPerPixel = header->biBitCount;
    if (bitsPerPixel == 3) bitsPerPixel = 4;
    if (bitsPerPixel == 15) bitsPerPixel = 16;
    // The bits of a row must fit the signed 32-bit range, as the stored
    // format computes them; beyond it there is no honest answer.
    const std::int64_t bits = static_cast<std::int64_t>(header->biWidth) * bitsPerPixel;
    if (bits > std::numeric_limits<std::int32_t>::max()) return 0;
    const std::int64_t bytes = (bits + 7) / 8;
    return static_cast<std::int32_t>((bytes + 3) / 4 * 4);
}

}  // namespace bmp
