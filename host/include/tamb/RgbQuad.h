#pragma once
// One colour table entry, as the platform lays it out: blue, green, red, reserved.
struct tagRGBQUAD {
    unsigned char rgbBlue;
    unsigned char rgbGreen;
    unsigned char rgbRed;
    unsigned char rgbReserved;
};
static_assert(sizeof(tagRGBQUAD) == 4, "tagRGBQUAD is four bytes");
