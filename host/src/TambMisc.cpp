#include <cstring>

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

std::string FormatSystemErrorMsg(unsigned long code) {
    return std::strerror(static_cast<int>(code));
}

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

}  // namespace tamb
