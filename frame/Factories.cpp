// The module's two exports: each makes one independent filter.
#include <new>

#include "frame/BmpExportFilter.h"
#include "frame/BmpImportFilter.h"

#if defined(_WIN32)
#define BMP_EXPORT
#else
#define BMP_EXPORT __attribute__((visibility("default")))
#endif

extern "C" BMP_EXPORT orix::IoExportFilter* ExportBMP(orix::IoManager& manager) {
    return new (std::nothrow) BmpExportFilter(manager);
}

extern "C" BMP_EXPORT orix::IoImportFilter* ImportBMP(orix::IoManager& manager) {
    return new (std::nothrow) BmpImportFilter(manager);
}
