#include "frame/BmpExportFilter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "export/ExportErrors.h"
#include "frame/SystemText.h"

using namespace exporterrors;

namespace {

constexpr const char* kOptionNames[] = {"ExportImageFormatBGRA32", "ExportImageFormatBGR24",
                                        "ExportImageFormatIndexed8", "ExportImageFormatIndexed4",
                                        "ExportImageFormatIndexed1"};

// Rows are read into a buffer of four bytes a pixel plus slack, whatever the
// image's own layout; no host format needs more.
constexpr std::uint64_t kRowBytesPerPixel = 4;
constexpr std::uint64_t kRowSlack = 16;

// Size of the row buffer for a width, or 0 when it cannot be addressed.
std::size_t RowBufferBytes(std::int32_t width) {
    if (width < 1) return 0;
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) * kRowBytesPerPixel + kRowSlack;
    const std::uint64_t limit = std::min<std::uint64_t>(
        std::numeric_limits<std::size_t>::max(),
        static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()));
    return bytes > limit ? 0 : static_cast<std::size_t>(bytes);
}

// How an image's colour format is stored.
struct StoredForm {
    std::uint16_t bitCount;
    bool greyRamp;  // colour table generated rather than taken from the image
    bool convert;   // rows go through the host's converter to 24 bits
};

StoredForm StoredFormFor(tamb::ColorFormat format) {
    switch (format) {
        case tamb::ColorGray1:
            return {1, true, false};
        case tamb::ColorGray4:
            return {4, true, false};
        case tamb::ColorGray8:
            return {8, true, false};
        case tamb::ColorIndexed1:
            return {1, false, false};
        case tamb::ColorIndexed4:
            return {4, false, false};
        case tamb::ColorIndexed8:
            return {8, false, false};
        case tamb::ColorBgr24:
            return {24, false, false};
        case tamb::ColorBgra32:
            return {32, false, false};
        default:
            return {24, false, true};
    }
}

}  // namespace

BmpExportFilter::BmpExportFilter(orix::IoManager& manager)
    : orix::IoExportFilter(manager),
      m_imagesWritten(0),
      m_multiImageWarned(false),
      m_progress(manager) {
    for (const char* name : kOptionNames) manager.SetOption(name, true, true);
}

BmpExportFilter::~BmpExportFilter() {
    m_writer.Close();
    // An export still open when the filter goes leaves nothing behind, even a
    // written image: only EndExport keeps a file.
    if (!m_fileName.empty()) _unlink(m_fileName.c_str());
}

orix::ExportStatus BmpExportFilter::BeginExport(const char* path, bool) {
    m_fileName = path != nullptr ? path : "";
    std::unique_ptr<IoProgressScope> scope(new IoProgressScope(&m_progress));
    m_progressScope.swap(scope);
    scope.reset();  // ends the previous display if it was still showing
    m_progress.MessageVA(kProgressMessage, tamb::CPath::GetNamePtr(m_fileName.c_str()));
    m_imagesWritten = 0;
    return orix::ExportDone;
}

orix::ExportStatus BmpExportFilter::ExportObject(orix::TrBase& object) {
    const tamb::CTypeInfo* type = object.GetTypeId();
    if (type == orix::TrInitGraphicsExp::GetClassTypeId()) {
        auto& init = static_cast<orix::TrInitGraphicsExp&>(object);
        init.m_originX = 0;
        init.m_originY = 0;
        init.m_rasterOutput = true;
        return orix::ExportDone;
    }
    if (type == orix::TrImage::GetClassTypeId())
        return ExportImage(static_cast<orix::TrImage&>(object));
    return orix::ExportNotExported;
}

orix::ExportStatus BmpExportFilter::EndExport() {
    if (m_progressScope && m_progressScope->IsActive()) m_progressScope->EndEarly();
    if (m_fileName.empty()) ThrowError(kSourceFile, kLineNotBegun, orix::ErrExportNotBegun);
    m_writer.Close();
    // A stopped or failed export, or one without an image, leaves no file.
    if (m_imagesWritten < 1) _unlink(m_fileName.c_str());
    m_fileName.clear();
    return orix::ExportDone;
}

orix::ExportStatus BmpExportFilter::ExportImage(orix::TrImage& image) {
    if (m_imagesWritten >= 1) {
        if (!m_multiImageWarned) Warning(tamb::IError::WarnNotice, "%s", kMultiImageWarning);
        m_multiImageWarned = true;
        return orix::ExportNotExported;
    }

    bmp::BITMAPINFOHEADER header{};
    header.biSize = bmp::kInfoHeaderSize;
    header.biWidth = image.GetWidth();
    header.biHeight = image.GetHeight();  // unchanged: rows are stored bottom-up
    header.biPlanes = 1;
    header.biXPelsPerMeter = image.GetXPelsPerMeter();
    header.biYPelsPerMeter = image.GetYPelsPerMeter();
    const tamb::ColorFormat format = image.GetColorFormat();
    const StoredForm form = StoredFormFor(format);
    header.biBitCount = form.bitCount;
    header.biCompression = bmp::BI_RGB;

    const std::size_t rowBufferBytes = RowBufferBytes(header.biWidth);
    if (!m_writer.SetInfoHeader(&header) || rowBufferBytes == 0)
        ThrowError(kSourceFile, kLineHeaderRefused, orix::ErrFormatNotExportable, kFormatName,
                   kUnsupportedDepth, m_fileName.c_str());

    if (form.bitCount <= 8) {
        const int entries = 1 << form.bitCount;
        tagRGBQUAD table[bmp::kMaxColors] = {};
        if (form.greyRamp) {
            for (int i = 0; i < entries; ++i) {
                const auto level = static_cast<unsigned char>(i * 255 / (entries - 1));
                table[i] = {level, level, level, 0};
            }
        } else {
            const int count = std::max(0, std::min(entries, image.GetNumColorTableEntriesUsed()));
            image.GetColorTable(table, 0, count);
        }
        m_writer.SetColorTable(table);
    }

    image.GetScanlineStart();

    if (!m_writer.Open(m_fileName.c_str())) {
        switch (m_writer.GetStatus()) {
            case BmpFileStatus::OpenFailed: {
                const std::string reason = SystemTextOr(kCreateFailed);
                ThrowError(kSourceFile, kLineOpenFailed, orix::ErrCannotOpen, m_fileName.c_str(),
                           reason.c_str());
            }
            case BmpFileStatus::IoError: {
                const std::string reason = SystemTextOr(kWriteFailed);
                ThrowError(kSourceFile, kLineOpenIoError, orix::ErrWriteFailed, m_fileName.c_str(),
                           reason.c_str());
            }
            default:
                ThrowError(kSourceFile, kLineOpenWrongState, orix::ErrUnexpected);
        }
    }

    // One row buffer and, when converting, one converted row, for the whole image.
    std::vector<unsigned char> rowBuffer(rowBufferBytes, 0);
    std::vector<unsigned char> convertBuffer;
    if (form.convert) convertBuffer.assign(static_cast<std::size_t>(m_writer.GetRowStride()), 0);
    const void* rowToWrite = form.convert ? convertBuffer.data() : rowBuffer.data();

    // A stop ends the display; the writer stays open and the image uncounted,
    // so EndExport or the destructor removes the file.
    auto stop = [this]() {
        if (m_progressScope && m_progressScope->IsActive()) m_progressScope->EndEarly();
        return orix::ExportStopped;
    };

    const std::int32_t height = header.biHeight;
    for (std::int32_t i = 0; i < height; ++i) {
        image.GetScanline(rowBuffer.data(), height - 1 - i);
        if (form.convert &&
            !velk::SimplePixelConvert(header.biWidth, rowBuffer.data(), format,
                                      convertBuffer.data(), tamb::ColorBgr24, 0, nullptr))
            ThrowError(kSourceFile, kLineConvertFailed, "%s", kIncompatibleFormat);
        if (!m_writer.WriteScanline(rowToWrite))
            ThrowError(kSourceFile, kLineRowWriteFailed, orix::ErrWriteFailed, m_fileName.c_str(),
                       kWriteFailed);
        if ((i % 32 == 0 || i == height - 1) &&
            !m_progress.ProgressProportion(static_cast<double>(i) / static_cast<double>(height)))
            return stop();
    }

    image.GetScanlineEnd();
    if (!m_progress.ProgressProportion(1.0)) return stop();
    m_writer.Close();
    ++m_imagesWritten;
    return orix::ExportDone;
}
