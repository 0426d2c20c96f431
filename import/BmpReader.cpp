#include "import/BmpReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace {

constexpr const char* kReadMode = "rb";
constexpr auto kSharing = tamb::CBufferedFile::ShareReadWrite;

inline void PutNibble(std::uint8_t* row, std::int32_t x, unsigned v) {
    std::uint8_t& byte = row[x >> 1];
    byte = (x & 1) ? static_cast<std::uint8_t>((byte & 0xF0) | v)
                   : static_cast<std::uint8_t>((byte & 0x0F) | (v << 4));
}

// How a run-length row holds its pixels; the decoding loop is the same for
// both depths. Each clears what no code of the row stores: StartRow the
// columns before the one the row starts at (all of them for a blank row),
// Clear those a delta passes over and those after the row's end.

// One pixel a byte. The row is not cleared first: only what no code stores
// is cleared.
struct Rle8Pixels {
    static int DataBytes(int pixels) { return pixels; }
    static int PixelsIn(int bytes) { return bytes; }
    // Stores a run of `count` at x, clipped to the row, and answers the
    // column after it. Runs are mostly a few pixels long: where the row has
    // room, a run of up to 16 goes out as 16 bytes at once. What it writes
    // past its end lies within the 15 columns after the new one, where a
    // later code or the clearing of the row's end covers it.
    static std::int32_t Run(std::uint8_t* row, std::int32_t width, std::int32_t x, int count,
                            int value) {
        if (count <= 16 && x <= width - 16) {
            const std::uint64_t pattern = 0x0101010101010101ull * static_cast<std::uint8_t>(value);
            std::memcpy(row + x, &pattern, 8);
            std::memcpy(row + x + 8, &pattern, 8);
            return x + count;
        }
        const std::int32_t n = std::min<std::int32_t>(count, width - x);
        std::memset(row + x, value, static_cast<std::size_t>(n));
        return x + n;
    }
    static void StartRow(std::uint8_t* row, std::int32_t, std::int32_t start) {
        std::memset(row, 0, static_cast<std::size_t>(start));
    }
    static void Clear(std::uint8_t* row, std::int32_t from, std::int32_t to) {
        std::memset(row + from, 0, static_cast<std::size_t>(to - from));
    }
    // Data byte j of an absolute run starting at column x, stored where the
    // row has room for it.
    static void PutData(std::uint8_t* row, std::int32_t x, std::int32_t room, int j, int c) {
        if (j < room) row[x + j] = static_cast<std::uint8_t>(c);
    }
};

// Two pixels a byte, the even column in the high nibble. A run alternates
// the two nibbles of its value, starting with the high one.
struct Rle4Pixels {
    static std::size_t RowBytes(std::int32_t width) {
        return static_cast<std::size_t>(width / 2 + (width & 1));
    }
    static int DataBytes(int pixels) { return (pixels + 1) / 2; }
    static int PixelsIn(int bytes) { return 2 * bytes; }
    // Stores exactly the run's pixels, clipped to the row, and answers the
    // column after them: nothing past them to clear.
    static std::int32_t Run(std::uint8_t* row, std::int32_t width, std::int32_t x, int count,
                            int value) {
        const std::int32_t n = std::min<std::int32_t>(count, width - x);
        const unsigned high = static_cast<unsigned>(value) >> 4;
        const unsigned low = static_cast<unsigned>(value) & 0x0F;
        std::int32_t j = 0;
        if ((x & 1) && n > 0) {
            PutNibble(row, x, high);
            j = 1;
        }
        // From an even column on, whole bytes take two pixels of the run.
        const std::int32_t pairs = (n - j) / 2;
        const auto pair = static_cast<std::uint8_t>(j == 0 ? value : (low << 4) | high);
        std::memset(row + ((x + j) >> 1), pair, static_cast<std::size_t>(pairs));
        j += 2 * pairs;
        if (j < n) PutNibble(row, x + j, (j & 1) ? low : high);
        return x + n;
    }
    // A nibble is stored into its byte, so the whole row is cleared first.
    static void StartRow(std::uint8_t* row, std::int32_t width, std::int32_t) {
        std::memset(row, 0, RowBytes(width));
    }
    static void Clear(std::uint8_t*, std::int32_t, std::int32_t) {}
    // Data byte j holds pixels 2j (high nibble) and 2j + 1 (low nibble).
    static void PutData(std::uint8_t* row, std::int32_t x, std::int32_t room, int j, int c) {
        if (2 * j < room) PutNibble(row, x + 2 * j, static_cast<unsigned>(c) >> 4);
        if (2 * j + 1 < room) PutNibble(row, x + 2 * j + 1, static_cast<unsigned>(c) & 0x0F);
    }
};

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

bool BmpReader::Refuse(BmpFileStatus status) {
    m_status = status;
    Close();
    return false;
}

bool BmpReader::StopCutShort() {
    Close();
    return false;
}

void BmpReader::ResetRunLengthState() {
    m_rleBlankRows = 0;
    m_rleResumeColumn = 0;
}

bool BmpReader::ReadFileHeader(bmp::BITMAPFILEHEADER& header) {
    std::uint8_t bytes[bmp::kFileHeaderSize];
    if (m_file.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    header = bmp::DecodeFileHeader(bytes);
    return true;
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
        return true;
    }
    std::uint8_t bytes[bmp::kInfoHeaderSize];
    if (m_file.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    m_infoHeader = bmp::DecodeInfoHeader(bytes);
    return true;
}

void BmpReader::SkipInfoHeaderTail() {
    if (m_infoHeader.biSize <= bmp::kInfoHeaderSize) return;
    m_file.Seek(static_cast<long long>(m_infoHeader.biSize - bmp::kInfoHeaderSize),
                tamb::CBufferedFile::FromCurrent);
    m_infoHeader.biSize = bmp::kInfoHeaderSize;
}

bool BmpReader::HasPictureSize() const {
    return m_infoHeader.biSize >= bmp::kInfoHeaderSize && m_infoHeader.biWidth >= 1 &&
           m_infoHeader.biHeight != 0;
}

bool BmpReader::HasSupportedStorage() const {
    const bmp::BITMAPINFOHEADER& info = m_infoHeader;
    if (info.biPlanes != 1 || info.biCompression > bmp::BI_BITFIELDS) return false;
    // A run-length code at a bit count not its own: the 8-bit code is refused,
    // the 4-bit one only below 4 bits, where its row would not fit the row the
    // bit count sizes. Above, its bytes land at the start of a wider row.
    return !(info.biCompression == bmp::BI_RLE8 && info.biBitCount != 8) &&
           !(info.biCompression == bmp::BI_RLE4 && info.biBitCount < 4);
}

bool BmpReader::ReadBitFieldMasks() {
    std::memset(m_bitFieldMasks, 0, sizeof m_bitFieldMasks);
    if (m_infoHeader.biCompression != bmp::BI_BITFIELDS) return true;
    std::uint8_t bytes[bmp::kMaskBytes];
    if (m_file.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    m_bitFieldMasks[0] = bmp::LoadLe32(bytes);
    m_bitFieldMasks[1] = bmp::LoadLe32(bytes + 4);
    m_bitFieldMasks[2] = bmp::LoadLe32(bytes + 8);
    return true;
}

bool BmpReader::ReadColorTable(bool coreHeader) {
    const std::uint32_t count = m_infoHeader.biClrUsed;
    if (!coreHeader) {
        const unsigned int bytes = count * sizeof(tagRGBQUAD);
        return m_file.Read(m_colorTable, bytes) == bytes;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t triple[sizeof(bmp::RGBTRIPLE)];
        if (m_file.Read(triple, sizeof triple) != sizeof triple) return false;
        m_colorTable[i].rgbBlue = triple[0];
        m_colorTable[i].rgbGreen = triple[1];
        m_colorTable[i].rgbRed = triple[2];
    }
    return true;
}

bool BmpReader::OpenAndReadHeaders(const char* path) {
    if (m_file.IsOpen()) return Refuse(BmpFileStatus::WrongState);
    m_status = BmpFileStatus::Ok;
    m_rowsRead = 0;
    ResetRunLengthState();
    if (!m_file.OpenNoThrow(path, kReadMode, kSharing, false))
        return Refuse(BmpFileStatus::OpenFailed);

    bmp::BITMAPFILEHEADER fileHeader;
    if (!ReadFileHeader(fileHeader)) return Refuse(BmpFileStatus::IoError);
    if (fileHeader.bfType != bmp::kSignature) return Refuse(BmpFileStatus::BadFormat);
    bool coreHeader = false;
    if (!ReadInfoHeader(coreHeader)) return StopCutShort();
    SkipInfoHeaderTail();
    // Sizes whose row arithmetic leaves 32 bits are described; the import
    // refuses them.
    if (!HasPictureSize()) return Refuse(BmpFileStatus::BadFormat);
    bmp::BITMAPINFOHEADER& info = m_infoHeader;
    const bool indexed = info.biBitCount <= 8;
    if (indexed && info.biClrUsed == 0) {
        info.biClrUsed = 1u << info.biBitCount;
        if (info.biClrImportant == 0) info.biClrImportant = info.biClrUsed;
    }
    if (!HasSupportedStorage()) return Refuse(BmpFileStatus::Unsupported);
    if (!ReadBitFieldMasks()) return Refuse(BmpFileStatus::IoError);
    if (indexed && info.biClrUsed > static_cast<std::uint32_t>(bmp::kMaxColors))
        return Refuse(BmpFileStatus::BadFormat);
    if (indexed && !ReadColorTable(coreHeader)) return Refuse(BmpFileStatus::IoError);

    if (fileHeader.bfOffBits != 0)
        m_file.Seek(static_cast<long long>(fileHeader.bfOffBits), tamb::CBufferedFile::FromStart);
    m_pixelDataPos = m_file.GetPosition();
    return true;
}

bool BmpReader::ProbeFile(const char* path) {
    if (!m_file.OpenNoThrow(path, kReadMode, kSharing, false)) return false;
    bmp::BITMAPFILEHEADER fileHeader;
    bool coreHeader = false;
    const bool plausible = ReadFileHeader(fileHeader) && fileHeader.bfType == bmp::kSignature &&
                           ReadInfoHeader(coreHeader) && HasPictureSize();
    Close();
    return plausible;
}

void BmpReader::RewindToPixelData() {
    m_file.Seek(m_pixelDataPos, tamb::CBufferedFile::FromStart);
    m_rowsRead = 0;
    ResetRunLengthState();
}

bool BmpReader::ReadScanline(void* row) {
    if (!m_file.IsOpen() || m_rowsRead >= bmp::RowCount(m_infoHeader))
        return Refuse(BmpFileStatus::WrongState);

    auto* out = static_cast<std::uint8_t*>(row);
    switch (m_infoHeader.biCompression) {
        case bmp::BI_RLE4:
            DecodeRleRow<Rle4Pixels>(out);
            break;
        case bmp::BI_RLE8:
            DecodeRleRow<Rle8Pixels>(out);
            break;
        default: {
            const std::int32_t stride = bmp::ComputeRowStride(&m_infoHeader);
            const auto count = static_cast<unsigned int>(stride);
            if (m_file.Read(out, count) != count) return Refuse(BmpFileStatus::IoError);
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

std::optional<std::int32_t> BmpReader::BeginRleRow() {
    if (m_rleBlankRows > 0) {
        --m_rleBlankRows;
        return std::nullopt;
    }
    return std::exchange(m_rleResumeColumn, 0);
}

BmpReader::RleStep BmpReader::ReadRleDelta(std::int32_t width, std::int32_t x) {
    const int dx = m_file.Getc();
    if (dx < 0) return RowEndsAt(x);
    const int dy = m_file.Getc();
    if (dy < 0) return RowEndsAt(x);
    const std::int32_t room = width - x;
    const std::int32_t column = x + std::min(dx, room);
    if (dy == 0) return column;
    // A move down ends this row; the rows passed over come out blank and the
    // row after them resumes at the new column.
    m_rleBlankRows = dy - 1;
    m_rleResumeColumn = column;
    return RowEndsAt(x);
}

// Absolute run: every data byte is read; the pixels past the row's end are
// dropped. The row ends when the file does.
template <class Pixels>
BmpReader::RleStep BmpReader::ReadAbsoluteRun(std::uint8_t* row, std::int32_t width, std::int32_t x,
                                              int pixels) {
    const std::int32_t room = std::min<std::int32_t>(pixels, width - x);
    const int bytes = Pixels::DataBytes(pixels);
    int j = 0;
    for (int c; j < bytes && (c = m_file.Getc()) >= 0; ++j) Pixels::PutData(row, x, room, j, c);
    if (j < bytes) return RowEndsAt(x + std::min<std::int32_t>(room, Pixels::PixelsIn(j)));
    if (bytes & 1) m_file.Getc();  // pad to an even count of data bytes
    return x + room;
}

// An escape code: the end of the line or of the bitmap, a delta, or an
// absolute run.
template <class Pixels>
BmpReader::RleStep BmpReader::ReadEscape(std::uint8_t* row, std::int32_t width, std::int32_t x,
                                         int code) {
    if (code == bmp::kRleEndOfLine || code == bmp::kRleEndOfBitmap) return RowEndsAt(x);
    if (code != bmp::kRleDelta) return ReadAbsoluteRun<Pixels>(row, width, x, code);
    const RleStep step = ReadRleDelta(width, x);
    if (step >= 0) Pixels::Clear(row, x, step);  // the columns the move passes over
    return step;
}

template <class Pixels>
void BmpReader::DecodeRleRow(std::uint8_t* row) {
    const std::int32_t width = m_infoHeader.biWidth;
    const std::optional<std::int32_t> start = BeginRleRow();
    std::int32_t x = start.value_or(width);
    Pixels::StartRow(row, width, x);
    if (!start) return;
    for (;;) {
        const int count = m_file.Getc();
        if (count < 0) break;
        int value = m_file.Getc();
        if (value < 0) break;
        if (count != bmp::kRleEscape) {
            // An encoded run. The next code is read before the run is
            // stored, so that the four bytes come through Getc back to back;
            // an escape read that way is taken up below.
            const int nextCount = m_file.Getc();
            const int nextValue = nextCount < 0 ? -1 : m_file.Getc();
            x = Pixels::Run(row, width, x, count, value);
            if (nextValue < 0) break;
            if (nextCount != bmp::kRleEscape) {
                x = Pixels::Run(row, width, x, nextCount, nextValue);
                continue;
            }
            value = nextValue;
        }
        const RleStep step = ReadEscape<Pixels>(row, width, x, value);
        if (step < 0) {
            x = ~step;
            break;
        }
        x = step;
    }
    Pixels::Clear(row, x, width);
}
