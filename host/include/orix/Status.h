#pragma once

namespace orix {

// Error codes of the framework; each comes with its own message arguments
// (all texts): see IoFilter::ThrowError.
enum ErrCode : int {
    ErrUnexpected = 1,            // none
    ErrCannotOpen = 5,            // file name, detail
    ErrEndOfFile = 8,             // file name, detail
    ErrWriteFailed = 9,           // file name, detail
    ErrFormatNotExportable = 14,  // format name, feature, file name
    ErrExportNotBegun = 15,       // none
    ErrBadFile = 16,              // file name
};

// Number of message arguments that follow a code; 0 for unknown codes.
int ErrCodeArgumentCount(ErrCode code);

enum ImportStatus : int {
    ImportDone = 0,     // image taken, manager flag set
    ImportNotDone = 1,  // stopped, refused, or taken without the flag
};

enum ExportStatus : int {
    ExportDone = 0,
    ExportStopped = 2,
    ExportNotExported = 3,
};

}  // namespace orix
