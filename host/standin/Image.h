#pragma once
// The stand-in host's own access to its images: rows in place, the colour
// table, the count of colours used, and its limit on image size.
#include <cstdint>
#include <utility>

#include "orix/TrImage.h"

namespace standin {

// Rows are kept each GetRowBytes() long: the pixels in the image's format,
// padded to a multiple of four bytes, the padding kept as SetScanline gave
// it. Storage is taken in blocks of rows as rows arrive, so announcing a huge
// image costs nothing until its rows come. A host policy limits the pixel
// count: SetScanlineStart beyond it fails as an allocation would
// (std::bad_alloc).
class Image : public orix::TrImage {
  public:
    Image() = default;
    explicit Image(const orix::TrImage& image) : orix::TrImage(image) {}
    explicit Image(orix::TrImage&& image) noexcept : orix::TrImage(std::move(image)) {}

    int GetRowBytes() const { return m_rowBytes; }
    const unsigned char* Row(int index) const { return StoredRow(index); }  // null: never written
    const tagRGBQUAD* ColorTable() const { return m_colorTable; }
    void SetNumColorTableEntriesUsed(int count) { m_colorsUsed = count; }

    static int RowBytesFor(int width, tamb::ColorFormat format);  // -1 when too large
    static void SetPixelLimit(std::uint64_t pixels);
    static std::uint64_t GetPixelLimit();
};

// Bits a pixel of the given layout takes in an image row: 1, 4, 8 for the
// grey and indexed formats, 16 for 5-6-5, 24 for BGR, 32 for any other.
int BitsPerPixel(tamb::ColorFormat format);

}  // namespace standin
