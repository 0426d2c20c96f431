#pragma once
// Everything the import filter shows the host: the source name and line of
// each error, the fixed texts, the progress message, the question and the
// description lines. The line numbers are values the host sees and keeps;
// they are not this file's lines and must not change.

#include <cstddef>
#include <iterator>

#include "format/BmpFileStatus.h"
#include "orix/Status.h"

namespace importmsg {

constexpr const char* kSourceFile = ".\\BmpImportFilter";

// Open failures, by the reader's status: the line, the code and, for the
// codes that tell why, the text used when the runtime has no operating-system
// error to tell. A row for each status, in the order of their values.
struct OpenFailure {
    int line;
    orix::ErrCode code;
    const char* fallback;
};
constexpr OpenFailure kOpenFailures[] = {
    {225, orix::ErrUnexpected, nullptr},                          // Ok: a header cut short
    {213, orix::ErrCannotOpen, "Unable to open specified file"},  // OpenFailed
    {215, orix::ErrEndOfFile, "Premature end of file"},           // IoError
    {217, orix::ErrBadFile, nullptr},                             // Unsupported
    {219, orix::ErrUnexpected, nullptr},                          // InvalidHeader
    {221, orix::ErrBadFile, nullptr},                             // BadFormat
    {223, orix::ErrUnexpected, nullptr},                          // WrongState
};
static_assert(std::size(kOpenFailures) == static_cast<std::size_t>(BmpFileStatus::WrongState) + 1,
              "a row for every status the reader keeps");

// Failures after the open.
constexpr int kLineBitCount = 285;
constexpr int kLineFirstPassIoError = 325;
constexpr int kLineFirstPassOther = 327;
constexpr int kLineSecondPassIoError = 447;
constexpr int kLineSecondPassOther = 449;

// A pixel row cut short; unlike the headers' text, this one ends with a full
// stop.
constexpr const char* kRowEndOfFileText = "Premature end of file.";

constexpr const char* kProgressMessage = "Importing BMP file %s";

// Passed as the argument of "%s", never as a format: it holds a per-cent sign.
constexpr const char* kQuestionFormat = "%s";
constexpr const char* kTransparencyQuestion =
    "While importing the requested file, a 32 bit-per-pixel image was encountered that is "
    "either 100% transparent or contains no valid transparency information.  This may render "
    "the image completely invisible when drawn on the screen. \n\nShould this image be "
    "converted to opaque instead of transparent? \n";

// The description text.
constexpr const char* kDescriptionTitle = "Microsoft BMP Image\r\n";
constexpr const char* kDescriptionWidth = "Width:  %d\r\n";
constexpr const char* kDescriptionHeight = "Height:  %d\r\n";
constexpr const char* kDescriptionBitDepth = "Bit Depth:  %d\r\n";
constexpr const char* kDescriptionColorFormat = "Color Format:  ";
constexpr const char* kDescriptionLineEnd = "\r\n";

inline const char* ColorFormatName(unsigned bitCount) {
    switch (bitCount) {
        case 1:
            return "monochrome";
        case 4:
            return "16 colors w/palette";
        case 8:
            return "256 colors w/palette";
        case 15:
            return "15-bit RGB";
        case 16:
            return "16-bit RGB";
        case 24:
            return "24-bit RGB";
        case 32:
            return "32-bit RGBA";
        default:
            return "Unknown";
    }
}

}  // namespace importmsg
