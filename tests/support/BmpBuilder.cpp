#include "support/BmpBuilder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace testsupport {

ByteWriter& ByteWriter::U8(std::uint8_t v) {
    m_bytes.push_back(v);
    return *this;
}
ByteWriter& ByteWriter::U16(std::uint16_t v) {
    m_bytes.push_back(static_cast<std::uint8_t>(v));
    m_bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
}
ByteWriter& ByteWriter::U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
}
ByteWriter& ByteWriter::Raw(std::initializer_list<std::uint8_t> bytes) {
    m_bytes.insert(m_bytes.end(), bytes);
    return *this;
}
ByteWriter& ByteWriter::Raw(const Bytes& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}
ByteWriter& ByteWriter::Zeros(std::size_t count) {
    m_bytes.insert(m_bytes.end(), count, 0);
    return *this;
}

Bytes BuildBmp(const BmpFields& s) {
    ByteWriter info;
    const bool core = s.headerSize == 12;
    if (core) {
        info.U32(12)
            .U16(static_cast<std::uint16_t>(s.width))
            .U16(static_cast<std::uint16_t>(s.height))
            .U16(s.planes)
            .U16(s.bitCount);
    } else {
        info.U32(s.headerSize)
            .I32(s.width)
            .I32(s.height)
            .U16(s.planes)
            .U16(s.bitCount)
            .U32(s.compression)
            .U32(s.sizeImage)
            .I32(s.xPelsPerMeter)
            .I32(s.yPelsPerMeter)
            .U32(s.clrUsed)
            .U32(s.clrImportant);
        if (s.headerSize > 40) info.Zeros(s.headerSize - 40);
    }
    for (std::uint32_t mask : s.masks) info.U32(mask);
    for (const tagRGBQUAD& entry : s.palette) {
        info.U8(entry.rgbBlue).U8(entry.rgbGreen).U8(entry.rgbRed);
        if (!core) info.U8(entry.rgbReserved);
    }
    const std::uint32_t tablesEnd = 14 + static_cast<std::uint32_t>(info.bytes().size());
    const std::uint32_t offBits = s.offBits.value_or(tablesEnd);
    ByteWriter file;
    file.U16(s.signature).U32(0).U16(0).U16(0).U32(offBits).Raw(info.bytes());
    if (s.offBits && *s.offBits > tablesEnd) file.Zeros(*s.offBits - tablesEnd);
    file.Raw(s.pixels);
    Bytes out = file.bytes();
    const std::uint32_t size = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[2 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    return out;
}

std::size_t StrideFor(std::int32_t width, int bitCount) {
    const std::size_t bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount);
    return (bits + 31) / 32 * 4;
}

Bytes PadRows(const std::vector<Bytes>& rows, std::size_t stride) {
    Bytes out;
    for (const Bytes& row : rows) {
        if (row.size() > stride) throw std::invalid_argument("row longer than stride");
        out.insert(out.end(), row.begin(), row.end());
        out.insert(out.end(), stride - row.size(), 0);
    }
    return out;
}

std::vector<tagRGBQUAD> TestPalette(int n) {
    std::vector<tagRGBQUAD> table;
    for (int i = 0; i < n; ++i)
        table.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                         static_cast<std::uint8_t>(i * 7), 0});
    return table;
}

TempDir::TempDir() {
#if defined(_WIN32)
    // No mkdtemp on Windows: try random names until one is newly made.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const std::filesystem::path candidate =
            base / ("bmptest-" + std::to_string(random()) + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) m_path = candidate.string();
    }
    if (m_path.empty()) throw std::runtime_error("cannot make a temporary directory");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "bmptest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
#endif
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = File(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
    return path;
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool MakeDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::create_directory(path, error);
}

unsigned long MissingDirectoryCode() {
#if defined(_WIN32)
    return 3;  // ERROR_PATH_NOT_FOUND
#else
    return ENOENT;
#endif
}

bool FileExists(const std::string& path) {
#if defined(_WIN32)
    // The runtime's stat stops at 260 characters; the file system does not.
    std::error_code error;
    return std::filesystem::exists(path, error);
#else
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
#endif
}

}  // namespace testsupport
