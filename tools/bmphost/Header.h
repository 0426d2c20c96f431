#pragma once
// What a BMP file's headers hold, for what bmphost says about a file: read
// through the module's own records (format/BmpFormat.h) from the places the
// module reads them, with the part the file ends inside, if any.
#include <cstdint>
#include <cstdio>
#include <string>

#include "BmpFormat.h"

namespace bmphost {

struct BmpHeaders {
    // The parts of the headers in the order the module reads them.
    enum class Part { None, FileHeader, SizeField, InfoHeader, Masks, ColorTable };

    bool signature = false;        // the file starts with "BM"
    bool core = false;             // a 12-byte header, widened to the 40-byte form
    std::uint32_t storedSize = 0;  // the header's size field as stored
    bmp::BITMAPINFOHEADER info{};  // the first 40 bytes (or the core header), as stored
    // Red, green, blue and alpha as the file states them: after a 40-byte
    // header, inside a larger one (alpha only in one of 56 bytes or more).
    std::uint32_t fileMasks[4] = {};
    // The 12 bytes after the whole header: the masks as the module reads them.
    std::uint32_t readMasks[3] = {};

    // The first part the file does not hold in full (None: all are there),
    // where it starts, its length and the bytes of it the file holds.
    Part cutShort = Part::None;
    std::uint64_t partStart = 0, partBytes = 0, bytesThere = 0;

    std::uint64_t Width() const;
    std::uint64_t Height() const;  // the number of rows
};

// Reads the headers of an open file from its start. Never fails: a file that
// is no BMP file has no signature, and one cut short says where.
BmpHeaders ReadBmpHeaders(std::FILE* file);
BmpHeaders ReadBmpHeaders(const std::string& path);

// The bytes from the start of a file that the module's header reading can
// reach, given the header's size field: the headers, the masks and the
// largest colour table.
std::uint64_t HeaderSpan(std::uint32_t sizeField);

// "NAME: a 16-bit file with bit-field masks ...; the module reads the pixels
// as ..." when the module reads the pixels of a file with bit-field masks
// otherwise than its masks say; "" when it reads them as such or the file
// has none.
std::string MaskWarning(const BmpHeaders& headers, const std::string& name);

// Where the file ends inside its headers, as one clause ("NAME ends inside
// its colour table: ..."); "" when the headers are all there.
std::string CutShortText(const BmpHeaders& headers, const std::string& name);

}  // namespace bmphost
