#include "SampleSet.h"

#include <functional>

#include "BmpBytes.h"

namespace samples {

namespace {

using bmpbytes::BmpFields;
using bmpbytes::Bytes;

struct Rgb {
    std::uint8_t r, g, b;
};

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

tagRGBQUAD Quad(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {b, g, r, 0}; }

std::vector<tagRGBQUAD> Palette(int n) {
    static const Rgb kSixteen[16] = {
        {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
        {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
        {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    if (n == 2) return {Quad(20, 30, 90), Quad(255, 220, 90)};
    std::vector<tagRGBQUAD> out;
    for (int i = 0; i < n; ++i) {
        if (n <= 16) {
            out.push_back(Quad(kSixteen[i].r, kSixteen[i].g, kSixteen[i].b));
        } else {  // 3-3-2 colour cube, white last
            out.push_back(Quad(static_cast<std::uint8_t>((i >> 5) * 255 / 7),
                               static_cast<std::uint8_t>(((i >> 2) & 7) * 255 / 7),
                               static_cast<std::uint8_t>((i & 3) * 255 / 3)));
        }
    }
    return out;
}

using IndexFn = std::function<int(int x, int y)>;
using PixelFn = std::function<void(std::uint8_t* pixel, int x, int y)>;

// The picture's rows in file order: bottom row first unless top-down.
std::vector<Bytes> FileOrder(int h, bool topDown, const std::function<Bytes(int y)>& row) {
    std::vector<Bytes> rows;
    for (int i = 0; i < h; ++i) rows.push_back(row(topDown ? i : h - 1 - i));
    return rows;
}

std::vector<Bytes> IndexRows(int w, int h, bool topDown, const IndexFn& index) {
    return FileOrder(h, topDown, [&](int y) {
        Bytes values(static_cast<std::size_t>(w));
        for (int x = 0; x < w; ++x) values[x] = static_cast<std::uint8_t>(index(x, y));
        return values;
    });
}

Bytes PackedPixels(int w, int h, int bits, bool topDown, const IndexFn& index) {
    std::vector<Bytes> rows = IndexRows(w, h, topDown, index);
    for (Bytes& row : rows) row = bmpbytes::PackRow(row, bits);
    return bmpbytes::PadRows(rows, bmpbytes::StrideFor(w, bits));
}

// Direct colour, `put` writing one pixel of bits / 8 bytes.
Bytes ColourPixels(int w, int h, int bits, bool topDown, const PixelFn& put) {
    const std::size_t size = static_cast<std::size_t>(bits / 8);
    const std::vector<Bytes> rows = FileOrder(h, topDown, [&](int y) {
        Bytes row(size * static_cast<std::size_t>(w));
        for (int x = 0; x < w; ++x) put(&row[size * static_cast<std::size_t>(x)], x, y);
        return row;
    });
    return bmpbytes::PadRows(rows, bmpbytes::StrideFor(w, bits));
}

Sample Made(const std::string& name, const std::string& label, const BmpFields& fields,
            const std::string& expectation = "ok") {
    return {name, label, expectation, bmpbytes::BuildBmp(fields)};
}

BmpFields Indexed(int w, int h, int bits, std::uint32_t headerSize, bool topDown, int colours = 0) {
    const int n = colours != 0 ? colours : 1 << bits;
    BmpFields f;
    f.width = w;
    f.height = topDown ? -h : h;
    f.bitCount = static_cast<std::uint16_t>(bits);
    f.headerSize = headerSize;
    f.palette = Palette(1 << bits);
    f.palette.resize(static_cast<std::size_t>(n));
    if (colours != 0) f.clrUsed = static_cast<std::uint32_t>(colours);
    f.pixels =
        PackedPixels(w, h, bits, topDown, [&](int x, int y) { return Index(x, y, w, h, n); });
    return f;
}

// Runs, literal runs, deltas over the background and an early end of bitmap.
BmpFields RunLength(int w, int h, int bits) {
    BmpFields f;
    f.width = w;
    f.height = h;
    f.bitCount = static_cast<std::uint16_t>(bits);
    f.compression = bits == 4 ? 2 : 1;
    f.palette = Palette(1 << bits);
    const int n = 1 << bits;
    f.pixels = bmpbytes::EncodeRunLength(
        IndexRows(w, h, false, [&](int x, int y) { return SparseIndex(x, y, w, h, n); }), bits,
        true);
    return f;
}

void PutBgr(std::uint8_t* p, int x, int y, int w, int h) {
    const Rgb c = Colour(x, y, w, h);
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
}

BmpFields Direct24(int w, int h, std::uint32_t headerSize = 40, bool topDown = false) {
    BmpFields f;
    f.width = w;
    f.height = topDown ? -h : h;
    f.headerSize = headerSize;
    f.pixels = ColourPixels(w, h, 24, topDown,
                            [&](std::uint8_t* p, int x, int y) { PutBgr(p, x, y, w, h); });
    return f;
}

BmpFields Sixteen(int w, int h, bool bitFields, bool six) {
    BmpFields f;
    f.width = w;
    f.height = h;
    f.bitCount = 16;
    if (bitFields) {
        f.compression = 3;
        f.masks = six ? std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}
                      : std::vector<std::uint32_t>{0x7C00, 0x03E0, 0x001F};
    }
    f.pixels = ColourPixels(w, h, 16, false, [&](std::uint8_t* p, int x, int y) {
        const Rgb c = Colour(x, y, w, h);
        const unsigned v = six ? ((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3)
                               : ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    });
    return f;
}

enum class Alpha { Zero, Ramp, Solid };

BmpFields ThirtyTwo(int w, int h, std::uint32_t headerSize, bool bitFields, Alpha alpha) {
    BmpFields f;
    f.width = w;
    f.height = h;
    f.bitCount = 32;
    f.headerSize = headerSize;
    if (bitFields) {
        f.compression = 3;
        f.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
        f.headerMasks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    }
    f.pixels = ColourPixels(w, h, 32, false, [&](std::uint8_t* p, int x, int y) {
        PutBgr(p, x, y, w, h);
        p[3] = alpha == Alpha::Zero
                   ? 0
                   : (alpha == Alpha::Ramp ? static_cast<std::uint8_t>(x * 255 / (w - 1)) : 255);
    });
    return f;
}

// Files the module describes or reads in part, and refuses or ends early.
void AddRefused(std::vector<Sample>& out) {
    BmpFields two;
    two.width = 33;
    two.height = 20;
    two.bitCount = 2;
    two.palette = Palette(4);
    two.pixels = PackedPixels(33, 20, 2, false, [](int x, int y) { return (x / 4 + y / 4) % 4; });
    out.push_back(Made("depth2.bmp", "2-bit: described, refused on import", two, "error 285"));

    BmpFields fifteen;
    fifteen.width = 33;
    fifteen.height = 20;
    fifteen.bitCount = 15;
    fifteen.pixels.assign(bmpbytes::StrideFor(33, 16) * 20, 0x5A);
    out.push_back(
        Made("depth15.bmp", "15-bit: described, refused on import", fifteen, "error 285"));

    Sample truncated =
        Made("truncated24.bmp", "24-bit, cut short inside the rows", Direct24(67, 45), "error 325");
    truncated.bytes.resize(truncated.bytes.size() - 1000);
    out.push_back(truncated);

    Sample rle = Made("truncated-rle8.bmp", "8-bit run-length, cut short: ends quietly",
                      RunLength(67, 48, 8));
    rle.bytes.resize(rle.bytes.size() * 2 / 3);
    out.push_back(rle);

    BmpFields wrong = Direct24(8, 8);
    wrong.signature = 0x424D;  // "MB"
    out.push_back(Made("not-bmp.bmp", "wrong signature", wrong, "error 221"));
}

}  // namespace

std::vector<Sample> MakeSamples() {
    BmpFields gap = Direct24(67, 45, 124);
    gap.gap = 34;
    BmpFields offBitsZero = Direct24(67, 45);
    offBitsZero.offBits = 0;

    std::vector<Sample> out = {
        Made("rgb1.bmp", "1-bit, 2 colours, 40-byte header", Indexed(61, 40, 1, 40, false)),
        Made("core1.bmp", "1-bit, 12-byte core header", Indexed(61, 40, 1, 12, false)),
        Made("rgb4.bmp", "4-bit, 16 colours, odd width", Indexed(63, 40, 4, 40, false)),
        Made("core4.bmp", "4-bit, 12-byte core header", Indexed(63, 40, 4, 12, false)),
        Made("rle4.bmp", "4-bit run-length coded: runs, literals, deltas", RunLength(67, 48, 4)),
        Made("rgb8.bmp", "8-bit, 256 colours", Indexed(66, 44, 8, 40, false)),
        Made("rgb8-used20.bmp", "8-bit, 20-entry colour table", Indexed(66, 44, 8, 40, false, 20)),
        Made("rgb8-topdown.bmp", "8-bit, top-down rows", Indexed(66, 44, 8, 40, true)),
        Made("core8.bmp", "8-bit, 12-byte core header", Indexed(66, 44, 8, 12, false)),
        Made("rle8.bmp", "8-bit run-length coded: runs, literals, deltas", RunLength(67, 48, 8)),
        Made("rgb16.bmp", "16-bit 5-5-5", Sixteen(65, 40, false, false)),
        Made("bitfields16-565.bmp", "16-bit 5-6-5 bit fields", Sixteen(65, 40, true, true)),
        Made("bitfields16-555.bmp", "16-bit 5-5-5 bit fields", Sixteen(65, 40, true, false)),
        Made("rgb24.bmp", "24-bit, odd width", Direct24(67, 45)),
        Made("rgb24-topdown.bmp", "24-bit, top-down rows", Direct24(67, 45, 40, true)),
        Made("core24.bmp", "24-bit, 12-byte core header", Direct24(67, 45, 12)),
        Made("v4-24.bmp", "24-bit, 108-byte header", Direct24(67, 45, 108)),
        Made("v5-24-gap.bmp", "24-bit, 124-byte header, gap before pixels", gap),
        Made("offbits0-24.bmp", "24-bit, pixel offset 0 (data after the header)", offBitsZero),
        Made("rgba32.bmp", "32-bit, alpha ramp", ThirtyTwo(64, 40, 40, false, Alpha::Ramp)),
        Made("rgba32-alpha0.bmp", "32-bit, every alpha 0",
             ThirtyTwo(64, 40, 40, false, Alpha::Zero), "question"),
        Made("v5-bitfields32.bmp", "32-bit bit fields, 124-byte header",
             ThirtyTwo(64, 40, 124, true, Alpha::Solid)),
        Made("large24.bmp", "24-bit, 1600 x 1200", Direct24(1600, 1200)),
    };
    AddRefused(out);
    return out;
}

}  // namespace samples
