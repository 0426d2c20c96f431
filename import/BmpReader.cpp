#include "import/BmpReader.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

constexpr const char* kReadMode = "rb";
constexpr auto kSharing = tamb::CBufferedFile::ShareReadWrite;

// True when a row of the image the import makes stays inside the signed
// 32-bit range in bits (16-bit rows are expanded to 24 bits; every other bit
// count, even one the import refuses, counts as it is), and the row count has
// a magnitude. The image's row size is then at most 2^28 bytes, and the
// stored row length is computed wide and refused when it does not fit.
bool DimensionsInRange(const bmp::BITMAPINFOHEADER& info) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (info.biHeight == std::numeric_limits<std::int32_t>::min()) return false;
    const std::int64_t bitsPerPixel = info.biBitCount == 16 ? 24 : info.biBitCount;
    return static_cast<std::int64_t>(info.biWidth) * bitsPerPixel <= kMax;
}

std::int64_t RowCount(const bmp::BITMAPINFOHEADER& info) {
    const std::int64_t height = info.biHeight;
    return height < 0 ? -height : height;
}

}  // namespace

BmpReader::BmpReader()
    : m_status(BmpFileStatus::Ok),
      m_infoHeader{},
      m_colorTable{},
      m_rowsRead(0),
      m_bitFieldMasks{},
      m_pixelDataPos(0),
      m_rleBlankRows(0),
      m_rleResumeColumn(0) {}

BmpReader::~BmpReader() { Close(); }

void BmpReader::Close() {
    if (m_file.IsOpen()) m_file.Close();
}

bool BmpReader::Fail(BmpFileStatus status) {
    m_status = status;
    Close();
    return false;
}

void BmpReader::ResetRunLengthState() {
    m_rleBlankRows = 0;
    m_rleResumeColumn = 0;
}

bool BmpReader::ReadInfoHeader(bool& coreHeader) {
    const long long headerStart = m_file.GetPosition();
    std::uint8_t sizeField[4];
    if (m_file.Read(sizeField, sizeof sizeField) != sizeof sizeField) return false;
    m_file.Seek(headerStart, tamb::CBufferedFile::FromStart);

    coreHeader = bmp::LoadLe32(sizeField) == bmp::kCoreHeaderSize;
    if (coreHeader) {
        std::uint8_t bytes[bmp::kCoreHeaderSize];
        if (m_file.Read(bytes, sizeof bytes) != sizeof bytes) return false;
        m_infoHeader = bmp::DecodeCoreHeader(bytes);
    } else {
        std::uint8_t bytes[bmp::kInfoHeaderSize];
        if (m_file.Read(bytes, sizeof bytes) != sizeof bytes) return false;
        m_infoHeader = bmp::DecodeInfoHeader(bytes);
    }
    return true;
}

bool BmpReader::OpenAndReadHeaders(const char* path) {
    if (m_file.IsOpen()) return Fail(BmpFileStatus::WrongState);
    m_status = BmpFileStatus::Ok;
    m_rowsRead = 0;
    ResetRunLengthState();

    if (!m_file.OpenNoThrow(path, kReadMode, kSharing, false)) {
        m_status = BmpFileStatus::OpenFailed;
        return false;
    }

    std::uint8_t fileHeaderBytes[bmp::kFileHeaderSize];
    if (m_file.Read(fileHeaderBytes, sizeof fileHeaderBytes) != sizeof fileHeaderBytes)
        return Fail(BmpFileStatus::IoError);
    const bmp::BITMAPFILEHEADER fileHeader = bmp::DecodeFileHeader(fileHeaderBytes);
    if (fileHeader.bfType != bmp::kSignature) return Fail(BmpFileStatus::BadFormat);

    // A header cut short is reported by the caller's generic failure, so the
    // status stays Ok here.
    bool coreHeader = false;
    if (!ReadInfoHeader(coreHeader)) return Fail(BmpFileStatus::Ok);
    if (!coreHeader && m_infoHeader.biSize > bmp::kInfoHeaderSize) {
        m_file.Seek(static_cast<long long>(m_infoHeader.biSize - bmp::kInfoHeaderSize),
                    tamb::CBufferedFile::FromCurrent);
        m_infoHeader.biSize = bmp::kInfoHeaderSize;
    }

    bmp::BITMAPINFOHEADER& info = m_infoHeader;
    if (info.biSize < bmp::kInfoHeaderSize || info.biWidth < 1 || info.biHeight == 0)
        return Fail(BmpFileStatus::BadFormat);
    // Nothing may be sized from a dimension whose row arithmetic wraps.
    if (!DimensionsInRange(info)) return Fail(BmpFileStatus::BadFormat);

    if (info.biBitCount <= 8 && info.biClrUsed == 0) {
        info.biClrUsed = 1u << info.biBitCount;
        if (info.biClrImportant == 0) info.biClrImportant = info.biClrUsed;
    }

    if (info.biPlanes != 1) return Fail(BmpFileStatus::Unsupported);
    if (info.biCompression > bmp::BI_BITFIELDS) return Fail(BmpFileStatus::Unsupported);
    // A run-length code of the other depth would decode more bytes a row than
    // the bit count gives room for.
    if ((info.biCompression == bmp::BI_RLE8 && info.biBitCount != 8) ||
        (info.biCompression == bmp::BI_RLE4 && info.biBitCount != 4))
        return Fail(BmpFileStatus::Unsupported);

    std::memset(m_bitFieldMasks, 0, sizeof m_bitFieldMasks);
    if (info.biCompression == bmp::BI_BITFIELDS) {
        std::uint8_t maskBytes[bmp::kMaskBytes];
        if (m_file.Read(maskBytes, sizeof maskBytes) != sizeof maskBytes)
            return Fail(BmpFileStatus::IoError);
        for (int i = 0; i < 3; ++i) m_bitFieldMasks[i] = bmp::LoadLe32(maskBytes + 4 * i);
    }

    if (info.biClrUsed != 0 && info.biBitCount <= 8) {
        if (info.biClrUsed > static_cast<std::uint32_t>(bmp::kMaxColors))
            return Fail(BmpFileStatus::BadFormat);
        if (coreHeader) {
            for (std::uint32_t i = 0; i < info.biClrUsed; ++i) {
                std::uint8_t triple[sizeof(bmp::RGBTRIPLE)];
                if (m_file.Read(triple, sizeof triple) != sizeof triple)
                    return Fail(BmpFileStatus::IoError);
                m_colorTable[i].rgbBlue = triple[0];
                m_colorTable[i].rgbGreen = triple[1];
                m_colorTable[i].rgbRed = triple[2];
            }
        } else {
            const unsigned int tableBytes = info.biClrUsed * sizeof(tagRGBQUAD);
            if (m_file.Read(m_colorTable, tableBytes) != tableBytes)
                return Fail(BmpFileStatus::IoError);
        }
    }

    if (fileHeader.bfOffBits != 0)
        m_file.Seek(static_cast<long long>(fileHeader.bfOffBits), tamb::CBufferedFile::FromStart);
    m_pixelDataPos = m_file.GetPosition();
    return true;
}

bool BmpReader::ProbeFile(const char* path) {
    if (!m_file.OpenNoThrow(path, kReadMode, kSharing, false)) return false;
    std::uint8_t fileHeaderBytes[bmp::kFileHeaderSize];
    if (m_file.Read(fileHeaderBytes, sizeof fileHeaderBytes) != sizeof fileHeaderBytes)
        return false;
    if (bmp::DecodeFileHeader(fileHeaderBytes).bfType != bmp::kSignature) return false;
    bool coreHeader = false;
    if (!ReadInfoHeader(coreHeader)) return false;
    if (m_infoHeader.biSize < bmp::kInfoHeaderSize || m_infoHeader.biWidth < 1 ||
        m_infoHeader.biHeight == 0)
        return false;
    Close();
    return true;
}

void BmpReader::RewindToPixelData() {
    m_file.Seek(m_pixelDataPos, tamb::CBufferedFile::FromStart);
    m_rowsRead = 0;
    ResetRunLengthState();
}

bool BmpReader::ReadScanline(void* row) {
    if (!m_file.IsOpen()) {
        m_status = BmpFileStatus::WrongState;
        return false;
    }
    if (m_rowsRead >= RowCount(m_infoHeader)) return Fail(BmpFileStatus::WrongState);

    auto* out = static_cast<std::uint8_t*>(row);
    switch (m_infoHeader.biCompression) {
        case bmp::BI_RLE4:
            DecodeRle4Row(out);
            break;
        case bmp::BI_RLE8:
            DecodeRle8Row(out);
            break;
        default: {
            const std::int32_t stride = bmp::ComputeRowStride(&m_infoHeader);
            const auto count = static_cast<unsigned int>(stride);
            if (m_file.Read(out, count) != count) return Fail(BmpFileStatus::IoError);
            break;
        }
    }
    ++m_rowsRead;
    return true;
}

// Run-length decoding. Every byte of the stream comes through Getc; the end
// of the file ends the row in progress, and every row after it is blank.
// Columns only move right, and every store is checked against the width, so
// no code can write outside the row.

bool BmpReader::BeginRleRow(std::int32_t& x) {
    if (m_rleBlankRows > 0) {
        --m_rleBlankRows;
        return false;
    }
    x = m_rleResumeColumn;
    m_rleResumeColumn = 0;
    return true;
}

bool BmpReader::ReadRleDelta(std::int32_t width, std::int32_t& x) {
    const int dx = m_file.Getc();
    if (dx < 0) return false;
    const int dy = m_file.Getc();
    if (dy < 0) return false;
    const std::int32_t room = width - x;
    const std::int32_t column = x + (dx < room ? dx : room);
    if (dy == 0) {
        x = column;
        return true;
    }
    // A move down ends this row; the rows passed over come out blank and the
    // row after them resumes at the new column.
    m_rleBlankRows = dy - 1;
    m_rleResumeColumn = column;
    return false;
}

void BmpReader::DecodeRle8Row(std::uint8_t* row) {
    const std::int32_t width = m_infoHeader.biWidth;
    std::memset(row, 0, static_cast<std::size_t>(width));
    std::int32_t x = 0;
    if (!BeginRleRow(x)) return;

    for (;;) {
        const int count = m_file.Getc();
        if (count < 0) return;
        const int value = m_file.Getc();
        if (value < 0) return;

        if (count > 0) {  // encoded run
            const std::int32_t room = width - x;
            const std::int32_t n = count < room ? count : room;
            std::memset(row + x, value, static_cast<std::size_t>(n));
            x += n;
            continue;
        }
        if (value == bmp::kRleEndOfLine || value == bmp::kRleEndOfBitmap) return;
        if (value == bmp::kRleDelta) {
            if (!ReadRleDelta(width, x)) return;
            continue;
        }
        // Absolute run: every byte is read, those past the row are dropped.
        for (int j = 0; j < value; ++j) {
            const int c = m_file.Getc();
            if (c < 0) return;
            if (x < width) row[x++] = static_cast<std::uint8_t>(c);
        }
        if (value & 1) m_file.Getc();  // pad to an even position
    }
}

namespace {

inline void PutNibble(std::uint8_t* row, std::int32_t x, unsigned v) {
    std::uint8_t& byte = row[x >> 1];
    byte = (x & 1) ? static_cast<std::uint8_t>((byte & 0xF0) | v)
                   : static_cast<std::uint8_t>((byte & 0x0F) | (v << 4));
}

}  // namespace

void BmpReader::DecodeRle4Row(std::uint8_t* row) {
    const std::int32_t width = m_infoHeader.biWidth;
    std::memset(row, 0, static_cast<std::size_t>(width / 2 + (width & 1)));
    std::int32_t x = 0;
    if (!BeginRleRow(x)) return;

    for (;;) {
        const int count = m_file.Getc();
        if (count < 0) return;
        const int value = m_file.Getc();
        if (value < 0) return;

        if (count > 0) {  // encoded run: high nibble first, alternating
            const std::int32_t room = width - x;
            const std::int32_t n = count < room ? count : room;
            const unsigned high = static_cast<unsigned>(value) >> 4;
            const unsigned low = static_cast<unsigned>(value) & 0x0F;
            std::int32_t j = 0;
            if ((x & 1) && n > 0) {
                PutNibble(row, x++, high);
                j = 1;
            }
            // From an even column on, whole bytes take two pixels of the run.
            const std::int32_t pairs = (n - j) / 2;
            const auto pairByte =
                static_cast<std::uint8_t>(j == 0 ? value : static_cast<int>((low << 4) | high));
            std::memset(row + (x >> 1), pairByte, static_cast<std::size_t>(pairs));
            x += 2 * pairs;
            j += 2 * pairs;
            if (j < n) PutNibble(row, x++, (j & 1) ? low : high);
            continue;
        }
        if (value == bmp::kRleEndOfLine || value == bmp::kRleEndOfBitmap) return;
        if (value == bmp::kRleDelta) {
            if (!ReadRleDelta(width, x)) return;
            continue;
        }
        // Absolute run: two pixels a data byte, high nibble first.
        int c = 0;
        for (int j = 0; j < value; ++j) {
            unsigned pixel;
            if ((j & 1) == 0) {
                c = m_file.Getc();
                if (c < 0) return;
                pixel = static_cast<unsigned>(c) >> 4;
            } else {
                pixel = static_cast<unsigned>(c) & 0x0F;
            }
            if (x < width) PutNibble(row, x++, pixel);
        }
        // The data bytes plus pad make an even count.
        if ((value & 3) == 1 || (value & 3) == 2) m_file.Getc();
    }
}
