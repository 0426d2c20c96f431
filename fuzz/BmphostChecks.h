#pragma once
// What must hold of bmphost's own input code for any input. Its reading of
// BMP headers agrees with the module's: the size and bit count with the
// description, the part a file ends inside with the import's refusal (line
// 225 exactly when the file ends inside the information header or its size,
// a cause for every line 215), and a refusal for memory with a size over the
// host's limit. A PNG that its reader takes is written by its writer and
// read back as the same image, resolution included. "" when all holds.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "Header.h"
#include "Pixels.h"
#include "Png.h"
#include "fuzz/FuzzChecks.h"
#include "standin/Manager.h"

namespace fuzzcheck {

// The description's width, height and bit count as bmphost reads them.
inline std::string DescribedAs(const bmphost::BmpHeaders& h) {
    return "Width:  " + std::to_string(h.info.biWidth) +
           "\r\nHeight:  " + std::to_string(h.info.biHeight) +
           "\r\nBit Depth:  " + std::to_string(h.info.biBitCount) + "\r\n";
}

inline std::string CheckBmphostHeaders(const std::uint8_t* data, std::size_t size) {
    using Part = bmphost::BmpHeaders::Part;
    const std::string path = MemoryFile(data, size);
    const bmphost::BmpHeaders h = bmphost::ReadBmpHeaders(path);
    standin::Manager manager;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    std::string why, text;
    if (filter->GetFileDescription(path.c_str(), text) &&
        (text.find(DescribedAs(h)) == std::string::npos || h.cutShort != Part::None))
        why = "read otherwise than described: " + DescribedAs(h) + "; ";
    const bool headerCut = h.cutShort == Part::SizeField || h.cutShort == Part::InfoHeader;
    int line = 0;
    try {
        filter->ImportFile(path.c_str(), false);
    } catch (const standin::IoException& e) {
        line = e.line;
    } catch (const std::bad_alloc&) {
        if (h.Width() * h.Height() <= standin::Image::GetPixelLimit())
            why += "refused for memory within the pixel limit; ";
    }
    if ((line == 225) != headerCut) why += "line 225 against the header read; ";
    if (line == 215 && bmphost::CutShortText(h, "f").empty()) why += "no cause for line 215; ";
    (void)bmphost::MaskWarning(h, "f");
    return why;
}

// A copy with every chunk's check value made right, so that the fuzzer's
// changes to a chunk reach the reader rather than its check.
inline std::vector<std::uint8_t> WithChunkChecks(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out(data, data + size);
    for (std::size_t at = 8; at + 12 <= out.size();) {
        const std::size_t length = std::size_t{out[at]} << 24 | std::size_t{out[at + 1]} << 16 |
                                   std::size_t{out[at + 2]} << 8 | out[at + 3];
        if (length > out.size() - at - 12) break;
        const uLong check = crc32(0, &out[at + 4], static_cast<uInt>(length + 4));
        for (int i = 0; i < 4; ++i)
            out[at + 8 + length + i] = static_cast<std::uint8_t>(check >> (24 - 8 * i));
        at += length + 12;
    }
    return out;
}

// Reads a PNG from memory; false when the reader refuses it.
inline bool ReadPngBytes(std::vector<std::uint8_t>& bytes, standin::Image& image,
                         std::string& why) {
    std::FILE* file = bytes.empty() ? nullptr : ::fmemopen(bytes.data(), bytes.size(), "rb");
    if (file == nullptr) return false;
    bool read = true;
    try {
        bmphost::ReadPng(file, image);
    } catch (const std::runtime_error&) {
        read = false;
    } catch (const std::bad_alloc&) {
        read = false;
        why += "out of memory; ";
    }
    std::fclose(file);
    return read;
}

// The same size, format, resolution and pixels.
inline std::string Differences(const standin::Image& a, const standin::Image& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
        a.GetColorFormat() != b.GetColorFormat())
        return "read back as another size or format; ";
    if (a.GetXPelsPerMeter() != b.GetXPelsPerMeter() ||
        a.GetYPelsPerMeter() != b.GetYPelsPerMeter())
        return "read back at another resolution; ";
    std::vector<unsigned char> rowA, rowB;
    for (int y = 0; y < a.GetHeight(); ++y)
        if (!bmphost::RowToBgra(a, y, rowA) || !bmphost::RowToBgra(b, y, rowB) || rowA != rowB)
            return "row " + std::to_string(y) + " read back differs; ";
    return "";
}

inline std::string CheckBmphostPng(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes = WithChunkChecks(data, size);
    std::string why;
    standin::Image image;
    if (!ReadPngBytes(bytes, image, why)) return why;
    if (static_cast<std::uint64_t>(image.GetWidth()) * image.GetHeight() >
        standin::Image::GetPixelLimit())
        why += "an image over the pixel limit; ";
    char* written = nullptr;
    std::size_t length = 0;
    std::FILE* out = ::open_memstream(&written, &length);
    try {
        bmphost::WritePng(image, out);
    } catch (const std::exception& e) {
        why += std::string("not written: ") + e.what() + "; ";
    }
    std::fclose(out);
    std::vector<std::uint8_t> back(written, written + length);
    std::free(written);
    standin::Image again;
    if (!ReadPngBytes(back, again, why)) return why + "what was written is not read back; ";
    return why + Differences(image, again);
}

inline std::string CheckBmphostInput(const std::uint8_t* data, std::size_t size) {
    return CheckBmphostHeaders(data, size) + CheckBmphostPng(data, size);
}

}  // namespace fuzzcheck
