#include "frame/BmpImportFilter.h"

namespace {
constexpr const char* kSourceFile = ".\\BmpImportFilter";
}

BmpImportFilter::BmpImportFilter(orix::IoManager& manager)
    : orix::IoImportFilter(manager), m_promptAllowed(false), m_alphaAllZero(false) {}

BmpImportFilter::~BmpImportFilter() = default;

// Not built yet: refuse with the framework's error.
bool BmpImportFilter::IsFileSupported(const char*) { return false; }
bool BmpImportFilter::GetFileDescription(const char*, std::string&) { return false; }
orix::ImportStatus BmpImportFilter::ImportFile(const char*, bool) {
    ThrowError(kSourceFile, 0, orix::ErrUnexpected);
}
