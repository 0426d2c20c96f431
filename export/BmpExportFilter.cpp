#include "frame/BmpExportFilter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
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

// By colour format value: what has no BMP form (0, 4, 5 and any other) is
// stored at 24 bits through the converter.
constexpr StoredForm kConverted = {24, false, true};
constexpr StoredForm kStoredForms[] = {kConverted,         {1, true, false},  {4, true, false},
                                       {8, true, false},   kConverted,        kConverted,
                                       {1, false, false},  {4, false, false}, {8, false, false},
                                       {24, false, false}, {32, false, false}};

StoredForm StoredFormFor(tamb::ColorFormat format) {
    const auto index = static_cast<std::size_t>(format);  // a negative value lands beyond
    return index < std::size(kStoredForms) ? kStoredForms[index] : kConverted;
}

bmp::BITMAPINFOHEADER HeaderFor(const orix::TrImage& image, const StoredForm& form) {
    bmp::BITMAPINFOHEADER header{};
    header.biSize = bmp::kInfoHeaderSize;
    header.biWidth = image.GetWidth();
    header.biHeight = image.GetHeight();  // unchanged: rows are stored bottom-up
    header.biPlanes = 1;
    header.biBitCount = form.bitCount;
    header.biCompression = bmp::BI_RGB;
    header.biXPelsPerMeter = image.GetXPelsPerMeter();
    header.biYPelsPerMeter = image.GetYPelsPerMeter();
    return header;
}

// The full table of the stored depth: a grey ramp, or the image's own entries
// with the rest zero.
void ColorTableFor(const orix::TrImage& image, const StoredForm& form, tagRGBQUAD* table) {
    const int entries = 1 << form.bitCount;
    if (!form.greyRamp) {
        image.GetColorTable(table, 0,
                            std::max(0, std::min(entries, image.GetNumColorTableEntriesUsed())));
        return;
    }
    for (int i = 0; i < entries; ++i) {
        const auto level = static_cast<unsigned char>(i * 255 / (entries - 1));
        table[i] = {level, level, level, 0};
    }
}

[[noreturn]] void RaiseOpenError(const orix::IoFilter& filter, BmpFileStatus status,
                                 const char* path) {
    if (status == BmpFileStatus::OpenFailed) {
        const std::string reason = SystemTextOr(kCreateFailed);
        filter.ThrowError(kSourceFile, kLineOpenFailed, orix::ErrCannotOpen, path, reason.c_str());
    }
    if (status == BmpFileStatus::IoError) {
        const std::string reason = SystemTextOr(kWriteFailed);
        filter.ThrowError(kSourceFile, kLineOpenIoError, orix::ErrWriteFailed, path,
                          reason.c_str());
    }
    filter.ThrowError(kSourceFile, kLineOpenWrongState, orix::ErrUnexpected);
}

// The rows, bottom row first, with progress every 32 rows and at the last;
// false when the reporter asked to stop. One row buffer (and one converted
// row) serves the whole image.
bool WriteRows(const orix::IoFilter& filter, BmpWriter& writer, orix::IoProgress& progress,
               orix::TrImage& image, const StoredForm& form, const char* path) {
    const std::int32_t width = image.GetWidth();
    const std::int32_t height = image.GetHeight();
    std::vector<unsigned char> row(RowBufferBytes(width), 0);
    std::vector<unsigned char> converted(
        form.convert ? static_cast<std::size_t>(writer.GetRowStride()) : 0);
    const void* stored = form.convert ? converted.data() : row.data();
    for (std::int32_t i = 0; i < height; ++i) {
        image.GetScanline(row.data(), height - 1 - i);
        if (form.convert &&
            !velk::SimplePixelConvert(width, row.data(), image.GetColorFormat(), converted.data(),
                                      tamb::ColorBgr24, 0, nullptr))
            filter.ThrowError(kSourceFile, kLineConvertFailed, kIncompatibleFormat);
        if (!writer.WriteScanline(stored))
            filter.ThrowError(kSourceFile, kLineRowWriteFailed, orix::ErrWriteFailed, path,
                              kWriteFailed);
        if ((i % 32 == 0 || i == height - 1) &&
            !progress.ProgressProportion(static_cast<double>(i) / static_cast<double>(height)))
            return false;
    }
    return true;
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
    // An export still open when the filter goes leaves nothing behind, even a
    // written image: only EndExport keeps a file.
    CloseTarget(m_fileName.empty());
}

void BmpExportFilter::CloseTarget(bool keep) {
    if (keep)
        m_writer.Close();
    else
        m_writer.CloseAndRemove(m_fileName.c_str());
}

void BmpExportFilter::EndDisplay() {
    if (m_progressScope && m_progressScope->IsActive()) m_progressScope->EndEarly();
}

orix::ExportStatus BmpExportFilter::BeginExport(const char* path, bool) {
    m_fileName = path != nullptr ? path : "";
    std::unique_ptr<IoProgressScope> scope(new IoProgressScope(&m_progress));
    m_progressScope.swap(scope);
    if (scope) scope->EndEarly();  // the previous display, if it was still showing
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
    EndDisplay();
    if (m_fileName.empty()) ThrowError(kSourceFile, kLineNotBegun, orix::ErrExportNotBegun);
    // A stopped or failed export, or one without an image, leaves no file.
    CloseTarget(m_imagesWritten >= 1);
    m_fileName.clear();
    return orix::ExportDone;
}

// A stop ends the display; the writer stays open and the image uncounted, so
// EndExport or the destructor removes the file.
orix::ExportStatus BmpExportFilter::Stopped() {
    EndDisplay();
    return orix::ExportStopped;
}

orix::ExportStatus BmpExportFilter::ExportImage(orix::TrImage& image) {
    if (m_imagesWritten >= 1) {
        if (!m_multiImageWarned) Warning(tamb::IError::WarnNotice, kMultiImageWarning);
        m_multiImageWarned = true;
        return orix::ExportNotExported;
    }
    const StoredForm form = StoredFormFor(image.GetColorFormat());
    const bmp::BITMAPINFOHEADER header = HeaderFor(image, form);
    if (!m_writer.SetInfoHeader(&header) || RowBufferBytes(header.biWidth) == 0)
        ThrowError(kSourceFile, kLineHeaderRefused, orix::ErrFormatNotExportable, kFormatName,
                   kUnsupportedDepth, m_fileName.c_str());
    if (form.bitCount <= 8) {
        tagRGBQUAD table[bmp::kMaxColors] = {};
        ColorTableFor(image, form, table);
        m_writer.SetColorTable(table);
    }
    image.GetScanlineStart();
    if (!m_writer.Open(m_fileName.c_str()))
        RaiseOpenError(*this, m_writer.GetStatus(), m_fileName.c_str());
    if (!WriteRows(*this, m_writer, m_progress, image, form, m_fileName.c_str())) return Stopped();
    image.GetScanlineEnd();
    if (!m_progress.ProgressProportion(1.0)) return Stopped();
    m_writer.Close();
    ++m_imagesWritten;
    return orix::ExportDone;
}
