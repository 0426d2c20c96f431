#pragma once
#include <cstdint>

// Outcome of the last failing reader or writer operation.
enum class BmpFileStatus : std::int32_t {
    Ok = 0,             // no failure recorded
    OpenFailed = 1,     // the file was not opened or created
    IoError = 2,        // a read came up short or a write failed
    Unsupported = 3,    // a feature the module does not handle
    InvalidHeader = 4,  // a header the writer cannot accept
    BadFormat = 5,      // not a BMP file, or an impossible header
    WrongState = 6,     // the call does not fit the object's state
};
