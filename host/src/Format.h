#pragma once
// printf-style formatting into a std::string, for the stand-in host only.
#include <cstdarg>
#include <string>

namespace hostimpl {
std::string FormatV(const char* format, va_list args);
}
