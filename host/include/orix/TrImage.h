#pragma once
#include <cstdint>
#include <vector>

#include "orix/TrBase.h"
#include "tamb/ColorFormat.h"
#include "tamb/RgbQuad.h"

namespace orix {

// A raster image held in memory. Rows are kept by index (0 is the top row),
// each GetRowBytes() long: the pixels in the image's format, padded to a
// multiple of four bytes. Storage is taken in blocks of rows as rows arrive,
// so announcing a huge image costs nothing until its rows come. A host policy
// limits the pixel count: SetScanlineStart beyond it fails as an allocation
// would (std::bad_alloc).
class TrImage : public TrBase {
  public:
    enum RowAccessOrder : int { RowsTopDown = 0, RowsBottomUp = 1, RowsByIndex = 2 };

    TrImage();
    ~TrImage() override;
    TrImage(const TrImage&);
    TrImage& operator=(const TrImage&);

    static const tamb::CTypeInfo* GetClassTypeId();
    const tamb::CTypeInfo* GetTypeId() const override;

    // Writing, as an import does it. SetScanlineStart starts the image afresh.
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
    // Copies GetRowBytes() bytes of the row; a row never written reads as zeros.
    void GetScanline(void* destination, int index);
    void GetScanlineEnd();

    // The host's own access.
    int GetRowBytes() const { return m_rowBytes; }
    const unsigned char* Row(int index) const;  // null when its block was never written
    const tagRGBQUAD* ColorTable() const { return m_colorTable; }
    void SetNumColorTableEntriesUsed(int count) { m_colorsUsed = count; }
    static int RowBytesFor(int width, tamb::ColorFormat format);  // -1 when too large
    static void SetPixelLimit(std::uint64_t pixels);
    static std::uint64_t GetPixelLimit();

    // Call records.
    int m_scanlineStartCalls = 0;
    int m_scanlineEndCalls = 0;
    int m_getScanlineStartCalls = 0;
    int m_getScanlineEndCalls = 0;
    RowAccessOrder m_lastOrder = RowsTopDown;
    unsigned int m_lastStartFlags = 0;
    bool m_lastEndTableNull = true;
    unsigned int m_lastEndFlags = 0;

  private:
    unsigned char* RowForWriting(int index);

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
