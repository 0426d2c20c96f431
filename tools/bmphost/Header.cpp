#include "Header.h"

#include <sys/types.h>

#include <algorithm>
#include <vector>

namespace bmphost {

namespace {

using Part = BmpHeaders::Part;

// Where a header larger than 40 bytes keeps its own masks: red, green and
// blue from its byte 40, alpha from byte 52 in one of 56 bytes or more.
constexpr std::uint64_t kFileMasksAt = bmp::kFileHeaderSize + bmp::kInfoHeaderSize;
constexpr std::uint32_t kAlphaMaskHeaderSize = 56;
constexpr std::uint32_t kCoreEntryBytes = sizeof(bmp::RGBTRIPLE);

std::uint64_t FileSize(std::FILE* file) {
    if (::fseeko(file, 0, SEEK_END) != 0) return 0;
    const off_t end = ::ftello(file);
    return end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

// Reads parts of the headers at the places the module reads them from,
// noting the first one the file does not hold in full.
struct PartReader {
    std::FILE* file;
    std::uint64_t fileSize;
    BmpHeaders& headers;

    bool Read(Part part, std::uint64_t at, std::uint8_t* out, std::uint64_t count) {
        const std::uint64_t there = at < fileSize ? std::min(count, fileSize - at) : 0;
        if (there == count && ::fseeko(file, static_cast<off_t>(at), SEEK_SET) == 0 &&
            std::fread(out, 1, count, file) == count)
            return true;
        headers.cutShort = part;
        headers.partStart = at;
        headers.partBytes = count;
        headers.bytesThere = there;
        return false;
    }
};

// The masks as the file states them, where it holds them; zero otherwise.
void ReadFileMasks(std::FILE* file, BmpHeaders& headers) {
    std::uint8_t bytes[16] = {};
    if (::fseeko(file, static_cast<off_t>(kFileMasksAt), SEEK_SET) != 0) return;
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    const std::size_t masks = headers.storedSize >= kAlphaMaskHeaderSize ? 4 : 3;
    for (std::size_t i = 0; i < masks && 4 * i + 4 <= got; ++i)
        headers.fileMasks[i] = bmp::LoadLe32(bytes + 4 * i);
}

// The colour table the module reads after the masks: the stored count, or
// all the bit count allows when that is 0; none above 256, which it refuses.
void ReadColorTable(PartReader& reader, std::uint64_t at) {
    const bmp::BITMAPINFOHEADER& info = reader.headers.info;
    if (info.biBitCount > 8) return;
    const std::uint64_t count = info.biClrUsed != 0 ? info.biClrUsed : 1u << info.biBitCount;
    if (count > static_cast<std::uint64_t>(bmp::kMaxColors)) return;
    const std::uint64_t entry = reader.headers.core ? kCoreEntryBytes : sizeof(tagRGBQUAD);
    std::vector<std::uint8_t> table(count * entry);
    reader.Read(Part::ColorTable, at, table.data(), table.size());
}

}  // namespace

std::uint64_t BmpHeaders::Width() const { return info.biWidth > 0 ? info.biWidth : 0; }

std::uint64_t BmpHeaders::Height() const { return static_cast<std::uint64_t>(bmp::RowCount(info)); }

BmpHeaders ReadBmpHeaders(std::FILE* file) {
    BmpHeaders headers;
    PartReader reader{file, FileSize(file), headers};
    std::uint8_t fileHeader[bmp::kFileHeaderSize], sizeField[4];
    if (!reader.Read(Part::FileHeader, 0, fileHeader, sizeof fileHeader)) return headers;
    headers.signature = bmp::DecodeFileHeader(fileHeader).bfType == bmp::kSignature;
    if (!headers.signature ||
        !reader.Read(Part::SizeField, bmp::kFileHeaderSize, sizeField, sizeof sizeField))
        return headers;
    headers.storedSize = bmp::LoadLe32(sizeField);
    headers.core = headers.storedSize == bmp::kCoreHeaderSize;
    if (headers.core) {
        std::uint8_t core[bmp::kCoreHeaderSize];
        if (!reader.Read(Part::InfoHeader, bmp::kFileHeaderSize, core, sizeof core)) return headers;
        headers.info = bmp::DecodeCoreHeader(core);
        ReadColorTable(reader, bmp::kFileHeaderSize + bmp::kCoreHeaderSize);
        return headers;
    }
    std::uint8_t info[bmp::kInfoHeaderSize];
    if (!reader.Read(Part::InfoHeader, bmp::kFileHeaderSize, info, sizeof info)) return headers;
    headers.info = bmp::DecodeInfoHeader(info);
    ReadFileMasks(file, headers);
    std::uint64_t at =
        bmp::kFileHeaderSize + std::max<std::uint64_t>(headers.storedSize, bmp::kInfoHeaderSize);
    if (headers.info.biCompression == bmp::BI_BITFIELDS) {
        std::uint8_t masks[bmp::kMaskBytes];
        if (!reader.Read(Part::Masks, at, masks, sizeof masks)) return headers;
        for (int i = 0; i < 3; ++i) headers.readMasks[i] = bmp::LoadLe32(masks + 4 * i);
        at += bmp::kMaskBytes;
    }
    ReadColorTable(reader, at);
    return headers;
}

BmpHeaders ReadBmpHeaders(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return BmpHeaders();
    const BmpHeaders headers = ReadBmpHeaders(file);
    std::fclose(file);
    return headers;
}

std::uint64_t HeaderSpan(std::uint32_t sizeField) {
    if (sizeField == bmp::kCoreHeaderSize)
        return bmp::kFileHeaderSize + bmp::kCoreHeaderSize + kCoreEntryBytes * bmp::kMaxColors;
    return bmp::kFileHeaderSize + std::max<std::uint64_t>(sizeField, bmp::kInfoHeaderSize) +
           bmp::kMaskBytes + sizeof(tagRGBQUAD) * bmp::kMaxColors;
}

namespace {

constexpr char k555[] = "5-5-5 (red in bits 10-14, green 5-9, blue 0-4)";
constexpr char k565[] = "5-6-5 (red in bits 11-15, green 5-10, blue 0-4)";
constexpr char kWithoutAlpha[] = ", without alpha";

// How the module reads the pixels when that is not what the file's masks
// say: 16 bits as 5-6-5 when the masks it reads name 0xF800 for red or blue,
// else as 5-5-5, never with alpha; 32 bits as bytes; fewer as plain rows.
std::string ReadOtherwise(const BmpHeaders& h) {
    const std::uint32_t* says = h.fileMasks;
    const auto stated = [says](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        return says[0] == r && says[1] == g && says[2] == b;
    };
    const int bits = h.info.biBitCount;
    if (bits <= 8) return "plain rows of colour indices";
    if (bits == 32) return stated(0xFF0000, 0xFF00, 0xFF) ? "" : "blue, green, red, alpha bytes";
    if (bits != 16) return "";
    const bool is565 = h.readMasks[0] == bmp::kMask565Red || h.readMasks[2] == bmp::kMask565Red;
    const bool asStated = is565 ? stated(bmp::kMask565Red, bmp::kMask565Green, bmp::kMask565Blue)
                                : stated(0x7C00, 0x3E0, 0x1F);
    if (asStated && says[3] == 0) return "";
    return std::string(is565 ? k565 : k555) + (says[3] != 0 ? kWithoutAlpha : "");
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

}  // namespace

std::string MaskWarning(const BmpHeaders& headers, const std::string& name) {
    if (headers.cutShort != Part::None || headers.core ||
        headers.info.biCompression != bmp::BI_BITFIELDS)
        return "";
    const std::string as = ReadOtherwise(headers);
    if (as.empty()) return "";
    const std::uint32_t* m = headers.fileMasks;
    return name + ": a " + std::to_string(headers.info.biBitCount) +
           "-bit file with bit-field masks red " + Hex(m[0]) + ", green " + Hex(m[1]) + ", blue " +
           Hex(m[2]) + (m[3] != 0 ? ", alpha " + Hex(m[3]) : "") +
           "; the module reads the pixels as " + as;
}

namespace {

const char* PartName(Part part) {
    switch (part) {
        case Part::FileHeader:
            return "its file header";
        case Part::SizeField:
            return "the size field of its information header";
        case Part::InfoHeader:
            return "its information header";
        case Part::Masks:
            return "the bit-field masks";
        case Part::ColorTable:
            return "its colour table";
        case Part::None:
            break;
    }
    return "";
}

std::string Count(std::uint64_t bytes) {
    return bytes == 0 ? "none of them" : "only " + std::to_string(bytes);
}

}  // namespace

std::string CutShortText(const BmpHeaders& h, const std::string& name) {
    if (h.cutShort == Part::None) return "";
    if (h.cutShort == Part::FileHeader && h.bytesThere == 0) return name + " is empty";
    // Other programs keep the masks inside a larger header and the pixels
    // right after it, where the module looks for them.
    if (h.cutShort == Part::Masks && h.storedSize > bmp::kInfoHeaderSize)
        return "the module reads the bit-field masks from the 12 bytes after the whole " +
               std::to_string(h.storedSize) + "-byte header, and " + name + " has " +
               Count(h.bytesThere) + " there" +
               (h.storedSize >= 52 ? " (its own masks stand inside the header)" : "");
    return name + " ends inside " + PartName(h.cutShort) + ": the module reads " +
           std::to_string(h.partBytes) + " bytes from byte " + std::to_string(h.partStart) +
           ", and the file has " + Count(h.bytesThere);
}

}  // namespace bmphost
