// The four slots both filters implement alike.
#include "frame/BmpExportFilter.h"
#include "frame/BmpImportFilter.h"

namespace {
constexpr char kOptionSeparator = ',';
}

void BmpImportFilter::ResetOptions(int) {}
void BmpExportFilter::ResetOptions(int) {}

std::string BmpImportFilter::GetDefaultOptions() { return std::string(); }
std::string BmpExportFilter::GetDefaultOptions() { return std::string(); }

bool BmpImportFilter::CanHandleType(const tamb::CTypeInfo* type) {
    return type == orix::TrImage::GetClassTypeId();
}

bool BmpExportFilter::CanHandleType(const tamb::CTypeInfo* type) {
    return type == orix::TrImage::GetClassTypeId() ||
           type == orix::TrInitGraphicsExp::GetClassTypeId();
}

bool BmpImportFilter::GetStringOption(const char* text1, const char* text2, std::string& value) {
    return velk::CommonGetStringOption(text1, text2, kOptionSeparator, value);
}

bool BmpExportFilter::GetStringOption(const char* text1, const char* text2, std::string& value) {
    return velk::CommonGetStringOption(text1, text2, kOptionSeparator, value);
}
