#pragma once
// The export filter's error reports: the source name and line each error is
// raised with, and the texts shown to the user. Lines are part of each report,
// so they are fixed here rather than taken from the compiler.

namespace exporterrors {

constexpr const char* kSourceFile = ".\\BmpExportFilter";

// Line numbers of the reports.
constexpr int kLineHeaderRefused = 213;   // the writer refuses the information header
constexpr int kLineOpenFailed = 247;      // the target cannot be created
constexpr int kLineOpenIoError = 249;     // the headers or colour table cannot be written
constexpr int kLineOpenWrongState = 253;  // the writer is in no state to open
constexpr int kLineConvertFailed = 273;   // a row cannot be converted to 24 bits
constexpr int kLineRowWriteFailed = 278;  // a row cannot be written
constexpr int kLineNotBegun = 357;        // EndExport without BeginExport

// Texts.
constexpr const char* kFormatName = "BMP";
constexpr const char* kUnsupportedDepth =
    "exporting of color formats other than 1, 4, 8, 24, or 32 bits per pixel.";
constexpr const char* kCreateFailed = "File write or file create error";
constexpr const char* kWriteFailed = "File write error";
// These two hold no per-cent sign: each goes to the host as the format itself.
constexpr const char* kIncompatibleFormat =
    "Image color format incompatible with BMP file format.  Can't export.";
constexpr const char* kMultiImageWarning =
    "An attempt was made to export a document containing more than one image.  The BMP file "
    "format only supports one image (one bitmap) per file.  Ignoring additional images.";
constexpr const char* kProgressMessage = "Exporting BMP data to file %s";

}  // namespace exporterrors
