#include <cstring>
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include "standin/Image.h"
#include "tamb/CPath.h"
#include "tamb/ColorFormat.h"
#include "tamb/SystemError.h"

namespace tamb {

char* CPath::GetNamePtr(const char* path) {
    if (path == nullptr) return nullptr;
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\' || (*p == ':' && p == path + 1)) name = p + 1;
    }
    return const_cast<char*>(name);
}

#if defined(_WIN32)
// On Windows the code is the system's (as _doserrno holds it), so the text is
// the system's message for it, without the line break it ends with.
std::string FormatSystemErrorMsg(unsigned long code) {
    char text[512];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    while (length > 0 &&
           (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        --length;
    if (length == 0) return "Unknown error " + std::to_string(code);
    return std::string(text, length);
}
#else
std::string FormatSystemErrorMsg(unsigned long code) {
    return std::strerror(static_cast<int>(code));
}
#endif

}  // namespace tamb

namespace standin {

using namespace tamb;

int BitsPerPixel(ColorFormat format) {
    switch (format) {
        case ColorGray1:
        case ColorIndexed1:
            return 1;
        case ColorGray4:
        case ColorIndexed4:
            return 4;
        case ColorGray8:
        case ColorIndexed8:
            return 8;
        case ColorRgb565:
            return 16;
        case ColorBgr24:
            return 24;
        default:
            return 32;
    }
}

}  // namespace standin
