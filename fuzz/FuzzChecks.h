#pragma once
// What must hold for any input, checked on what a host sees of the module
// through its two exports; headers are read through the module's records. Each
// Check* answers "" when the module behaved, or what went wrong. The libFuzzer
// targets abort on an answer; fuzz_replay runs the same checks in the tests.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "format/BmpFormat.h"
#include "orix/IoExportFilter.h"
#include "orix/IoImportFilter.h"
#include "standin/Image.h"
#include "standin/IoException.h"
#include "standin/Recorder.h"

extern "C" orix::IoExportFilter* ExportBMP(orix::IoManager& manager);
extern "C" orix::IoImportFilter* ImportBMP(orix::IoManager& manager);

namespace fuzzcheck {

// Every error each filter may raise: source line and code (-1: a finished text).
using ErrorList = std::vector<std::pair<int, int>>;
inline const ErrorList kImportErrors = {{213, 5},  {215, 8}, {217, 16}, {219, 1},
                                        {221, 16}, {223, 1}, {225, 1},  {285, 16},
                                        {325, 8},  {327, 1}, {447, 8},  {449, 1}};
inline const ErrorList kExportErrors = {{213, 14}, {247, 5}, {249, 9}, {253, 1},
                                        {273, -1}, {278, 9}, {357, 15}};

// Images are kept small so that each run stays quick; BMP_FUZZ_MAX_PIXELS
// changes the limit.
inline void SetFuzzPixelLimit() {
    const char* text = std::getenv("BMP_FUZZ_MAX_PIXELS");
    standin::Image::SetPixelLimit(text != nullptr ? std::strtoull(text, nullptr, 10) : 1u << 16);
}

// A file in memory with a path the module can open.
inline std::string MemoryFile(const std::uint8_t* data, std::size_t size) {
    static const int fd = ::memfd_create("bmp-fuzz", 0);
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return "";
    return "/proc/self/fd/" + std::to_string(fd);
}

// The lowest free descriptor: it moves when a file is left open.
inline int LowestFreeFd() {
    const int fd = ::open("/dev/null", O_RDONLY);
    if (fd >= 0) ::close(fd);
    return fd;
}

// Every call leaves its files closed and its progress display ended.
inline std::string Leftovers(const standin::RecordingManager& manager, int fdBefore) {
    std::string why = LowestFreeFd() != fdBefore ? "a file left open; " : "";
    return why + (manager.m_activeProgress != 0 ? "progress display left open; " : "");
}

// A listed line with its code, and the code's arguments naming the file
// (first, or last after the format's name).
inline std::string CheckError(const standin::IoException& e, const char* source,
                              const ErrorList& listed, const std::string& path) {
    const int code = e.hasCode ? e.code : -1;
    bool listedHere = false;
    for (const auto& [line, listedCode] : listed)
        listedHere |= line == e.line && listedCode == code;
    const bool arguments =
        !e.hasCode || (static_cast<int>(e.args.size()) == standin::ErrCodeArgumentCount(e.code) &&
                       (e.args.empty() || e.args[0] == path || e.args.back() == path));
    return e.source == source && listedHere && arguments
               ? ""
               : "error " + std::to_string(e.line) + ", code " + std::to_string(code) + "; ";
}

// The header fields the checks compare the module's answers with.
struct Header {
    std::int64_t width = 0, height = 0, bits = 0, planes = 0, compression = 0;
};

// Read through the module's own records. A core header needs its 12 bytes;
// otherwise the fields up to the compression (bytes 18 to 33) must be there,
// and a shorter file answers all zeros.
inline Header HeaderOf(const std::uint8_t* d, std::size_t n) {
    if (n >= bmp::kFileHeaderSize + bmp::kCoreHeaderSize &&
        bmp::LoadLe32(d + bmp::kFileHeaderSize) == bmp::kCoreHeaderSize) {
        std::uint8_t core[bmp::kCoreHeaderSize];
        std::memcpy(core, d + bmp::kFileHeaderSize, sizeof core);
        const bmp::BITMAPINFOHEADER h = bmp::DecodeCoreHeader(core);
        return {h.biWidth, h.biHeight, h.biBitCount, h.biPlanes, 0};
    }
    if (n < 34) return {};
    std::uint8_t info[bmp::kInfoHeaderSize] = {};
    std::memcpy(info, d + bmp::kFileHeaderSize,
                std::min<std::size_t>(n - bmp::kFileHeaderSize, sizeof info));
    const bmp::BITMAPINFOHEADER h = bmp::DecodeInfoHeader(info);
    return {h.biWidth, h.biHeight, h.biBitCount, h.biPlanes, h.biCompression};
}

// Storage the reader refuses (line 217): planes other than 1, an unknown
// compression, the 8-bit run-length code at any other bit count, the 4-bit
// one below 4 bits. A bit count the import has no image format for is
// refused once the headers are read (line 285).
inline bool UnsupportedStorage(const Header& h) {
    return h.planes != 1 || h.compression > 3 || (h.compression == 1 && h.bits != 8) ||
           (h.compression == 2 && h.bits < 4);
}
inline bool ImportedDepth(const Header& h) {
    return h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 ||
           h.bits == 32;
}

// A size the reader accepts but whose rows the import cannot count in 32 bits
// (16-bit rows count as the 24-bit rows they become): refused at line 221.
inline bool RowsOutOfRange(const Header& h) {
    return h.height == INT32_MIN || h.width * (h.bits == 16 ? 24 : h.bits) > INT32_MAX;
}

inline std::string Description(const Header& h) {
    const std::pair<int, const char*> names[] = {
        {1, "monochrome"},  {4, "16 colors w/palette"}, {8, "256 colors w/palette"},
        {15, "15-bit RGB"}, {16, "16-bit RGB"},         {24, "24-bit RGB"},
        {32, "32-bit RGBA"}};
    const char* name = "Unknown";
    for (const auto& [bits, text] : names) name = bits == h.bits ? text : name;
    return "Microsoft BMP Image\r\nWidth:  " + std::to_string(h.width) +
           "\r\nHeight:  " + std::to_string(h.height) +
           "\r\nBit Depth:  " + std::to_string(h.bits) + "\r\nColor Format:  " + name + "\r\n";
}

// The image handed over: the header's size, each row delivered and reported
// in turn, and the transparency question asked exactly when every alpha byte
// was 0; a yes makes them all 255.
inline std::string CheckImage(const standin::RecordingManager& manager, const Header& h) {
    if (manager.m_imported.size() != 1) return "no image or several; ";
    const standin::Image& image = *manager.m_imported[0];
    const std::int64_t rows = std::abs(h.height);
    if (image.GetWidth() != h.width || image.GetHeight() != rows) return "image size; ";
    const std::vector<double> p = manager.Proportions();
    for (int i = 0; i <= rows; ++i)
        if (p.size() <= static_cast<std::size_t>(i) || p[i] != (i < rows ? 1.0 * i / rows : 1.0) ||
            (i < rows && image.Row(i) == nullptr))
            return "row " + std::to_string(i) + " not delivered in turn; ";
    const bool asked = !manager.m_warnings.empty();
    if (h.bits != 32) return asked ? "question about a file without alpha; " : "";
    bool opaque = true, zero = true;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < h.width; ++x) {
            opaque &= image.Row(y)[4 * x + 3] == 255;
            zero &= image.Row(y)[4 * x + 3] == 0;
        }
    return (!asked ? !zero : manager.m_warningAnswer == 6 ? opaque : zero) ? "" : "transparency; ";
}

// Imports the file with this answer to the transparency question; stopAt >= 0
// makes the host stop at that progress report. Whether the file can be
// described must follow whether the import got past its headers, and the
// refusals for storage and bit count must follow the header's fields.
inline std::string CheckImport(const std::uint8_t* data, std::size_t size, long stopAt = -1,
                               int answer = 6) {
    const std::string path = MemoryFile(data, size);
    const Header h = HeaderOf(data, size);
    const int fdBefore = LowestFreeFd();
    standin::RecordingManager manager;
    manager.m_warningAnswer = answer;
    manager.m_stopAtProportion = stopAt;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    std::string why, text;
    bool headersRead = true, sizeRefused = false;
    int line = 0;
    try {
        filter->ImportFile(path.c_str(), true);
        const bool stopped = stopAt >= 0 && manager.m_proportionCalls > stopAt;
        if (!stopped) why = CheckImage(manager, h);
        if (stopped && manager.m_importObjectCalls != 0) why = "image handed over after a stop; ";
    } catch (const standin::IoException& e) {
        why = CheckError(e, ".\\BmpImportFilter", kImportErrors, path);
        line = e.line;
        headersRead = e.line > 225;
        sizeRefused = e.line == 221 && RowsOutOfRange(h);  // described, unless the reader refused
    } catch (const std::bad_alloc&) {                      // the host's pixel limit
        if (static_cast<std::uint64_t>(h.width * std::abs(h.height)) <=
            standin::Image::GetPixelLimit())
            why = "allocation failure; ";
    }
    if (line == 217 ? !UnsupportedStorage(h) : headersRead && UnsupportedStorage(h))
        why += "storage refused against the header, or taken; ";
    if (headersRead && (line == 285) == ImportedDepth(h))
        why += "bit count refused or taken wrongly; ";
    why += Leftovers(manager, fdBefore);
    if (!sizeRefused && filter->GetFileDescription(path.c_str(), text) != headersRead)
        why += "description and import disagree; ";
    return why;
}

// The probe and the description never raise; the probe takes only files
// that start "BM", a description gives the five lines of the header's
// fields, and no description leaves the text alone.
inline std::string CheckProbe(const std::uint8_t* data, std::size_t size) {
    const std::string path = MemoryFile(data, size);
    const int fdBefore = LowestFreeFd();
    standin::RecordingManager manager;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    std::string why, text = "untouched";
    try {
        const bool supported = filter->IsFileSupported(path.c_str());
        const bool described = filter->GetFileDescription(path.c_str(), text);
        if (supported ? size < 2 || data[0] != 'B' || data[1] != 'M' : described)
            why = "probe answered wrongly; ";
        if (text != (described ? Description(HeaderOf(data, size)) : "untouched"))
            why += "description: " + text + "; ";
    } catch (const std::exception& e) {
        why = std::string("raised ") + e.what() + "; ";
    }
    return why + Leftovers(manager, fdBefore);
}

// An image made from the fuzzer's bytes: format, width, height, control (bit
// 7: stop at report bits 0-2; bit 6: destroy the filter before its end),
// colours used, colour table, then row bytes.
struct ExportInput {
    long stopAt = -1;
    bool destroyEarly = false;
    standin::Image image;
};

inline void MakeExportInput(const std::uint8_t* data, std::size_t size, ExportInput& in) {
    std::size_t at = 0;
    auto take = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
    const auto format = static_cast<tamb::ColorFormat>(take() % 12);
    const std::uint8_t w = take(), h = take(), control = take(), colorsUsed = take();
    in.stopAt = control & 0x80 ? control & 7 : -1;
    in.destroyEarly = (control & 0x40) != 0;
    tagRGBQUAD table[256] = {};
    for (int i = 0; i < 256 && at < size && i < (colorsUsed == 0 ? 256 : colorsUsed); ++i)
        table[i] = {take(), take(), take(), take()};
    const int width = w == 255 ? 0 : w % 48 + 1, height = h == 255 ? 0 : h % 48 + 1;
    in.image.SetScanlineStart(width, height, format, 2835, 3780, table, orix::TrImage::RowsByIndex,
                              0);
    in.image.SetNumColorTableEntriesUsed(colorsUsed);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(in.image.GetRowBytes()));
    for (int y = 0; y < height; ++y) {
        for (auto& b : row) b = take();
        in.image.SetScanline(row.data(), y);
    }
    in.image.SetScanlineEnd(nullptr, 0);
}

// The written file imports back through the module: the same rows and
// colours (a grey ramp for grey levels) for the formats stored as they are,
// else 24 bits of the same size.
inline std::string CheckReadBack(const std::string& path, const standin::Image& image) {
    standin::RecordingManager manager;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    try {
        filter->ImportFile(path.c_str(), false);
    } catch (const std::exception& e) {
        return std::string("reading back raised ") + e.what() + "; ";
    }
    if (manager.m_imported.size() != 1) return "nothing read back; ";
    const standin::Image& back = *manager.m_imported[0];
    const int f = image.GetColorFormat(), grey = f >= 1 && f <= 3, indexed = f >= 6 && f <= 8;
    const bool asStored = grey || indexed || f == 9 || f == 10;
    if (back.GetWidth() != image.GetWidth() || back.GetHeight() != image.GetHeight() ||
        back.GetColorFormat() != (asStored ? f + 5 * grey : 9))
        return "read back as another size or format; ";
    for (int y = 0; asStored && y < image.GetHeight(); ++y)
        if (std::memcmp(back.Row(y), image.Row(y), image.GetRowBytes()) != 0)
            return "row " + std::to_string(y) + " read back differs; ";
    const int entries = grey || indexed ? 1 << standin::BitsPerPixel(image.GetColorFormat()) : 0;
    for (int i = 0; i < entries; ++i) {
        const auto level = static_cast<std::uint8_t>(i * 255 / (entries - 1));
        tagRGBQUAD want = {level, level, level, 0};
        if (indexed)
            want = i < image.GetNumColorTableEntriesUsed() ? image.ColorTable()[i] : tagRGBQUAD{};
        if (std::memcmp(&back.ColorTable()[i], &want, sizeof want) != 0)
            return "colour " + std::to_string(i) + " read back differs; ";
    }
    return "";
}

// Exports the image. Refused for its size or for a format the host cannot
// convert, with the listed error; else stopped when the host says so, or
// written with a report every 32 rows. No file stays but a written one.
inline std::string CheckExport(const std::uint8_t* data, std::size_t size) {
    const std::string path = "/tmp/bmp-fuzz-" + std::to_string(::getpid()) + ".bmp";
    ExportInput in;
    MakeExportInput(data, size, in);
    const int fdBefore = LowestFreeFd(), f = in.image.GetColorFormat();
    const int height = in.image.GetHeight();
    standin::RecordingManager manager;
    manager.m_stopAtProportion = in.stopAt;
    std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
    std::string why;
    int status = -1, line = 0;
    try {
        filter->BeginExport(path.c_str(), false);
        status = filter->ExportObject(in.image);
        if (in.destroyEarly) filter.reset();
    } catch (const standin::IoException& e) {
        why = CheckError(e, ".\\BmpExportFilter", kExportErrors, path);
        line = e.line;
    }
    if (filter) filter->EndExport();
    why += Leftovers(manager, fdBefore);
    const int refusal = in.image.GetWidth() < 1 || height < 1 ? 213 : f < 0 || f > 10 ? 273 : 0;
    const bool stopped = in.stopAt >= 0 && manager.m_proportionCalls > in.stopAt;
    if (line != refusal || status != (refusal != 0 ? -1 : stopped ? 2 : 0))
        why += "status " + std::to_string(status) + ", line " + std::to_string(line) + "; ";
    std::vector<double> reports;
    for (int i = 0; i < height; ++i)
        if (i % 32 == 0 || i == height - 1) reports.push_back(1.0 * i / height);
    reports.push_back(1.0);
    const bool written = status == 0 && !in.destroyEarly;
    if (written && manager.Proportions() != reports) why += "progress reports; ";
    if (written) why += CheckReadBack(path, in.image);
    return why + (::unlink(path.c_str()) == 0 && !written ? "file left behind; " : "");
}

// What the libFuzzer targets and the replay run. The import stops at one of
// the first reports for about one input in 16, and answers yes for one in
// two, as the bytes themselves choose.
inline std::string FuzzImport(const std::uint8_t* data, std::size_t size) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    return CheckImport(data, size, hash % 16 == 0 ? static_cast<long>(hash >> 4) % 6 : -1,
                       hash & 0x100 ? 6 : 7);
}

}  // namespace fuzzcheck
