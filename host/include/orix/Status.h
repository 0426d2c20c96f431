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

enum ImportStatus : int {
    ImportDone = 0,     // image taken, manager flag set
    ImportNotDone = 1,  // stopped, refused, or taken without the flag
};

enum ExportStatus : int {
    ExportDone = 0,         // begun, written, ended, or an object taken as it should be
    ExportStopped = 2,      // the user asked to stop through the progress answer
    ExportNotExported = 3,  // an object the filter does not export
};

}  // namespace orix
