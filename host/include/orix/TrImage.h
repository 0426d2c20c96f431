#pragma once
#include <vector>

#include "orix/TrBase.h"
#include "tamb/ColorFormat.h"
#include "tamb/RgbQuad.h"

namespace orix {

// A raster image held in memory, rows by index (0 is the top row). The import
// filter makes one by value, so its layout is part of the contract; the
// export filter reads the host's.
class TrImage : public TrBase {
  public:
    enum RowAccessOrder : int { RowsTopDown = 0, RowsBottomUp = 1, RowsByIndex = 2 };

    TrImage();
    ~TrImage() override;
    TrImage(const TrImage&);
    TrImage& operator=(const TrImage&);
    // Takes the other's rows and leaves it an empty image, as made new.
    TrImage(TrImage&&) noexcept;
    TrImage& operator=(TrImage&&) noexcept;

    static const tamb::CTypeInfo* GetClassTypeId();
    const tamb::CTypeInfo* GetTypeId() const override;

    // Writing, as an import does it. SetScanlineStart starts the image afresh
    // and raises when the host cannot hold it.
    void SetScanlineStart(int width, int rows, tamb::ColorFormat format, int xPelsPerMeter,
                          int yPelsPerMeter, const tagRGBQUAD* colorTable, RowAccessOrder order,
                          unsigned int flags);
    void SetScanline(const void* row, int index);
    void SetScanlineEnd(const tagRGBQUAD* colorTable, unsigned int flags);

    // Reading, as an export does it.
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetXPelsPerMeter() const { return m_xPelsPerMeter; }
    int GetYPelsPerMeter() const { return m_yPelsPerMeter; }
    int GetNumColorTableEntriesUsed() const { return m_colorsUsed; }
    tamb::ColorFormat GetColorFormat() const { return m_format; }
    void GetColorTable(tagRGBQUAD* destination, int first, int count) const;
    void GetScanlineStart();
    // Copies one row in the image's format: the pixels, padded to a multiple
    // of four bytes.
    void GetScanline(void* destination, int index);
    void GetScanlineEnd();

  protected:
    void Swap(TrImage& other) noexcept;
    unsigned char* RowForWriting(int index);
    const unsigned char* StoredRow(int index) const;  // null when its block was never written

    int m_width = 0;
    int m_height = 0;
    int m_xPelsPerMeter = 0;
    int m_yPelsPerMeter = 0;
    int m_colorsUsed = 0;
    tamb::ColorFormat m_format = tamb::ColorNone;
    tagRGBQUAD m_colorTable[256] = {};
    int m_rowBytes = 0;
    int m_rowsPerBlock = 1;
    std::vector<std::vector<unsigned char>> m_blocks;  // empty until a row of it arrives
};

}  // namespace orix
