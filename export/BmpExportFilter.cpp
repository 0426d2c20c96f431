#include "frame/BmpExportFilter.h"

namespace {
constexpr const char* kSourceFile = ".\\BmpExportFilter";
constexpr const char* kOptionNames[] = {"ExportImageFormatBGRA32", "ExportImageFormatBGR24",
                                        "ExportImageFormatIndexed8", "ExportImageFormatIndexed4",
                                        "ExportImageFormatIndexed1"};
}  // namespace

BmpExportFilter::BmpExportFilter(orix::IoManager& manager)
    : orix::IoExportFilter(manager),
      m_imagesWritten(0),
      m_multiImageWarned(false),
      m_progress(manager) {
    for (const char* name : kOptionNames) manager.SetOption(name, true, true);
}

BmpExportFilter::~BmpExportFilter() = default;

// Not built yet: refuse with the framework's error.
orix::ExportStatus BmpExportFilter::BeginExport(const char*, bool) {
    ThrowError(kSourceFile, 0, orix::ErrUnexpected);
}
orix::ExportStatus BmpExportFilter::ExportObject(orix::TrBase&) {
    ThrowError(kSourceFile, 0, orix::ErrUnexpected);
}
orix::ExportStatus BmpExportFilter::EndExport() { ThrowError(kSourceFile, 0, orix::ErrUnexpected); }
orix::ExportStatus BmpExportFilter::ExportImage(orix::TrImage&) {
    ThrowError(kSourceFile, 0, orix::ErrUnexpected);
}
