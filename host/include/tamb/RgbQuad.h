#pragma once
#if defined(_WIN32)
// On Windows the colour table entry is the system's own type, so that the
// host's headers and the Windows headers may meet in one translation unit.
#include <windef.h>
#include <wingdi.h>
#else
// One colour table entry, as the platform lays it out: blue, green, red, reserved.
struct tagRGBQUAD {
    unsigned char rgbBlue;
    unsigned char rgbGreen;
    unsigned char rgbRed;
    unsigned char rgbReserved;
};
#endif
static_assert(sizeof(tagRGBQUAD) == 4, "tagRGBQUAD is four bytes");
