#include "SampleSet.h"

#include <cstdlib>
#include <functional>

namespace samples {

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t r, g, b;
};

void U16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void U32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Everything one file needs; the defaults give a bottom-up BI_RGB file with a
// 40-byte header.
struct Layout {
    int width = 1;
    int height = 1;  // as stored: negative for top-down
    int bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;  // 12: core form; above 40: a larger header
    std::uint32_t clrUsed = 0;
    std::vector<std::uint32_t> masks;  // after the header (and inside a larger one)
    std::vector<Rgb> palette;
    Bytes pixels;
    bool zeroOffBits = false;  // pixel data directly after the tables
    std::uint32_t gap = 0;     // bytes between the tables and the pixel data
};

Bytes Build(const Layout& l) {
    Bytes info;
    if (l.headerSize == 12) {
        U32(info, 12);
        U16(info, static_cast<unsigned>(l.width));
        U16(info, static_cast<unsigned>(l.height));
        U16(info, 1);
        U16(info, static_cast<unsigned>(l.bitCount));
    } else {
        U32(info, l.headerSize);
        U32(info, static_cast<std::uint32_t>(l.width));
        U32(info, static_cast<std::uint32_t>(l.height));
        U16(info, 1);
        U16(info, static_cast<unsigned>(l.bitCount));
        U32(info, l.compression);
        U32(info, 0);
        U32(info, 2835);
        U32(info, 2835);
        U32(info, l.clrUsed);
        U32(info, 0);
        if (l.headerSize > 40) {
            // Larger headers carry the masks (and an alpha mask) inside as
            // well, so that readers of either habit find them.
            Bytes extra;
            for (std::size_t i = 0; i < 4; ++i) U32(extra, i < l.masks.size() ? l.masks[i] : 0);
            U32(extra, 0x73524742);  // colour space "sRGB"
            extra.resize(l.headerSize - 40, 0);
            info.insert(info.end(), extra.begin(), extra.end());
        }
    }
    for (std::size_t i = 0; i < l.masks.size() && i < 3; ++i) U32(info, l.masks[i]);
    for (const Rgb& c : l.palette) {
        info.push_back(c.b);
        info.push_back(c.g);
        info.push_back(c.r);
        if (l.headerSize != 12) info.push_back(0);
    }
    const std::uint32_t tablesEnd = 14 + static_cast<std::uint32_t>(info.size());
    Bytes file;
    U16(file, 0x4D42);
    U32(file, tablesEnd + l.gap + static_cast<std::uint32_t>(l.pixels.size()));
    U16(file, 0);
    U16(file, 0);
    U32(file, l.zeroOffBits ? 0 : tablesEnd + l.gap);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), l.gap, 0xEE);
    file.insert(file.end(), l.pixels.begin(), l.pixels.end());
    return file;
}

int Stride(int width, int bits) { return (width * bits + 31) / 32 * 4; }

// Pictures, in image coordinates (row 0 at the top). A small white block
// marks the top-left corner, so a flipped import shows at a glance.
bool Corner(int x, int y) { return x < 6 && y < 6; }

int Index(int x, int y, int w, int h, int colours) {
    if (Corner(x, y)) return colours - 1;
    const int dx = x - w / 2, dy = y - h / 2;
    const int r2 = dx * dx + dy * dy;
    const int radius = h / 3;
    if (r2 < radius * radius) return 1 + (r2 * 4 / (radius * radius) + (x / 3)) % (colours - 1);
    return ((x / 5 + y / 5) % 3 == 0) ? 0 : 1 + (x / 7) % (colours - 1);
}

// On a background of index 0, for the run-length samples: the top rows stay
// empty so that the stream ends with an early end of bitmap.
int SparseIndex(int x, int y, int w, int h, int colours) {
    if (y < h / 5) return 0;
    const int dx = x - w / 2, dy = y - h / 2;
    const int r2 = dx * dx + dy * dy;
    if (r2 < (h / 3) * (h / 3)) return 1 + ((x + y) * 7 / 2) % (colours - 1);
    if ((x / 8) % 3 == 1) return (y % 2 == 0) ? 2 % colours : 3 % colours;  // dither bands
    return 0;
}

Rgb Colour(int x, int y, int w, int h) {
    if (Corner(x, y)) return {255, 255, 255};
    const int dx = x - w / 2, dy = y - h / 2;
    const bool inside = dx * dx + dy * dy < (h / 3) * (h / 3);
    const auto r = static_cast<std::uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
    const auto g = static_cast<std::uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
    return {r, g, static_cast<std::uint8_t>(inside ? 255 - r / 2 : 64)};
}

std::vector<Rgb> Palette(int n) {
    static const Rgb kSixteen[16] = {
        {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
        {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
        {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    std::vector<Rgb> out;
    if (n == 2) return {{20, 30, 90}, {255, 220, 90}};
    for (int i = 0; i < n; ++i) {
        if (n <= 16) {
            out.push_back(kSixteen[i]);
        } else {  // 3-3-2 colour cube, white last
            out.push_back({static_cast<std::uint8_t>((i >> 5) * 255 / 7),
                           static_cast<std::uint8_t>(((i >> 2) & 7) * 255 / 7),
                           static_cast<std::uint8_t>((i & 3) * 255 / 3)});
        }
    }
    return out;
}

using IndexFn = std::function<int(int x, int y)>;

// Rows of packed indices in file order.
Bytes PackedRows(int w, int h, int bits, bool topDown, const IndexFn& index) {
    const int stride = Stride(w, bits);
    Bytes out(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h), 0);
    for (int i = 0; i < h; ++i) {
        const int y = topDown ? i : h - 1 - i;
        std::uint8_t* row = out.data() + static_cast<std::size_t>(i) * stride;
        for (int x = 0; x < w; ++x) {
            const unsigned v = static_cast<unsigned>(index(x, y));
            if (bits == 8) row[x] = static_cast<std::uint8_t>(v);
            if (bits == 4) row[x / 2] |= static_cast<std::uint8_t>(v << ((x & 1) ? 0 : 4));
            if (bits == 2) row[x / 4] |= static_cast<std::uint8_t>(v << (6 - 2 * (x & 3)));
            if (bits == 1) row[x / 8] |= static_cast<std::uint8_t>(v << (7 - (x & 7)));
        }
    }
    return out;
}

// Rows of direct colour in file order, one pixel by `put`.
Bytes ColourRows(int w, int h, int bits, bool topDown,
                 const std::function<void(std::uint8_t*, int x, int y)>& put) {
    const int stride = Stride(w, bits);
    Bytes out(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h), 0);
    for (int i = 0; i < h; ++i) {
        const int y = topDown ? i : h - 1 - i;
        std::uint8_t* row = out.data() + static_cast<std::size_t>(i) * stride;
        for (int x = 0; x < w; ++x) put(row + x * (bits / 8), x, y);
    }
    return out;
}

// Run-length code of bottom-up rows. Uses every kind of code: runs, literal
// runs (with their pad bytes), deltas over background, end of line and an
// early end of bitmap once only background is left.
Bytes RunLength(int w, int h, bool four, const IndexFn& index) {
    Bytes out;
    auto allZero = [&](int y, int from) {
        for (int x = from; x < w; ++x)
            if (index(x, y) != 0) return false;
        return true;
    };
    for (int i = 0; i < h; ++i) {
        const int y = h - 1 - i;
        bool restEmpty = true;
        for (int j = i; j < h && restEmpty; ++j) restEmpty = allZero(h - 1 - j, 0);
        if (restEmpty) break;  // end of bitmap below
        std::vector<int> v(static_cast<std::size_t>(w));
        for (int x = 0; x < w; ++x) v[static_cast<std::size_t>(x)] = index(x, y);
        int x = 0;
        while (x < w) {
            if (allZero(y, x)) break;
            int run = 1;
            while (x + run < w && run < 255 && v[x + run] == v[x]) ++run;
            if (v[x] == 0 && run >= 4) {  // skip background with a delta
                out.insert(out.end(), {0, 2, static_cast<std::uint8_t>(run), 0});
                x += run;
                continue;
            }
            if (four && x + 1 < w && v[x + 1] != v[x]) {
                int alt = 2;
                while (x + alt < w && alt < 255 && v[x + alt] == v[x + alt - 2]) ++alt;
                if (alt >= 4) {
                    out.push_back(static_cast<std::uint8_t>(alt));
                    out.push_back(static_cast<std::uint8_t>((v[x] << 4) | v[x + 1]));
                    x += alt;
                    continue;
                }
            }
            if (run >= 3) {
                out.push_back(static_cast<std::uint8_t>(run));
                out.push_back(static_cast<std::uint8_t>(four ? (v[x] << 4) | v[x] : v[x]));
                x += run;
                continue;
            }
            // Literal run: up to the next stretch of three equal pixels.
            int n = 0;
            while (x + n < w && n < 255) {
                int same = 1;
                while (x + n + same < w && same < 3 && v[x + n + same] == v[x + n]) ++same;
                if (same >= 3) break;
                ++n;
            }
            if (n < 3) {
                out.push_back(static_cast<std::uint8_t>(run));
                out.push_back(static_cast<std::uint8_t>(four ? (v[x] << 4) | v[x] : v[x]));
                x += run;
                continue;
            }
            out.push_back(0);
            out.push_back(static_cast<std::uint8_t>(n));
            if (four) {
                const int bytes = (n + 1) / 2;
                for (int k = 0; k < bytes; ++k) {
                    const int hi = v[x + 2 * k];
                    const int lo = 2 * k + 1 < n ? v[x + 2 * k + 1] : 0;
                    out.push_back(static_cast<std::uint8_t>((hi << 4) | lo));
                }
                if (bytes % 2 == 1) out.push_back(0);
            } else {
                for (int k = 0; k < n; ++k) out.push_back(static_cast<std::uint8_t>(v[x + k]));
                if (n % 2 == 1) out.push_back(0);
            }
            x += n;
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
}

Sample Indexed(const std::string& name, const std::string& label, int w, int h, int bits,
               std::uint32_t headerSize, bool topDown, int colours = 0) {
    const int n = colours != 0 ? colours : 1 << bits;
    Layout l;
    l.width = w;
    l.height = topDown ? -h : h;
    l.bitCount = bits;
    l.headerSize = headerSize;
    l.palette = Palette(1 << bits);
    l.palette.resize(static_cast<std::size_t>(n));
    if (colours != 0) l.clrUsed = static_cast<std::uint32_t>(colours);
    l.pixels = PackedRows(w, h, bits, topDown, [&](int x, int y) { return Index(x, y, w, h, n); });
    return {name, label, "ok", Build(l)};
}

Sample Rle(const std::string& name, const std::string& label, int w, int h, bool four) {
    Layout l;
    l.width = w;
    l.height = h;
    l.bitCount = four ? 4 : 8;
    l.compression = four ? 2 : 1;
    l.palette = Palette(four ? 16 : 256);
    const int n = four ? 16 : 256;
    l.pixels = RunLength(w, h, four, [&](int x, int y) { return SparseIndex(x, y, w, h, n); });
    return {name, label, "ok", Build(l)};
}

void PutBgr(std::uint8_t* p, int x, int y, int w, int h) {
    const Rgb c = Colour(x, y, w, h);
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
}

Sample Direct24(const std::string& name, const std::string& label, int w, int h,
                std::uint32_t headerSize, bool topDown) {
    Layout l;
    l.width = w;
    l.height = topDown ? -h : h;
    l.headerSize = headerSize;
    l.pixels = ColourRows(w, h, 24, topDown,
                          [&](std::uint8_t* p, int x, int y) { PutBgr(p, x, y, w, h); });
    return {name, label, "ok", Build(l)};
}

Sample Sixteen(const std::string& name, const std::string& label, int w, int h, bool bitFields,
               bool six) {
    Layout l;
    l.width = w;
    l.height = h;
    l.bitCount = 16;
    if (bitFields) {
        l.compression = 3;
        l.masks = six ? std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}
                      : std::vector<std::uint32_t>{0x7C00, 0x03E0, 0x001F};
    }
    l.pixels = ColourRows(w, h, 16, false, [&](std::uint8_t* p, int x, int y) {
        const Rgb c = Colour(x, y, w, h);
        const unsigned v = six ? ((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3)
                               : ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    });
    return {name, label, "ok", Build(l)};
}

Sample ThirtyTwo(const std::string& name, const std::string& label, int w, int h,
                 std::uint32_t headerSize, bool bitFields, int alphaMode) {
    Layout l;
    l.width = w;
    l.height = h;
    l.bitCount = 32;
    l.headerSize = headerSize;
    if (bitFields) {
        l.compression = 3;
        l.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    }
    l.pixels = ColourRows(w, h, 32, false, [&](std::uint8_t* p, int x, int y) {
        PutBgr(p, x, y, w, h);
        // 0: all zero; 1: a ramp from clear to solid; 2: solid
        p[3] = alphaMode == 0
                   ? 0
                   : (alphaMode == 1 ? static_cast<std::uint8_t>(x * 255 / (w - 1)) : 255);
    });
    return {name, label, alphaMode == 0 ? "question" : "ok", Build(l)};
}

}  // namespace

std::vector<Sample> MakeSamples() {
    std::vector<Sample> out;
    out.push_back(Indexed("rgb1.bmp", "1-bit, 2 colours, 40-byte header", 61, 40, 1, 40, false));
    out.push_back(Indexed("core1.bmp", "1-bit, 12-byte core header", 61, 40, 1, 12, false));
    out.push_back(Indexed("rgb4.bmp", "4-bit, 16 colours, odd width", 63, 40, 4, 40, false));
    out.push_back(Indexed("core4.bmp", "4-bit, 12-byte core header", 63, 40, 4, 12, false));
    out.push_back(Rle("rle4.bmp", "4-bit run-length coded: runs, literals, deltas", 67, 48, true));
    out.push_back(Indexed("rgb8.bmp", "8-bit, 256 colours", 66, 44, 8, 40, false));
    out.push_back(
        Indexed("rgb8-used20.bmp", "8-bit, 20-entry colour table", 66, 44, 8, 40, false, 20));
    out.push_back(Indexed("rgb8-topdown.bmp", "8-bit, top-down rows", 66, 44, 8, 40, true));
    out.push_back(Indexed("core8.bmp", "8-bit, 12-byte core header", 66, 44, 8, 12, false));
    out.push_back(Rle("rle8.bmp", "8-bit run-length coded: runs, literals, deltas", 67, 48, false));
    out.push_back(Sixteen("rgb16.bmp", "16-bit 5-5-5", 65, 40, false, false));
    out.push_back(Sixteen("bitfields16-565.bmp", "16-bit 5-6-5 bit fields", 65, 40, true, true));
    out.push_back(Sixteen("bitfields16-555.bmp", "16-bit 5-5-5 bit fields", 65, 40, true, false));
    out.push_back(Direct24("rgb24.bmp", "24-bit, odd width", 67, 45, 40, false));
    out.push_back(Direct24("rgb24-topdown.bmp", "24-bit, top-down rows", 67, 45, 40, true));
    out.push_back(Direct24("core24.bmp", "24-bit, 12-byte core header", 67, 45, 12, false));
    out.push_back(Direct24("v4-24.bmp", "24-bit, 108-byte header", 67, 45, 108, false));
    {
        Sample s = Direct24("v5-24-gap.bmp", "24-bit, 124-byte header, gap before pixels", 67, 45,
                            124, false);
        Layout l;
        l.width = 67;
        l.height = 45;
        l.headerSize = 124;
        l.gap = 34;
        l.pixels = ColourRows(67, 45, 24, false,
                              [&](std::uint8_t* p, int x, int y) { PutBgr(p, x, y, 67, 45); });
        s.bytes = Build(l);
        out.push_back(s);
    }
    {
        Layout l;
        l.width = 67;
        l.height = 45;
        l.zeroOffBits = true;
        l.pixels = ColourRows(67, 45, 24, false,
                              [&](std::uint8_t* p, int x, int y) { PutBgr(p, x, y, 67, 45); });
        out.push_back(
            {"offbits0-24.bmp", "24-bit, pixel offset 0 (data after the header)", "ok", Build(l)});
    }
    out.push_back(ThirtyTwo("rgba32.bmp", "32-bit, alpha ramp", 64, 40, 40, false, 1));
    out.push_back(ThirtyTwo("rgba32-alpha0.bmp", "32-bit, every alpha 0", 64, 40, 40, false, 0));
    out.push_back(ThirtyTwo("v5-bitfields32.bmp", "32-bit bit fields, 124-byte header", 64, 40, 124,
                            true, 2));
    out.push_back(Direct24("large24.bmp", "24-bit, 1600 x 1200", 1600, 1200, 40, false));

    // Files the module describes or reads in part, and refuses or ends early.
    {
        Layout l;
        l.width = 33;
        l.height = 20;
        l.bitCount = 2;
        l.palette = Palette(16);
        l.palette.resize(4);
        l.pixels = PackedRows(33, 20, 2, false, [](int x, int y) { return (x / 4 + y / 4) % 4; });
        out.push_back({"depth2.bmp", "2-bit: described, refused on import", "error 285", Build(l)});
    }
    {
        Layout l;
        l.width = 33;
        l.height = 20;
        l.bitCount = 15;
        l.pixels.assign(static_cast<std::size_t>(Stride(33, 16)) * 20, 0x5A);
        out.push_back(
            {"depth15.bmp", "15-bit: described, refused on import", "error 285", Build(l)});
    }
    {
        Sample s =
            Direct24("truncated24.bmp", "24-bit, cut short inside the rows", 67, 45, 40, false);
        s.bytes.resize(s.bytes.size() - 1000);
        s.expectation = "error 325";
        out.push_back(s);
    }
    {
        Sample s =
            Rle("truncated-rle8.bmp", "8-bit run-length, cut short: ends quietly", 67, 48, false);
        s.bytes.resize(s.bytes.size() * 2 / 3);
        out.push_back(s);
    }
    {
        Sample s = Direct24("not-bmp.bmp", "wrong signature", 8, 8, 40, false);
        s.bytes[0] = 'M';
        s.bytes[1] = 'B';
        s.expectation = "error 221";
        out.push_back(s);
    }
    return out;
}

}  // namespace samples
