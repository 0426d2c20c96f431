#include "frame/BmpImportFilter.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "format/BmpFormat.h"
#include "frame/IoProgressScope.h"
#include "frame/SystemText.h"
#include "import/Expansion16.h"
#include "import/ImportMessages.h"

using namespace importmsg;

namespace {

// Closes the reader's file however an import ends; the reader closes it
// itself after its own failures, so a second close is harmless.
class ReaderCloser {
  public:
    explicit ReaderCloser(BmpReader& reader) : m_reader(reader) {}
    ~ReaderCloser() { m_reader.Close(); }

  private:
    BmpReader& m_reader;
};

[[noreturn]] void RaiseOpenError(const orix::IoFilter& filter, BmpFileStatus status,
                                 const char* path) {
    const OpenFailure& failure = kOpenFailures[static_cast<std::size_t>(status)];
    if (failure.fallback != nullptr) {
        const std::string detail = SystemTextOr(failure.fallback);
        filter.ThrowError(kSourceFile, failure.line, failure.code, path, detail.c_str());
    }
    if (failure.code == orix::ErrBadFile)
        filter.ThrowError(kSourceFile, failure.line, failure.code, path);
    filter.ThrowError(kSourceFile, failure.line, failure.code);
}

// True when a row of the image stays inside the signed 32-bit range in bits
// (16-bit rows are expanded to 24 bits; every other bit count, even one
// refused later, counts as it is) and the row count has a 32-bit magnitude:
// the row arithmetic holds, and the image's row is at most 2^28 bytes.
bool DimensionsInRange(const bmp::BITMAPINFOHEADER& info) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (info.biHeight == std::numeric_limits<std::int32_t>::min()) return false;
    return static_cast<std::int64_t>(info.biWidth) * ImageBitsPerPixel(info) <= kMax;
}

// The image format of each bit count the import takes.
constexpr std::pair<unsigned, tamb::ColorFormat> kFormats[] = {
    {1, tamb::ColorIndexed1}, {4, tamb::ColorIndexed4}, {8, tamb::ColorIndexed8},
    {16, tamb::ColorBgr24},   {24, tamb::ColorBgr24},   {32, tamb::ColorBgra32}};

bool FormatForBitCount(unsigned bitCount, tamb::ColorFormat& format) {
    for (const auto& [bits, bitsFormat] : kFormats) {
        if (bits != bitCount) continue;
        format = bitsFormat;
        return true;
    }
    return false;
}

bool AnyAlpha(const std::uint8_t* row, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x)
        if (row[4 * static_cast<std::size_t>(x) + 3] != 0) return true;
    return false;
}

void MakeOpaque(std::uint8_t* row, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) row[4 * static_cast<std::size_t>(x) + 3] = 255;
}

// Formats one line into a bounded buffer and appends it. A line that does
// not fit, which none can, is left empty by vsprintf_s.
void AppendFormatted(std::string& text, const char* format, ...) {
    char line[260];
    va_list args;
    va_start(args, format);
    vsprintf_s(line, sizeof line, format, args);
    va_end(args);
    text += line;
}

// The text holds a per-cent sign, so it goes as the argument of "%s".
bool AskToMakeOpaque(const orix::IoFilter& filter) {
    return filter.Warning(tamb::IError::WarnQuestion, kQuestionFormat, kTransparencyQuestion) ==
           tamb::IError::AnswerYes;
}

// The import has refused a height of -2^31.
std::int32_t ImageRows(const bmp::BITMAPINFOHEADER& info) {
    return static_cast<std::int32_t>(bmp::RowCount(info));
}

void StartImage(orix::TrImage& image, const bmp::BITMAPINFOHEADER& info, tamb::ColorFormat format,
                const tagRGBQUAD* table) {
    image.SetScanlineStart(info.biWidth, ImageRows(info), format, info.biXPelsPerMeter,
                           info.biYPelsPerMeter, table, orix::TrImage::RowsByIndex, 0);
}

// One pass over the stored rows into the image, as both passes make it: the
// row buffer, and for 16-bit files the conversion buffer, are made once for
// the whole import.
class RowPass {
  public:
    RowPass(const orix::IoFilter& filter, const char* path, BmpReader& reader, orix::TrImage& image,
            orix::IoProgress& progress, const bmp::BITMAPINFOHEADER& info)
        : m_filter(filter),
          m_path(path),
          m_reader(reader),
          m_image(image),
          m_progress(progress),
          m_width(info.biWidth),
          m_rows(ImageRows(info)),
          m_bottomUp(info.biHeight > 0),
          m_bitCount(info.biBitCount),
          m_runLength(info.biCompression == bmp::BI_RLE4 || info.biCompression == bmp::BI_RLE8),
          m_row(RowBytes(info)),
          m_converted(info.biBitCount == 16 ? m_row.size() : 0),
          m_is565(Is565(reader.GetBitFieldMasks())) {}

    // Reads every row; false when the reporter asked to stop. The first pass
    // notes whether any alpha byte is set, the opaque pass sets them all.
    bool Run(bool opaquePass, bool& alphaAllZero) {
        for (std::int32_t i = 0; i < m_rows; ++i) {
            if (!m_reader.ReadScanline(m_row.data())) RaiseReadError(opaquePass);
            const std::uint8_t* out = Prepare(opaquePass, alphaAllZero);
            m_image.SetScanline(out, m_bottomUp ? m_rows - 1 - i : i);
            if (!m_progress.ProgressProportion(i / static_cast<double>(m_rows))) return false;
        }
        return true;
    }

    // The second pass: the rows read again rather than kept from the first,
    // into the image started afresh, every alpha byte 255. False on a stop.
    bool RunOpaque(const bmp::BITMAPINFOHEADER& info, tamb::ColorFormat format) {
        m_reader.RewindToPixelData();
        StartImage(m_image, info, format, m_reader.GetColorTable());
        bool notScanned = false;  // this pass looks at no alpha byte
        if (!Run(true, notScanned)) return false;
        m_image.SetScanlineEnd(nullptr, 0);
        return true;
    }

  private:
    static bool Is565(const std::uint32_t* masks) {
        return masks[0] == bmp::kMask565Red || masks[2] == bmp::kMask565Red;
    }

    // Bytes of one image row, padded as a stored row: enough for the stored
    // row too. The import has refused widths for which this does not fit.
    static std::size_t RowBytes(const bmp::BITMAPINFOHEADER& info) {
        bmp::BITMAPINFOHEADER image = info;
        image.biBitCount = ImageBitsPerPixel(info);
        return static_cast<std::size_t>(bmp::ComputeRowStride(&image));
    }

    // The row as the image takes it: expanded from 16 bits into the
    // conversion buffer. A run-length row fills only its first bytes and
    // leaves the rest of the row buffer as it was, so that buffer must then
    // hold the expanded row, as the image was last given it.
    const std::uint8_t* Prepare(bool opaquePass, bool& alphaAllZero) {
        if (m_bitCount == 16) {
            ExpandRow16(m_row.data(), m_converted.data(), m_width, m_is565);
            if (m_runLength) std::memcpy(m_row.data(), m_converted.data(), m_row.size());
            return m_converted.data();
        }
        if (m_bitCount != 32) return m_row.data();
        if (opaquePass)
            MakeOpaque(m_row.data(), m_width);
        else if (alphaAllZero && AnyAlpha(m_row.data(), m_width))
            alphaAllZero = false;
        return m_row.data();
    }

    [[noreturn]] void RaiseReadError(bool opaquePass) const {
        const bool ioError = m_reader.GetStatus() == BmpFileStatus::IoError;
        const int line = opaquePass ? (ioError ? kLineSecondPassIoError : kLineSecondPassOther)
                                    : (ioError ? kLineFirstPassIoError : kLineFirstPassOther);
        if (ioError)
            m_filter.ThrowError(kSourceFile, line, orix::ErrEndOfFile, m_path, kRowEndOfFileText);
        m_filter.ThrowError(kSourceFile, line, orix::ErrUnexpected);
    }

    const orix::IoFilter& m_filter;
    const char* m_path;
    BmpReader& m_reader;
    orix::TrImage& m_image;
    orix::IoProgress& m_progress;
    std::int32_t m_width;
    std::int32_t m_rows;
    bool m_bottomUp;
    unsigned m_bitCount;
    bool m_runLength;
    std::vector<std::uint8_t> m_row;
    std::vector<std::uint8_t> m_converted;
    bool m_is565;  // the layout of 16-bit pixels
};

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
    const bmp::BITMAPINFOHEADER info = *reader.GetInfoHeader();
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
    // Closes the file should the size be refused or the host fail while the
    // display starts.
    ReaderCloser closeIfNoDisplay(m_reader);
    // A size the reader accepts and describes, but whose rows this import
    // cannot count in 32 bits: refused as a malformed file.
    if (!DimensionsInRange(*m_reader.GetInfoHeader()))
        RaiseOpenError(*this, BmpFileStatus::BadFormat, path);
    orix::IoProgress progress(GetManager());
    IoProgressScope scope(&progress);
    const orix::ImportStatus status = ImportImage(path, progress);
    // Ended here, not by the scope, so that a host's failure to end the
    // display passes on to the caller.
    scope.EndEarly();
    return status;
}

// Everything it makes is released when it returns, before the display ends.
orix::ImportStatus BmpImportFilter::ImportImage(const char* path, orix::IoProgress& progress) {
    const bmp::BITMAPINFOHEADER info = *m_reader.GetInfoHeader();
    // Until `closer` below is made, this one closes the file, whatever is
    // raised on the way.
    ReaderCloser closeEarly(m_reader);
    progress.MessageVA(kProgressMessage, tamb::CPath::GetNamePtr(path));
    tamb::ColorFormat format = tamb::ColorNone;
    if (!FormatForBitCount(info.biBitCount, format))
        ThrowError(kSourceFile, kLineBitCount, orix::ErrBadFile, path);

    // The image is started before the row buffers are made: the host refuses
    // an image it cannot hold before anything is sized from the header.
    orix::TrImage image;
    StartImage(image, info, format, m_reader.GetColorTable());
    RowPass pass(*this, path, m_reader, image, progress, info);
    // Made last, so that on every way out the file is closed first.
    ReaderCloser closer(m_reader);

    if (!pass.Run(false, m_alphaAllZero) || !progress.ProgressProportion(1.0))
        return orix::ImportNotDone;
    image.SetScanlineEnd(nullptr, 0);
    if (info.biBitCount == 32 && m_alphaAllZero && m_promptAllowed && AskToMakeOpaque(*this) &&
        !pass.RunOpaque(info, format))
        return orix::ImportNotDone;

    m_reader.Close();
    if (!ImportObject(image)) return orix::ImportNotDone;
    return GetManager().m_leadingFlag != 0 ? orix::ImportDone : orix::ImportNotDone;
}
