#pragma once
#include <string>

#include "frame/HostInterfaces.h"

// The system's text for the runtime's last operating-system error, or the
// caller's fixed text when the runtime recorded none.
inline std::string SystemTextOr(const char* fallback) {
    const unsigned long code = _doserrno;
    return code != 0 ? tamb::FormatSystemErrorMsg(code) : std::string(fallback);
}
