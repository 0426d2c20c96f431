#pragma once
#include "tamb/ColorFormat.h"
#include "tamb/RgbQuad.h"

namespace velk {

// Converts `count` pixels from `source` in `sourceFormat` to `destination` in
// `destinationFormat`. Only destination format 9 (blue, green, red) is made.
// Sources 1..10 are read: grey levels are spread over 0..255, indexed pixels go
// through `palette` (or, without one, are read as grey levels), format 4 is
// 5-6-5, 5 is red, green, blue, alpha and 0 is blue, green, red and one unused
// byte; alpha is dropped. Any other format, a negative count, null buffers or
// any `flags` (none are defined): false, nothing written.
bool SimplePixelConvert(int count, const void* source, tamb::ColorFormat sourceFormat,
                        void* destination, tamb::ColorFormat destinationFormat, int flags,
                        const tagRGBQUAD* palette);

}  // namespace velk
