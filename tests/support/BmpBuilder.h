#pragma once
// Builds BMP files byte by byte for tests, so every case shows its bytes.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "tamb/RgbQuad.h"

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// Appends little-endian fields to a byte vector.
class ByteWriter {
  public:
    ByteWriter& U8(std::uint8_t v);
    ByteWriter& U16(std::uint16_t v);
    ByteWriter& U32(std::uint32_t v);
    ByteWriter& I32(std::int32_t v) { return U32(static_cast<std::uint32_t>(v)); }
    ByteWriter& Raw(std::initializer_list<std::uint8_t> bytes);
    ByteWriter& Raw(const Bytes& bytes);
    ByteWriter& Zeros(std::size_t count);
    const Bytes& bytes() const { return m_bytes; }
    Bytes& bytes() { return m_bytes; }

  private:
    Bytes m_bytes;
};

// Everything a test may want to vary in a BMP file. Defaults make a valid
// bottom-up BI_RGB file with a 40-byte header.
struct BmpFields {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;  // 12 writes the core form; above 40 pads with zeros
    std::uint16_t planes = 1;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 2835;
    std::int32_t yPelsPerMeter = 2835;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
    std::vector<std::uint32_t> masks;      // written after the header when not empty
    std::vector<tagRGBQUAD> palette;       // 4-byte entries, or 3-byte after a core header
    Bytes pixels;                          // the pixel data exactly as stored
    std::optional<std::uint32_t> offBits;  // default: directly after the tables
    std::uint16_t signature = 0x4D42;
};

Bytes BuildBmp(const BmpFields& fields);

// Stored row length for a width and bit count: whole bytes, padded to four.
std::size_t StrideFor(std::int32_t width, int bitCount);

// Lays out rows (each given without padding) at the stored stride.
Bytes PadRows(const std::vector<Bytes>& rows, std::size_t stride);

// A grey-ish palette of n distinct entries, easy to recognise.
std::vector<tagRGBQUAD> TestPalette(int n);

// A temporary directory, removed with its contents when destroyed.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    // Writes the bytes to a file in the directory and returns its path.
    std::string Write(const std::string& name, const Bytes& bytes) const;

  private:
    std::string m_path;
};

Bytes ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
// Makes one directory; false when it cannot be made.
bool MakeDirectory(const std::string& path);

// The _doserrno code after opening a file in a directory that does not exist:
// the system's own code on Windows (path not found), errno's elsewhere.
unsigned long MissingDirectoryCode();

}  // namespace testsupport
