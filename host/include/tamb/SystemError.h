#pragma once
#include <string>

namespace tamb {

// The system's text for an operating-system error code.
std::string FormatSystemErrorMsg(unsigned long code);

}  // namespace tamb
