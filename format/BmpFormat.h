#pragma once
// The BMP file format as the module reads and writes it: the on-disk records,
// the compression values, the run-length codes and the row length rule.
#include <cstdint>
#include <cstdlib>

#include "tamb/RgbQuad.h"

// The Windows headers define the compression values as macros of the same
// values. From here on the names are the module's own, in its namespace, so
// that a translation unit may include both (in either order): there the
// values are spelled bmp::BI_RGB and so on.
#undef BI_RGB
#undef BI_RLE8
#undef BI_RLE4
#undef BI_BITFIELDS

namespace bmp {

#pragma pack(push, 1)

struct BITMAPFILEHEADER {
    std::uint16_t bfType;
    std::uint32_t bfSize;
    std::uint16_t bfReserved1;
    std::uint16_t bfReserved2;
    std::uint32_t bfOffBits;
};

struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};

struct BITMAPCOREHEADER {
    std::uint32_t bcSize;
    std::uint16_t bcWidth;
    std::uint16_t bcHeight;
    std::uint16_t bcPlanes;
    std::uint16_t bcBitCount;
};

struct RGBTRIPLE {
    std::uint8_t rgbtBlue;
    std::uint8_t rgbtGreen;
    std::uint8_t rgbtRed;
};

#pragma pack(pop)

static_assert(sizeof(BITMAPFILEHEADER) == 14, "file header is 14 bytes");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "information header is 40 bytes");
static_assert(sizeof(BITMAPCOREHEADER) == 12, "core header is 12 bytes");
static_assert(sizeof(RGBTRIPLE) == 3, "core colour entry is 3 bytes");

constexpr std::uint16_t kSignature = 0x4D42;  // "BM"
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kMaskBytes = 12;
constexpr int kMaxColors = 256;

// Compression values.
constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_RLE8 = 1;
constexpr std::uint32_t BI_RLE4 = 2;
constexpr std::uint32_t BI_BITFIELDS = 3;

// Run-length codes: a first byte of kRleEscape introduces one of these; a
// second byte of 3 or more starts an absolute run of that many pixels.
constexpr int kRleEscape = 0;
constexpr int kRleEndOfLine = 0;
constexpr int kRleEndOfBitmap = 1;
constexpr int kRleDelta = 2;

// The 5-6-5 masks of a 16-bit bit-field file: red, green, blue.
constexpr std::uint32_t kMask565Red = 0xF800;
constexpr std::uint32_t kMask565Green = 0x07E0;
constexpr std::uint32_t kMask565Blue = 0x001F;

// Little-endian field access.
inline std::uint16_t LoadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void StoreLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Rows of the image: the magnitude of the height, of any height.
inline std::int64_t RowCount(const BITMAPINFOHEADER& header) {
    return std::llabs(static_cast<long long>(header.biHeight));
}

// Records from and to their stored bytes.
BITMAPFILEHEADER DecodeFileHeader(const std::uint8_t (&bytes)[14]);
BITMAPINFOHEADER DecodeInfoHeader(const std::uint8_t (&bytes)[40]);
// A core header widened to the 40-byte form; every field it lacks is 0.
BITMAPINFOHEADER DecodeCoreHeader(const std::uint8_t (&bytes)[12]);
void EncodeFileHeader(const BITMAPFILEHEADER& header, std::uint8_t (&bytes)[14]);
void EncodeInfoHeader(const BITMAPINFOHEADER& header, std::uint8_t (&bytes)[40]);

// Stored length in bytes of one uncompressed row: the bits of the row rounded
// up to whole bytes, then to a multiple of four. 0 for a missing header, a
// header whose biSize is not 40, a bit count of 0, a width below 1, or a row
// whose bit length leaves the signed 32-bit range.
std::int32_t ComputeRowStride(const BITMAPINFOHEADER* header);

}  // namespace bmp
