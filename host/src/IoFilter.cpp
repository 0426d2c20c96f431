#include "orix/IoFilter.h"

#include <cstdarg>
#include <memory>
#include <type_traits>
#include <utility>

#include "Format.h"
#include "orix/IoExportFilter.h"
#include "orix/IoImportFilter.h"
#include "orix/TrImage.h"
#include "standin/Image.h"
#include "standin/IoException.h"
#include "standin/Manager.h"

namespace orix {

namespace {

// The host's message for each code; the code's arguments fill it in order.
const char* MessageFormat(ErrCode code) {
    switch (code) {
        case ErrUnexpected:
            return "An unexpected internal error occurred.";
        case ErrCannotOpen:
            return "Unable to open or create the file \"%s\": %s";
        case ErrEndOfFile:
            return "Unexpected end of the file \"%s\": %s";
        case ErrWriteFailed:
            return "Unable to write the file \"%s\": %s";
        case ErrFormatNotExportable:
            return "The %s filter does not support %s (file \"%s\")";
        case ErrExportNotBegun:
            return "An export was ended that had not been begun.";
        case ErrBadFile:
            return "The file \"%s\" is damaged or in an unsupported format.";
    }
    return nullptr;
}

std::string FillIn(const char* format, const std::vector<std::string>& args) {
    std::string out;
    std::size_t next = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (next < args.size()) out += args[next++];
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace

IoFilter::IoFilter(IoManager& manager) : m_manager(manager) {}
IoFilter::~IoFilter() = default;

void IoFilter::GetPropertyPages(std::vector<IoPropertyPage*>&, const char*) {}

void IoFilter::ThrowError(const char* sourceFile, int line, ErrCode code, ...) const {
    standin::IoException error;
    error.source = sourceFile != nullptr ? sourceFile : "";
    error.line = line;
    error.hasCode = true;
    error.code = code;
    va_list args;
    // The contract puts the code, an enumeration, just before the arguments.
    // Its fixed underlying type is int, which is what a promoted argument
    // is, so va_start is defined here (the enumeration is compatible with
    // int); clang cannot tell and says otherwise, for this line only.
    static_assert(std::is_same_v<std::underlying_type_t<ErrCode>, int>);
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
    va_start(args, code);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
    for (int i = 0; i < standin::ErrCodeArgumentCount(code); ++i) {
        const char* text = va_arg(args, const char*);
        error.args.push_back(text != nullptr ? text : "(null)");
    }
    va_end(args);
    const char* format = MessageFormat(code);
    error.message = format != nullptr ? FillIn(format, error.args)
                                      : "Error " + std::to_string(static_cast<int>(code)) + ".";
    throw error;
}

void IoFilter::ThrowError(const char* sourceFile, int line, const char* format, ...) const {
    standin::IoException error;
    error.source = sourceFile != nullptr ? sourceFile : "";
    error.line = line;
    error.hasCode = false;
    error.format = format != nullptr ? format : "";
    va_list args;
    va_start(args, format);
    error.message = hostimpl::FormatV(format, args);
    va_end(args);
    throw error;
}

int IoFilter::Warning(tamb::IError::WarnStyle style, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    const std::string text = hostimpl::FormatV(format, args);
    va_end(args);
    return standin::Manager::Of(m_manager).GetApplication().Warning(
        style, text, format != nullptr ? format : "");
}

IoImportFilter::IoImportFilter(IoManager& manager) : IoFilter(manager) {}
IoImportFilter::~IoImportFilter() = default;

ImportStatus IoImportFilter::ImportFromMemory(const unsigned char*, unsigned int, bool) {
    return ImportNotDone;
}

// The filter destroys its image when the call returns, so the host takes its
// rows rather than a copy of them, and the filter's image is left empty.
bool IoImportFilter::ImportObject(TrBase& object) const {
    standin::Application& application = standin::Manager::Of(GetManager()).GetApplication();
    std::unique_ptr<standin::Image> image;
    if (object.GetTypeId() == TrImage::GetClassTypeId())
        image = std::make_unique<standin::Image>(std::move(static_cast<TrImage&>(object)));
    return application.ImageImported(std::move(image));
}

IoExportFilter::IoExportFilter(IoManager& manager) : IoFilter(manager) {}
IoExportFilter::~IoExportFilter() = default;

ExportStatus IoExportFilter::BeginExportToMemory(std::vector<unsigned char>&, bool) {
    return ExportNotExported;
}

ExportStatus IoExportFilter::EndExportToMemory() { return ExportNotExported; }

}  // namespace orix

namespace standin {

using namespace orix;

int ErrCodeArgumentCount(ErrCode code) {
    switch (code) {
        case ErrCannotOpen:
        case ErrEndOfFile:
        case ErrWriteFailed:
            return 2;
        case ErrFormatNotExportable:
            return 3;
        case ErrBadFile:
            return 1;
        default:
            return 0;
    }
}

}  // namespace standin
