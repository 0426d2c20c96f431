#pragma once
#include <cstdint>
#include <optional>

#include "format/BmpFileStatus.h"
#include "format/BmpFormat.h"
#include "tamb/CBufferedFile.h"

// Bits a pixel takes in the image the import makes: 16-bit pixels become
// 24-bit ones, every other bit count stays as stored.
inline std::uint16_t ImageBitsPerPixel(const bmp::BITMAPINFOHEADER& info) {
    return info.biBitCount == 16 ? 24 : info.biBitCount;
}

// Reads one BMP file: checks its headers, loads the masks and the colour
// table, then hands out the stored rows one at a time (run-length coded rows
// decoded). Never throws and never talks to the user: each operation answers
// true or false and leaves the reason of a failure in m_status.
class BmpReader {
  public:
    BmpReader();
    ~BmpReader();

    bool OpenAndReadHeaders(const char* path);
    bool ProbeFile(const char* path);
    bool ReadScanline(void* row);
    void Close();
    void RewindToPixelData();

    BmpFileStatus GetStatus() const { return m_status; }
    bmp::BITMAPINFOHEADER* GetInfoHeader() { return &m_infoHeader; }
    tagRGBQUAD* GetColorTable() { return m_colorTable; }
    const std::uint32_t* GetBitFieldMasks() const { return m_bitFieldMasks; }

  private:
    // Records the failure and closes the file.
    bool Refuse(BmpFileStatus status);
    // Closes the file after a header cut short; the status stays Ok, and the
    // caller reports the file by its generic failure.
    bool StopCutShort();
    bool ReadFileHeader(bmp::BITMAPFILEHEADER& header);
    // Reads the header-size field, then the core or 40-byte header, into
    // m_infoHeader. False when the file ends first.
    bool ReadInfoHeader(bool& coreHeader);
    // Moves past the rest of a header larger than 40 bytes, which the probe
    // leaves unread, and holds the header as 40 bytes.
    void SkipInfoHeaderTail();
    bool HasPictureSize() const;
    bool HasSupportedStorage() const;
    bool ReadBitFieldMasks();
    bool ReadColorTable(bool coreHeader);

    void ResetRunLengthState();
    template <class Pixels>
    void DecodeRleRow(std::uint8_t* row);
    // Where a code leaves the column: x while the row goes on, ~x (below 0)
    // when the row ends there. One integer rather than a pair, so that it
    // stays in a register through the decoding loop.
    using RleStep = std::int32_t;
    static RleStep RowEndsAt(std::int32_t x) { return ~x; }
    // The column a run-length row starts at; none when a delta made it a
    // blank row.
    std::optional<std::int32_t> BeginRleRow();
    template <class Pixels>
    RleStep ReadAbsoluteRun(std::uint8_t* row, std::int32_t width, std::int32_t x, int pixels);
    // Reads a delta's offsets; a move down ends the row.
    RleStep ReadRleDelta(std::int32_t width, std::int32_t x);
    template <class Pixels>
    RleStep ReadEscape(std::uint8_t* row, std::int32_t width, std::int32_t x, int code);

    BmpFileStatus m_status;
    tamb::CBufferedFile m_file;
    bmp::BITMAPINFOHEADER m_infoHeader;
    tagRGBQUAD m_colorTable[bmp::kMaxColors];
    std::int32_t m_rowsRead;
    std::uint32_t m_bitFieldMasks[3];
    std::int64_t m_pixelDataPos;
    // A run-length delta that moves down ends the row it is in; these carry
    // the move into the following calls: rows still to hand out blank, then
    // the column at which decoding resumes.
    std::int32_t m_rleBlankRows;
    std::int32_t m_rleResumeColumn;
};
