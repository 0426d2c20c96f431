// The module's headers and the Windows headers in one translation unit: each
// keeps its own records and compression values. Built by the Windows build.
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "export/BmpWriter.h"
#include "format/BmpFormat.h"
#include "frame/BmpExportFilter.h"
#include "frame/BmpImportFilter.h"

static_assert(bmp::BI_RGB == 0 && bmp::BI_RLE8 == 1 && bmp::BI_RLE4 == 2 && bmp::BI_BITFIELDS == 3,
              "the module's compression values, the macros of the same names set aside");
#endif
