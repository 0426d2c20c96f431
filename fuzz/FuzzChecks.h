#pragma once
// One run of each hostile-input check, with an independent model of what the
// module must do. Each Check* answers "" when the module behaved, or a text
// that says what went wrong. The libFuzzer harnesses abort on a non-empty
// answer; the regression tests replay the findings through the same checks.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "orix/IoException.h"
#include "orix/IoExportFilter.h"
#include "orix/IoImportFilter.h"
#include "orix/IoManager.h"
#include "orix/TrImage.h"
#include "velk/PixelConvert.h"

extern "C" orix::IoExportFilter* ExportBMP(orix::IoManager& manager);
extern "C" orix::IoImportFilter* ImportBMP(orix::IoManager& manager);

namespace fuzzcheck {

using Bytes = std::vector<std::uint8_t>;

// --- scratch files ------------------------------------------------------------

// A file that lives in memory and has a path the module can open.
class MemoryFile {
  public:
    MemoryFile() {
        m_fd = ::memfd_create("bmp-fuzz", 0);
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~MemoryFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    bool Set(const std::uint8_t* data, std::size_t size) {
        if (m_fd < 0 || ::ftruncate(m_fd, 0) != 0) return false;
        std::size_t done = 0;
        while (done < size) {
            const ssize_t put = ::pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            if (put <= 0) return false;
            done += static_cast<std::size_t>(put);
        }
        return true;
    }
    const std::string& Path() const { return m_path; }

  private:
    int m_fd = -1;
    std::string m_path;
};

// A private directory for files the export writes.
class ScratchDir {
  public:
    ScratchDir() {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/bmp-fuzz-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) != nullptr) m_path = name.data();
    }
    ~ScratchDir() {
        if (!m_path.empty()) {
            ::unlink(File().c_str());
            ::rmdir(m_path.c_str());
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File() const { return m_path + "/out.bmp"; }

  private:
    std::string m_path;
};

inline bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

inline Bytes ReadAll(const std::string& path) {
    Bytes out;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return out;
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got <= 0) break;
        out.insert(out.end(), chunk, chunk + got);
    }
    ::close(fd);
    return out;
}

// The lowest free descriptor: it moves when a file is left open.
inline int LowestFreeFd() {
    const int fd = ::open("/dev/null", O_RDONLY);
    if (fd >= 0) ::close(fd);
    return fd;
}

inline std::uint32_t Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
inline std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::string Hex(const std::uint8_t* p, std::size_t n) {
    std::string out;
    char b[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        out += b;
    }
    return out;
}

// --- the model of an import ---------------------------------------------------------

// What the module may do with one file: raise one of some errors (by source
// line), fail as an allocation does, or hand over an image.
struct Outcome {
    std::set<int> lines;          // acceptable error lines
    bool badAlloc = false;        // the host's pixel limit may refuse the image
    bool image = false;           // an image must be handed over
    bool rangeRefusable = false;  // sizes out of the row arithmetic's range: 221 allowed too
    // Set when an image (or a stop) is possible.
    int width = 0, rows = 0, bits = 0, format = 0;
    std::int32_t height = 0;
    std::uint32_t compression = 0;
    std::int32_t xppm = 0, yppm = 0;
    tagRGBQUAD table[256] = {};
    std::uint32_t masks[3] = {};
    std::uint64_t pixelPos = 0;
    int errorRow = -1;  // first uncompressed row that is cut short (325), -1 for none
};

inline std::int64_t RowBytes(std::int64_t width, int bits) { return (width * bits + 31) / 32 * 4; }

// The reader's header checks and the driver's refusals, as documented, for the
// file's bytes. The module's own choices (colour counts above 256, run-length
// codes that do not match the bit count, sizes out of range) are accepted at
// any point of the header checks, because where it refuses them is its own.
inline Outcome Model(const std::uint8_t* d, std::size_t n, std::uint64_t pixelLimit) {
    Outcome o;
    auto fail = [&](int line) {
        o.lines.insert(line);
        return o;
    };
    if (n < 14) return fail(215);
    if (Le16(d) != 0x4D42) return fail(221);
    if (n < 18) return fail(225);
    const std::uint32_t hs = Le32(d + 14);
    bool core = hs == 12;
    std::uint32_t biSize, clrUsed = 0, compression = 0, planes, bits;
    std::int32_t w, h;
    std::uint64_t pos;
    if (core) {
        if (n < 26) return fail(225);
        biSize = 40;
        w = static_cast<std::int32_t>(Le16(d + 18));
        h = static_cast<std::int32_t>(Le16(d + 20));
        planes = Le16(d + 22);
        bits = Le16(d + 24);
        pos = 26;
    } else {
        if (n < 54) return fail(225);
        biSize = hs;
        w = static_cast<std::int32_t>(Le32(d + 18));
        h = static_cast<std::int32_t>(Le32(d + 22));
        planes = Le16(d + 26);
        bits = Le16(d + 28);
        compression = Le32(d + 30);
        o.xppm = static_cast<std::int32_t>(Le32(d + 38));
        o.yppm = static_cast<std::int32_t>(Le32(d + 42));
        clrUsed = Le32(d + 46);
        pos = 14 + static_cast<std::uint64_t>(hs < 40 ? 40 : hs);
    }
    if (biSize < 40 || w < 1 || h == 0) return fail(221);

    // Refusals the module chooses itself, anywhere among the header checks.
    std::set<int> own;
    if (bits <= 8 && clrUsed > 256) own.insert(221);
    if ((compression == 1 && bits != 8) || (compression == 2 && bits != 4)) own.insert(217);
    // Where the module draws the line of its row arithmetic is its own; below
    // a 32-bit row of 2^31 bits every size must be taken.
    o.rangeRefusable =
        static_cast<std::int64_t>(w) * (bits > 32 ? bits : 32) + 31 > 0x7FFFFFFF || h == INT32_MIN;
    if (o.rangeRefusable) o.lines.insert(221);
    auto failOrOwn = [&](int line) {
        o.lines.insert(own.begin(), own.end());
        o.lines.insert(line);
        return o;
    };

    if (bits <= 8 && clrUsed == 0) clrUsed = 1u << bits;
    if (planes != 1) return failOrOwn(217);
    if (compression > 3) return failOrOwn(217);
    if (compression == 3) {
        if (pos + 12 > n) return failOrOwn(215);
        for (int i = 0; i < 3; ++i) o.masks[i] = Le32(d + pos + 4 * i);
        pos += 12;
    }
    if (clrUsed != 0 && bits <= 8) {
        const std::uint64_t entry = core ? 3 : 4;
        if (!own.empty() && clrUsed > 256) return failOrOwn(221);
        if (pos + entry * clrUsed > n) return failOrOwn(215);
        for (std::uint32_t i = 0; i < clrUsed && i < 256; ++i) {
            const std::uint8_t* e = d + pos + entry * i;
            o.table[i] = {e[0], e[1], e[2], core ? std::uint8_t(0) : e[3]};
        }
        pos += entry * clrUsed;
    }
    if (!own.empty()) {
        o.lines.insert(own.begin(), own.end());
        return o;
    }
    const std::uint32_t offBits = Le32(d + 10);
    o.pixelPos = offBits != 0 ? offBits : pos;

    // The driver.
    switch (bits) {
        case 1:
            o.format = 6;
            break;
        case 4:
            o.format = 7;
            break;
        case 8:
            o.format = 8;
            break;
        case 16:
        case 24:
            o.format = 9;
            break;
        case 32:
            o.format = 10;
            break;
        default:
            return fail(285);
    }
    o.width = w;
    o.height = h;
    o.rows = static_cast<int>(h < 0 ? -static_cast<std::int64_t>(h) : h);
    o.bits = static_cast<int>(bits);
    o.compression = compression;
    if (h == INT32_MIN ||
        static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(o.rows) > pixelLimit) {
        o.badAlloc = true;
        return o;
    }
    if (compression != 1 && compression != 2) {
        const std::uint64_t stride = static_cast<std::uint64_t>(RowBytes(w, o.bits));
        if (o.pixelPos > n) {
            o.errorRow = 0;
        } else {
            const std::uint64_t whole = (n - o.pixelPos) / stride;
            if (whole < static_cast<std::uint64_t>(o.rows)) o.errorRow = static_cast<int>(whole);
        }
    }
    o.image = true;
    return o;
}

// Run-length decoding of the whole stream, one row per stored row, as the
// reader hands rows out: an end of bitmap is not remembered, a cut-short
// stream leaves zeros, and a delta that moves down leaves the rows it passes
// over empty and resumes at its column on the row it lands on.
inline std::vector<Bytes> DecodeRle(const std::uint8_t* d, std::size_t n, const Outcome& o) {
    const auto R = static_cast<int>(RowBytes(o.width, o.bits));
    std::vector<Bytes> rows(static_cast<std::size_t>(o.rows),
                            Bytes(static_cast<std::size_t>(R), 0));
    std::uint64_t pos = o.pixelPos;
    auto next = [&]() -> int { return pos < n ? d[pos++] : -1; };
    const bool four = o.compression == 2;
    std::int64_t zeroRows = 0, startX = 0;
    for (int r = 0; r < o.rows; ++r) {
        std::uint8_t* row = rows[static_cast<std::size_t>(r)].data();
        if (zeroRows > 0) {
            --zeroRows;
            continue;
        }
        std::int64_t x = startX;
        startX = 0;
        auto put = [&](int v) {
            if (x < o.width) {
                if (!four) {
                    row[x] = static_cast<std::uint8_t>(v);
                } else if (x % 2 == 0) {
                    row[x / 2] = static_cast<std::uint8_t>((row[x / 2] & 0x0F) | (v << 4));
                } else {
                    row[x / 2] = static_cast<std::uint8_t>((row[x / 2] & 0xF0) | v);
                }
            }
            ++x;
        };
        for (;;) {
            const int a = next();
            if (a < 0) break;
            const int b = next();
            if (b < 0) break;
            if (a > 0) {
                for (int j = 0; j < a && x < o.width; ++j)
                    put(four ? (j % 2 ? b & 15 : b >> 4) : b);
                continue;
            }
            if (b == 0 || b == 1) break;
            if (b == 2) {
                const int dx = next();
                if (dx < 0) break;
                const int dy = next();
                if (dy < 0) break;
                if (dy == 0) {
                    x += dx;
                    continue;
                }
                zeroRows = dy - 1;
                startX = x + dx;
                break;
            }
            bool ended = false;
            if (!four) {
                for (int j = 0; j < b; ++j) {
                    const int c = next();
                    if (c < 0) {
                        ended = true;
                        break;
                    }
                    put(c);
                }
                if (!ended && b % 2 == 1) next();
            } else {
                int c = 0;
                for (int j = 0; j < b; ++j) {
                    if (j % 2 == 0) {
                        c = next();
                        if (c < 0) {
                            ended = true;
                            break;
                        }
                    }
                    put(j % 2 ? c & 15 : c >> 4);
                }
                if (!ended && (b % 4 == 1 || b % 4 == 2)) next();
            }
            if (ended) break;
        }
    }
    return rows;
}

// The image rows an import must hand over, in stored order.
inline std::vector<Bytes> ExpectedRows(const std::uint8_t* d, std::size_t n, const Outcome& o,
                                       bool opaque) {
    if (o.compression == 1 || o.compression == 2) return DecodeRle(d, n, o);
    const auto R = static_cast<int>(RowBytes(o.width, o.bits == 16 ? 24 : o.bits));
    const auto stride = static_cast<int>(RowBytes(o.width, o.bits));
    std::vector<Bytes> rows;
    const bool wide565 = o.compression == 3 && (o.masks[0] == 0xF800 || o.masks[2] == 0xF800);
    for (int r = 0; r < o.rows; ++r) {
        const std::uint8_t* s = d + o.pixelPos + static_cast<std::uint64_t>(r) * stride;
        Bytes row(static_cast<std::size_t>(R), 0);
        if (o.bits == 16) {
            for (int x = 0; x < o.width; ++x) {
                const unsigned v = Le16(s + 2 * x);
                unsigned b = v & 0x1F, g, red;
                if (wide565) {
                    g = (v >> 5) & 0x3F;
                    red = v >> 11;
                    g = g * 255 / 63;
                } else {
                    g = ((v >> 5) & 0x1F) * 255 / 31;
                    red = (v >> 10) & 0x1F;
                }
                row[3 * x] = static_cast<std::uint8_t>(b * 255 / 31);
                row[3 * x + 1] = static_cast<std::uint8_t>(g);
                row[3 * x + 2] = static_cast<std::uint8_t>(red * 255 / 31);
            }
        } else {
            std::memcpy(row.data(), s, static_cast<std::size_t>(R));
            if (opaque)
                for (int x = 0; x < o.width; ++x) row[4 * x + 3] = 255;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

inline bool ExpectedCode(int line, int code) {
    switch (line) {
        case 213:
            return code == 5;
        case 215:
        case 325:
        case 447:
            return code == 8;
        case 217:
        case 221:
        case 285:
            return code == 16;
        case 219:
        case 223:
        case 225:
        case 327:
        case 449:
            return code == 1;
    }
    return false;
}

// Imports the file, with the transparency question answered yes, and checks
// everything the host can see against the model. stopAt >= 0 makes the host
// stop at that progress report.
inline std::string CheckImport(const std::uint8_t* data, std::size_t size, long stopAt = -1) {
    static MemoryFile file;
    if (!file.Set(data, size)) return "";  // nothing to check without a file
    const std::uint64_t limit = orix::TrImage::GetPixelLimit();
    const Outcome o = Model(data, size, limit);
    const int fdBefore = LowestFreeFd();
    orix::IoManager manager;
    manager.m_warningAnswer = 6;
    manager.m_stopAtProportion = stopAt;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    if (!filter) return "no filter";
    int line = 0, code = 0;
    std::vector<std::string> args;
    bool threwBadAlloc = false, returned = false, raised = false;
    int result = -1;
    std::string why;
    try {
        result = filter->ImportFile(file.Path().c_str(), true);
        returned = true;
    } catch (const orix::IoException& e) {
        if (e.source != ".\\BmpImportFilter") why += "error from source " + e.source + "; ";
        raised = true;
        line = e.line;
        code = e.hasCode ? static_cast<int>(e.code) : -1;
        args = e.args;
    } catch (const std::bad_alloc&) {
        threwBadAlloc = true;
    } catch (const std::exception& e) {
        return std::string("unexpected exception: ") + e.what();
    }
    filter.reset();
    if (LowestFreeFd() != fdBefore) why += "a file was left open; ";
    if (manager.m_activeProgress != 0) why += "progress display not ended exactly once; ";
    int begins = 0;
    for (const auto& event : manager.m_progress)
        if (event.kind == orix::ProgressEvent::Begin) ++begins;
    if (begins > 1) why += "progress begun more than once; ";

    if (threwBadAlloc) {
        if (!o.badAlloc) why += "allocation failure although the image is within the limit; ";
        return why;
    }
    if (raised) {
        if (!ExpectedCode(line, code))
            why += "line " + std::to_string(line) + " with code " + std::to_string(code) + "; ";
        const bool pixelError = line == 325;
        const bool expected =
            o.lines.count(line) != 0 ||
            (pixelError && o.image && o.errorRow >= 0 && (stopAt < 0 || stopAt >= o.errorRow));
        if (!expected) {
            why += "raised line " + std::to_string(line) + ", expected";
            for (int l : o.lines) why += " " + std::to_string(l);
            if (o.badAlloc) why += " allocation failure";
            if (o.image) why += " an image";
            why += "; ";
        }
        const std::string& path = file.Path();
        std::vector<std::string> wantArgs;
        if (line == 215) wantArgs = {path, "Premature end of file"};
        if (line == 325) wantArgs = {path, "Premature end of file."};
        if (line == 217 || line == 221 || line == 285) wantArgs = {path};
        if (args != wantArgs)
            why += "message arguments of line " + std::to_string(line) + " differ; ";
        return why;
    }
    if (!returned) return why + "neither returned nor raised; ";
    if (!o.image) {
        why += "imported, expected";
        for (int l : o.lines) why += " line " + std::to_string(l);
        if (o.badAlloc) why += " allocation failure";
        return why + "; ";
    }
    if (o.errorRow >= 0 && (stopAt < 0 || stopAt >= o.errorRow))
        return why + "imported a file whose rows are cut short; ";
    if (result != 1) why += "result " + std::to_string(result) + "; ";
    bool allAlphaZero = o.bits == 32 && o.errorRow < 0;
    if (allAlphaZero) {
        const std::vector<Bytes> stored = ExpectedRows(data, size, o, false);
        for (const Bytes& row : stored)
            for (int x = 0; x < o.width && allAlphaZero; ++x)
                if (row[4 * x + 3] != 0) allAlphaZero = false;
    }
    // Reports: one a row and the final 1.0, then one a row of the second pass.
    const long reports = o.rows + 1L + (allAlphaZero ? o.rows : 0);
    // Rows cut short and no error: the stop came first.
    const bool stopped = (stopAt >= 0 && stopAt < reports) || o.errorRow >= 0;
    if (stopped) {
        if (manager.m_importObjectCalls != 0) why += "image handed over after a stop; ";
        return why;
    }
    if (manager.m_imported.size() != 1) return why + "no image handed over; ";
    const orix::TrImage& image = *manager.m_imported[0];
    if (image.GetWidth() != o.width || image.GetHeight() != o.rows ||
        static_cast<int>(image.GetColorFormat()) != o.format)
        return why + "image size or format differs; ";
    if (image.GetXPelsPerMeter() != o.xppm || image.GetYPelsPerMeter() != o.yppm)
        why += "resolution differs; ";
    if (std::memcmp(image.ColorTable(), o.table, sizeof o.table) != 0)
        why += "colour table differs; ";
    const std::vector<Bytes> rows = ExpectedRows(data, size, o, allAlphaZero);
    for (int r = 0; r < o.rows; ++r) {
        const int t = o.height > 0 ? o.rows - 1 - r : r;
        const std::uint8_t* got = image.Row(t);
        const Bytes& want = rows[static_cast<std::size_t>(r)];
        if (got == nullptr || std::memcmp(got, want.data(), want.size()) != 0) {
            why += "stored row " + std::to_string(r) + " differs: got " +
                   (got ? Hex(got, want.size() < 32 ? want.size() : 32) : std::string("nothing")) +
                   " want " + Hex(want.data(), want.size() < 32 ? want.size() : 32) + "; ";
            break;
        }
    }
    const bool asked = !manager.m_warnings.empty();
    if (asked != allAlphaZero) why += "transparency question asked wrongly; ";
    return why;
}

// --- probe and description ----------------------------------------------------------

inline std::string CheckProbe(const std::uint8_t* data, std::size_t size) {
    static MemoryFile file;
    if (!file.Set(data, size)) return "";
    const int fdBefore = LowestFreeFd();
    orix::IoManager manager;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    if (!filter) return "no filter";
    std::string why;
    bool supported = false, described = false;
    std::string text = "untouched";
    try {
        supported = filter->IsFileSupported(file.Path().c_str());
        described = filter->GetFileDescription(file.Path().c_str(), text);
    } catch (const std::exception& e) {
        return std::string("probe or description raised: ") + e.what();
    }
    filter.reset();
    if (LowestFreeFd() != fdBefore) why += "a file was left open; ";

    // The probe's loose check.
    bool probe = false;
    const std::uint8_t* d = data;
    std::int32_t w = 0, h = 0;
    std::uint32_t bits = 0;
    if (size >= 18 && Le16(d) == 0x4D42) {
        const std::uint32_t hs = Le32(d + 14);
        if (hs == 12 && size >= 26) {
            w = static_cast<std::int32_t>(Le16(d + 18));
            h = static_cast<std::int32_t>(Le16(d + 20));
            bits = Le16(d + 24);
            probe = w >= 1 && h != 0;
        } else if (hs != 12 && size >= 54) {
            w = static_cast<std::int32_t>(Le32(d + 18));
            h = static_cast<std::int32_t>(Le32(d + 22));
            bits = Le16(d + 28);
            probe = hs >= 40 && w >= 1 && h != 0;
        }
    }
    if (supported != probe)
        why += std::string("probe answered ") + (supported ? "yes" : "no") + "; ";

    // The description follows the full header checks.
    const Outcome o = Model(data, size, ~std::uint64_t(0));
    // The header checks refuse the file when every outcome left is one of
    // their errors; 285 and later belong to the import alone.
    bool refused = !o.image && !o.badAlloc && !o.lines.empty() && o.lines.count(285) == 0;
    if (!o.rangeRefusable) {
        if (described && refused) why += "described a file the header checks refuse; ";
        if (!described && !refused) why += "refused to describe an acceptable file; ";
    }
    if (!described && text != "untouched") why += "text changed on refusal; ";
    if (described) {
        const char* name = "Unknown";
        switch (bits) {
            case 1:
                name = "monochrome";
                break;
            case 4:
                name = "16 colors w/palette";
                break;
            case 8:
                name = "256 colors w/palette";
                break;
            case 15:
                name = "15-bit RGB";
                break;
            case 16:
                name = "16-bit RGB";
                break;
            case 24:
                name = "24-bit RGB";
                break;
            case 32:
                name = "32-bit RGBA";
                break;
        }
        const std::string want = "Microsoft BMP Image\r\nWidth:  " + std::to_string(w) +
                                 "\r\nHeight:  " + std::to_string(h) +
                                 "\r\nBit Depth:  " + std::to_string(bits) +
                                 "\r\nColor Format:  " + name + "\r\n";
        if (text != want) why += "description text differs: " + text + "; ";
    }
    return why;
}

// --- export -------------------------------------------------------------------------------

// An image made from the fuzzer's bytes: format, size, colour table, rows.
struct ExportInput {
    int format = 0, width = 0, height = 0, colorsUsed = 0;
    long stopAt = -1;
    bool destroyEarly = false;
    tagRGBQUAD table[256] = {};
    std::unique_ptr<orix::TrImage> image;
};

inline ExportInput MakeExportInput(const std::uint8_t* data, std::size_t size) {
    ExportInput in;
    std::size_t at = 0;
    auto take = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
    in.format = take() % 12;
    const std::uint8_t w = take(), h = take();
    in.width = w == 255 ? 0 : w % 48 + 1;
    in.height = h == 255 ? 0 : h % 48 + 1;
    const std::uint8_t control = take();
    in.stopAt = control & 0x80 ? control & 7 : -1;
    in.destroyEarly = (control & 0x40) != 0;
    in.colorsUsed = take();
    for (int i = 0; i < 256 && at < size && i < (in.colorsUsed == 0 ? 256 : in.colorsUsed); ++i)
        in.table[i] = {take(), take(), take(), take()};
    in.image = std::make_unique<orix::TrImage>();
    in.image->SetScanlineStart(in.width, in.height, static_cast<tamb::ColorFormat>(in.format), 2835,
                               3780, in.table, orix::TrImage::RowsByIndex, 0);
    in.image->SetNumColorTableEntriesUsed(in.colorsUsed);
    Bytes row(static_cast<std::size_t>(in.image->GetRowBytes()));
    for (int y = 0; y < in.height; ++y) {
        for (auto& b : row) b = take();
        in.image->SetScanline(row.data(), y);
    }
    in.image->SetScanlineEnd(nullptr, 0);
    return in;
}

// Exports the image and checks the file (or its absence) byte by byte, then
// reads it back through the module's import.
inline std::string CheckExport(const std::uint8_t* data, std::size_t size) {
    static ScratchDir dir;
    const std::string path = dir.File();
    ::unlink(path.c_str());
    ExportInput in = MakeExportInput(data, size);
    orix::TrImage& image = *in.image;
    const int fdBefore = LowestFreeFd();
    orix::IoManager manager;
    manager.m_stopAtProportion = in.stopAt;
    std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
    if (!filter) return "no filter";
    std::string why;
    int status = -1, line = 0;
    bool raised = false;
    const int f = in.format;
    const bool convert = !((f >= 1 && f <= 3) || (f >= 6 && f <= 10));
    const bool convertible = f >= 1 && f <= 10;
    const int bits = f == 1 || f == 6   ? 1
                     : f == 2 || f == 7 ? 4
                     : f == 3 || f == 8 ? 8
                     : f == 10          ? 32
                                        : 24;
    try {
        filter->BeginExport(path.c_str(), false);
        status = filter->ExportObject(image);
        if (in.destroyEarly) {
            filter.reset();
            if (Exists(path)) why += "file left after the filter was destroyed mid-export; ";
            if (manager.m_activeProgress != 0) why += "progress display left open; ";
            return why;
        }
    } catch (const orix::IoException& e) {
        raised = true;
        line = e.line;
        if (e.source != ".\\BmpExportFilter") why += "error from source " + e.source + "; ";
    } catch (const std::exception& e) {
        return std::string("unexpected exception: ") + e.what();
    }
    const bool empty = in.width == 0 || in.height == 0;
    if (raised) {
        const bool ok = (line == 213 && empty) || (line == 273 && !convertible && !empty);
        if (!ok) why += "raised line " + std::to_string(line) + "; ";
    } else if (empty || (convert && !convertible)) {
        why += "exported an image that cannot be exported; ";
    }
    try {
        filter->EndExport();
    } catch (const std::exception& e) {
        why += std::string("EndExport raised: ") + e.what() + "; ";
    }
    filter.reset();
    if (LowestFreeFd() != fdBefore) why += "a file was left open; ";
    if (manager.m_activeProgress != 0) why += "progress display not ended exactly once; ";
    const long reports =
        in.height == 0 ? 0 : (in.height - 1) / 32 + 1 + ((in.height - 1) % 32 != 0) + 1;
    const bool stopped = !raised && in.stopAt >= 0 && in.stopAt < reports;
    if (raised || stopped) {
        if (stopped && status != 2) why += "stop gave status " + std::to_string(status) + "; ";
        if (Exists(path)) why += "a failed or stopped export left its file; ";
        return why;
    }
    if (status != 0) return why + "status " + std::to_string(status) + "; ";

    // The file, byte by byte.
    const Bytes file = ReadAll(path);
    const auto stride = static_cast<int>(RowBytes(in.width, bits));
    const std::size_t colours = bits <= 8 ? std::size_t(1) << bits : 0;
    const std::size_t offBits = 54 + colours * 4;
    const std::size_t total = offBits + static_cast<std::size_t>(stride) * in.height;
    if (file.size() != total)
        return why + "file is " + std::to_string(file.size()) + " bytes, want " +
               std::to_string(total) + "; ";
    const std::uint8_t* d = file.data();
    if (Le16(d) != 0x4D42 || Le32(d + 2) != total || Le32(d + 6) != 0 || Le32(d + 10) != offBits ||
        Le32(d + 14) != 40 || static_cast<int>(Le32(d + 18)) != in.width ||
        static_cast<int>(Le32(d + 22)) != in.height || Le16(d + 26) != 1 ||
        static_cast<int>(Le16(d + 28)) != bits || Le32(d + 30) != 0 ||
        Le32(d + 34) != static_cast<std::uint32_t>(stride) * in.height || Le32(d + 38) != 2835 ||
        Le32(d + 42) != 3780 || Le32(d + 46) != colours || Le32(d + 50) != colours)
        why += "headers differ: " + Hex(d, 54) + "; ";
    for (std::size_t i = 0; i < colours; ++i) {
        tagRGBQUAD want = {0, 0, 0, 0};
        if (f >= 1 && f <= 3) {
            const auto v = static_cast<std::uint8_t>(i * 255 / (colours - 1));
            want = {v, v, v, 0};
        } else if (static_cast<int>(i) < in.colorsUsed) {
            want = in.table[i];
        }
        if (std::memcmp(d + 54 + 4 * i, &want, 4) != 0) {
            why += "colour entry " + std::to_string(i) + " differs; ";
            break;
        }
    }
    Bytes want(static_cast<std::size_t>(stride));
    Bytes source(static_cast<std::size_t>(in.width) * 4 + 16);
    for (int i = 0; i < in.height; ++i) {
        const int y = in.height - 1 - i;
        image.GetScanline(source.data(), y);
        std::fill(want.begin(), want.end(), 0);
        if (convert)
            velk::SimplePixelConvert(in.width, source.data(), image.GetColorFormat(), want.data(),
                                     tamb::ColorBgr24, 0, nullptr);
        else
            std::memcpy(want.data(), source.data(), want.size());
        if (std::memcmp(d + offBits + static_cast<std::size_t>(i) * stride, want.data(),
                        want.size()) != 0) {
            why += "stored row " + std::to_string(i) + " differs; ";
            break;
        }
    }
    // And back: the module's own import gives the same rows.
    const std::string back = CheckImport(file.data(), file.size());
    if (!back.empty()) why += "reading the file back: " + back;
    return why;
}

}  // namespace fuzzcheck
