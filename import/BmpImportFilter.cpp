#include "frame/BmpImportFilter.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "format/BmpFormat.h"
#include "frame/IoProgressScope.h"
#include "import/ImportMessages.h"

using namespace importmsg;

namespace {

// Closes the reader's file however an import ends; the reader closes it
// itself after its own failures, so a second close is harmless.
class ReaderCloser {
  public:
    explicit ReaderCloser(BmpReader& reader) : m_reader(reader) {}
    ~ReaderCloser() { m_reader.Close(); }
    ReaderCloser(const ReaderCloser&) = delete;
    ReaderCloser& operator=(const ReaderCloser&) = delete;

  private:
    BmpReader& m_reader;
};

// The runtime's text for its last operating-system error, or the fallback
// when it has none to tell.
std::string SystemTextOr(const char* fallback) {
    const unsigned long code = _doserrno;
    return code != 0 ? tamb::FormatSystemErrorMsg(code) : std::string(fallback);
}

[[noreturn]] void RaiseOpenError(const orix::IoFilter& filter, BmpFileStatus status,
                                 const char* path) {
    switch (status) {
        case BmpFileStatus::OpenFailed: {
            const std::string detail = SystemTextOr(kCannotOpenText);
            filter.ThrowError(kSourceFile, kLineOpenFailed, orix::ErrCannotOpen, path,
                              detail.c_str());
        }
        case BmpFileStatus::IoError: {
            const std::string detail = SystemTextOr(kHeaderEndOfFileText);
            filter.ThrowError(kSourceFile, kLineOpenIoError, orix::ErrEndOfFile, path,
                              detail.c_str());
        }
        case BmpFileStatus::Unsupported:
            filter.ThrowError(kSourceFile, kLineOpenUnsupported, orix::ErrBadFile, path);
        case BmpFileStatus::InvalidHeader:
            filter.ThrowError(kSourceFile, kLineOpenInvalidHeader, orix::ErrUnexpected);
        case BmpFileStatus::BadFormat:
            filter.ThrowError(kSourceFile, kLineOpenBadFormat, orix::ErrBadFile, path);
        case BmpFileStatus::WrongState:
            filter.ThrowError(kSourceFile, kLineOpenWrongState, orix::ErrUnexpected);
        default:
            filter.ThrowError(kSourceFile, kLineOpenOther, orix::ErrUnexpected);
    }
}

[[noreturn]] void RaiseRowError(const orix::IoFilter& filter, BmpFileStatus status,
                                const char* path, int ioErrorLine, int otherLine) {
    if (status == BmpFileStatus::IoError)
        filter.ThrowError(kSourceFile, ioErrorLine, orix::ErrEndOfFile, path, kRowEndOfFileText);
    filter.ThrowError(kSourceFile, otherLine, orix::ErrUnexpected);
}

bool FormatForBitCount(unsigned bitCount, tamb::ColorFormat& format) {
    switch (bitCount) {
        case 1:
            format = tamb::ColorIndexed1;
            return true;
        case 4:
            format = tamb::ColorIndexed4;
            return true;
        case 8:
            format = tamb::ColorIndexed8;
            return true;
        case 16:
        case 24:
            format = tamb::ColorBgr24;
            return true;
        case 32:
            format = tamb::ColorBgra32;
            return true;
        default:
            return false;
    }
}

// Bytes of one image row: 16-bit rows become 24-bit ones; whole bytes,
// padded to four. The reader has refused widths for which this leaves the
// signed 32-bit range.
std::int32_t ImageRowBytes(std::int32_t width, unsigned bitCount) {
    const std::int64_t bitsPerPixel = bitCount == 16 ? 24 : bitCount;
    const std::int64_t bytes = (static_cast<std::int64_t>(width) * bitsPerPixel + 7) / 8;
    return static_cast<std::int32_t>((bytes + 3) / 4 * 4);
}

// c * 255 / 31 and c * 255 / 63, fraction dropped.
struct ChannelScale {
    std::uint8_t five[32];
    std::uint8_t six[64];
    constexpr ChannelScale() : five(), six() {
        for (int c = 0; c < 32; ++c) five[c] = static_cast<std::uint8_t>(c * 255 / 31);
        for (int c = 0; c < 64; ++c) six[c] = static_cast<std::uint8_t>(c * 255 / 63);
    }
};
constexpr ChannelScale kScale;

// Expands little-endian 16-bit pixels to blue, green, red bytes. The third
// byte always comes from the top bits, whichever layout the masks named.
void ExpandRow16(const std::uint8_t* in, std::uint8_t* out, std::int32_t width, bool is565) {
    if (is565) {
        for (std::int32_t x = 0; x < width; ++x, in += 2, out += 3) {
            const unsigned v = in[0] | (in[1] << 8);
            out[0] = kScale.five[v & 0x1F];
            out[1] = kScale.six[(v >> 5) & 0x3F];
            out[2] = kScale.five[v >> 11];
        }
    } else {
        for (std::int32_t x = 0; x < width; ++x, in += 2, out += 3) {
            const unsigned v = in[0] | (in[1] << 8);
            out[0] = kScale.five[v & 0x1F];
            out[1] = kScale.five[(v >> 5) & 0x1F];
            out[2] = kScale.five[(v >> 10) & 0x1F];
        }
    }
}

bool AnyAlpha(const std::uint8_t* row, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x)
        if (row[4 * static_cast<std::size_t>(x) + 3] != 0) return true;
    return false;
}

void MakeOpaque(std::uint8_t* row, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) row[4 * static_cast<std::size_t>(x) + 3] = 255;
}

// Formats one line into a bounded buffer and appends it.
void AppendFormatted(std::string& text, const char* format, ...) {
    char line[260];
    va_list args;
    va_start(args, format);
    const int written = vsprintf_s(line, sizeof line, format, args);
    va_end(args);
    if (written >= 0) text += line;
}

}  // namespace

BmpImportFilter::BmpImportFilter(orix::IoManager& manager)
    : orix::IoImportFilter(manager), m_promptAllowed(false), m_alphaAllZero(false) {}

BmpImportFilter::~BmpImportFilter() = default;

bool BmpImportFilter::IsFileSupported(const char* path) {
    BmpReader reader;
    return reader.ProbeFile(path);
}

bool BmpImportFilter::GetFileDescription(const char* path, std::string& text) {
    BmpReader reader;
    if (!reader.OpenAndReadHeaders(path)) return false;
    const BITMAPINFOHEADER info = *reader.GetInfoHeader();
    reader.Close();

    // Built aside, so that the caller's text stays as it was if a step throws.
    std::string description = kDescriptionTitle;
    AppendFormatted(description, kDescriptionWidth, static_cast<int>(info.biWidth));
    AppendFormatted(description, kDescriptionHeight, static_cast<int>(info.biHeight));
    AppendFormatted(description, kDescriptionBitDepth, static_cast<int>(info.biBitCount));
    description += kDescriptionColorFormat;
    description += ColorFormatName(info.biBitCount);
    description += kDescriptionLineEnd;
    text.swap(description);
    return true;
}

orix::ImportStatus BmpImportFilter::ImportFile(const char* path, bool promptAllowed) {
    m_promptAllowed = promptAllowed;
    m_alphaAllZero = true;

    if (!m_reader.OpenAndReadHeaders(path)) RaiseOpenError(*this, m_reader.GetStatus(), path);
    ReaderCloser closer(m_reader);

    const BITMAPINFOHEADER& info = *m_reader.GetInfoHeader();
    const std::int32_t width = info.biWidth;
    const std::int32_t height = info.biHeight;
    const std::int32_t rows = height < 0 ? -height : height;  // -2^31 was refused
    const unsigned bitCount = info.biBitCount;

    orix::IoProgress progress(GetManager());
    IoProgressScope scope(&progress);
    progress.MessageVA(kProgressMessage, tamb::CPath::GetNamePtr(path));

    const std::int32_t rowBytes = ImageRowBytes(width, bitCount);
    tamb::ColorFormat format = tamb::ColorNone;
    if (!FormatForBitCount(bitCount, format))
        ThrowError(kSourceFile, kLineBitCount, orix::ErrBadFile, path);

    orix::TrImage image;
    auto startImage = [&] {
        image.SetScanlineStart(width, rows, format, info.biXPelsPerMeter, info.biYPelsPerMeter,
                               m_reader.GetColorTable(), orix::TrImage::RowsByIndex, 0);
    };
    startImage();

    std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
    std::vector<std::uint8_t> converted(bitCount == 16 ? static_cast<std::size_t>(rowBytes) : 0);
    const std::uint32_t* masks = m_reader.GetBitFieldMasks();
    const bool is565 = masks[0] == bmp::kMask565Red || masks[2] == bmp::kMask565Red;
    const double rowCount = rows;

    for (std::int32_t i = 0; i < rows; ++i) {
        if (!m_reader.ReadScanline(row.data()))
            RaiseRowError(*this, m_reader.GetStatus(), path, kLineFirstPassIoError,
                          kLineFirstPassOther);
        // The expanded row goes to the image straight from the conversion
        // buffer: the same bytes a copy back into the row buffer would give.
        const std::uint8_t* out = row.data();
        if (bitCount == 16) {
            ExpandRow16(row.data(), converted.data(), width, is565);
            out = converted.data();
        } else if (bitCount == 32 && m_alphaAllZero && AnyAlpha(row.data(), width)) {
            m_alphaAllZero = false;
        }
        image.SetScanline(out, height > 0 ? rows - 1 - i : i);
        if (!progress.ProgressProportion(i / rowCount)) {
            m_reader.Close();
            return orix::ImportNotDone;
        }
    }
    if (!progress.ProgressProportion(1.0)) {
        m_reader.Close();
        return orix::ImportNotDone;
    }
    image.SetScanlineEnd(nullptr, 0);

    if (bitCount == 32 && m_alphaAllZero && m_promptAllowed &&
        Warning(tamb::IError::WarnQuestion, kQuestionFormat, kTransparencyQuestion) ==
            tamb::IError::AnswerYes) {
        // Read the rows again rather than keep the first pass's.
        m_reader.RewindToPixelData();
        startImage();
        for (std::int32_t i = 0; i < rows; ++i) {
            if (!m_reader.ReadScanline(row.data()))
                RaiseRowError(*this, m_reader.GetStatus(), path, kLineSecondPassIoError,
                              kLineSecondPassOther);
            MakeOpaque(row.data(), width);
            image.SetScanline(row.data(), height > 0 ? rows - 1 - i : i);
            if (!progress.ProgressProportion(i / rowCount)) {
                m_reader.Close();
                return orix::ImportNotDone;
            }
        }
        image.SetScanlineEnd(nullptr, 0);
    }

    m_reader.Close();
    if (!ImportObject(image)) return orix::ImportNotDone;
    return GetManager().m_leadingFlag != 0 ? orix::ImportDone : orix::ImportNotDone;
}
