#include "bench/BenchImages.h"

#include <cmath>
#include <cstdio>

#include "BmpBytes.h"

namespace bench {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// A smooth cyclic colour map: t in [0, 1) to blue, green, red.
void ColourAt(double t, std::uint8_t* bgr) {
    bgr[0] = static_cast<std::uint8_t>(127.5 + 127.5 * std::sin(kTwoPi * t + 2 * kTwoPi / 3));
    bgr[1] = static_cast<std::uint8_t>(127.5 + 127.5 * std::sin(kTwoPi * t + kTwoPi / 3));
    bgr[2] = static_cast<std::uint8_t>(127.5 + 127.5 * std::sin(kTwoPi * t));
}

// Sum of waves along x, y, the diagonal and around a centre, in [0, 1).
double Wave(int x, int y, int width, int height) {
    const double scale = width / 40.0;
    const double radial = std::hypot(x - width * 0.3, y - height * 0.6) / (scale * 0.8);
    const double v = (std::sin(x / scale) + std::sin(y / (scale * 1.4)) +
                      std::sin((x + y) / (scale * 1.9)) + std::sin(radial) + 4.0) /
                     8.0;
    return std::fmin(std::fmax(v, 0.0), 0.999999);
}

}  // namespace

Plasma MakePlasma(int width, int height) {
    Plasma p{width, height, {}, {}};
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    p.index8.resize(count);
    p.bgr.resize(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        const double v =
            Wave(static_cast<int>(i % width), static_cast<int>(i / width), width, height);
        p.index8[i] = static_cast<std::uint8_t>(v * 256);
        ColourAt(v, &p.bgr[i * 3]);
    }
    return p;
}

Bytes PixelValues(const Plasma& p, int y, int bits) {
    Bytes row;
    const std::size_t first = static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width);
    for (std::size_t i = first; i < first + static_cast<std::size_t>(p.width); ++i) {
        const std::uint8_t index = p.index8[i];
        const std::uint8_t* c = &p.bgr[i * 3];
        if (bits <= 8) {
            row.push_back(static_cast<std::uint8_t>(index >> (8 - bits)));
        } else if (bits == 16) {
            const unsigned v = (c[2] >> 3) << 10 | (c[1] >> 3) << 5 | c[0] >> 3;
            row.insert(row.end(),
                       {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
        } else {
            row.insert(row.end(), c, c + 3);
            if (bits == 32) row.push_back(static_cast<std::uint8_t>(128 + (index >> 1)));
        }
    }
    return row;
}

std::vector<tagRGBQUAD> Palette(int bits) {
    std::vector<tagRGBQUAD> table(std::size_t(1) << bits);
    for (std::size_t i = 0; i < table.size(); ++i) {
        std::uint8_t bgr[3];
        ColourAt((i + 0.5) / table.size(), bgr);
        table[i] = {bgr[0], bgr[1], bgr[2], 0};
    }
    return table;
}

Bytes EncodeBmp(const Plasma& p, int bits, std::uint32_t compression) {
    bmpbytes::BmpFields f;
    f.width = p.width;
    f.height = p.height;
    f.bitCount = static_cast<std::uint16_t>(bits);
    f.compression = compression;
    if (bits <= 8) f.palette = Palette(bits);
    f.clrUsed = f.clrImportant = static_cast<std::uint32_t>(f.palette.size());
    std::vector<Bytes> rows;  // stored order: bottom row first
    for (int y = p.height - 1; y >= 0; --y) rows.push_back(PixelValues(p, y, bits));
    if (compression != 0) {
        f.pixels = bmpbytes::EncodeRunLength(rows, bits);
    } else {
        for (Bytes& row : rows) row = bmpbytes::PackRow(row, bits);
        f.pixels = bmpbytes::PadRows(rows, bmpbytes::StrideFor(p.width, bits));
    }
    f.sizeImage = static_cast<std::uint32_t>(f.pixels.size());
    return bmpbytes::BuildBmp(f);
}

std::vector<std::pair<std::string, Bytes>> MakeSmallFiles(int count) {
    std::vector<std::pair<std::string, Bytes>> files;
    static const int kDepths[] = {1, 4, 8, 16, 24, 32};
    for (int k = 0; k < count; ++k) {
        const int kind = k % 10;  // 0-6 depths, 7 top-down, 8 core header, 9 not BMP
        bmpbytes::BmpFields f;
        f.width = 1 + (k * 7) % 64;
        f.height = (kind == 7 ? -1 : 1) * (1 + (k * 13) % 48);
        f.bitCount = static_cast<std::uint16_t>(kind == 8 ? 8 : kDepths[kind % 6]);
        f.headerSize = kind == 8 ? 12 : 40;
        if (f.bitCount <= 8) f.palette = Palette(f.bitCount);
        f.pixels.assign(bmpbytes::StrideFor(f.width, f.bitCount) * (1 + (k * 13) % 48), 0x11);
        Bytes out = bmpbytes::BuildBmp(f);
        if (kind == 9) out.resize(k % 20 == 19 ? 16 : 8);  // cut inside the header
        if (kind == 9 && k % 20 != 19) out[0] = 0x89;      // another signature
        char name[32];
        std::snprintf(name, sizeof name, "small%04d.bmp", k);
        files.emplace_back(name, std::move(out));
    }
    return files;
}

}  // namespace bench
