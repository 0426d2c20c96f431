#include "bench/BenchImages.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace bench {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// A smooth cyclic colour map: t in [0, 1) to blue, green, red.
void ColourAt(double t, std::uint8_t* bgr) {
    const double r = 127.5 + 127.5 * std::sin(kTwoPi * t);
    const double g = 127.5 + 127.5 * std::sin(kTwoPi * t + kTwoPi / 3);
    const double b = 127.5 + 127.5 * std::sin(kTwoPi * t + 2 * kTwoPi / 3);
    bgr[0] = static_cast<std::uint8_t>(b);
    bgr[1] = static_cast<std::uint8_t>(g);
    bgr[2] = static_cast<std::uint8_t>(r);
}

std::vector<tagRGBQUAD> SamplePalette(int n) {
    std::vector<tagRGBQUAD> table(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        std::uint8_t bgr[3];
        ColourAt((i + 0.5) / n, bgr);
        table[static_cast<std::size_t>(i)] = {bgr[0], bgr[1], bgr[2], 0};
    }
    return table;
}

void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::size_t Stride(int width, int bits) {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
}

// File header and 40-byte information header for a file whose tables and
// pixel data are given.
Bytes Headers(int width, int height, int bits, std::uint32_t compression, std::size_t tableBytes,
              std::size_t pixelBytes, std::uint32_t colours) {
    Bytes out;
    const std::uint32_t offBits = static_cast<std::uint32_t>(14 + 40 + tableBytes);
    Put16(out, 0x4D42);
    Put32(out, static_cast<std::uint32_t>(offBits + pixelBytes));
    Put32(out, 0);
    Put32(out, offBits);
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(bits));
    Put32(out, compression);
    Put32(out, static_cast<std::uint32_t>(pixelBytes));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, colours);
    return out;
}

void PutPalette(Bytes& out, const std::vector<tagRGBQUAD>& palette) {
    for (const tagRGBQUAD& q : palette) {
        out.push_back(q.rgbBlue);
        out.push_back(q.rgbGreen);
        out.push_back(q.rgbRed);
        out.push_back(0);
    }
}

// Length of the run of equal values at p[i], at most `limit`.
int RunAt(const std::uint8_t* p, int i, int width, int limit) {
    int r = 1;
    while (i + r < width && r < limit && p[i + r] == p[i]) ++r;
    return r;
}

// Length of the stretch at p[i] in which no two neighbours are equal, at most `limit`.
int LiteralAt(const std::uint8_t* p, int i, int width, int limit) {
    int n = 1;
    while (i + n < width && n < limit && p[i + n] != p[i + n - 1]) ++n;
    // Leave the start of the next run to an encoded run.
    if (i + n < width && n > 1 && p[i + n] == p[i + n - 1]) --n;
    return n;
}

}  // namespace

Plasma MakePlasma(int width, int height) {
    Plasma p;
    p.width = width;
    p.height = height;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    p.bgr.resize(count * 3);
    p.index8.resize(count);
    p.index4.resize(count);
    p.index1.resize(count);
    p.alpha.resize(count);
    p.palette256 = SamplePalette(256);
    p.palette16 = SamplePalette(16);
    p.palette2 = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    const double scale = width / 40.0;
    std::vector<double> sx(static_cast<std::size_t>(width)), sy(static_cast<std::size_t>(height)),
        sxy(static_cast<std::size_t>(width + height));
    for (int x = 0; x < width; ++x) sx[static_cast<std::size_t>(x)] = std::sin(x / scale);
    for (int y = 0; y < height; ++y) sy[static_cast<std::size_t>(y)] = std::sin(y / (scale * 1.4));
    for (int s = 0; s < width + height; ++s)
        sxy[static_cast<std::size_t>(s)] = std::sin(s / (scale * 1.9));
    const double cx = width * 0.3, cy = height * 0.6;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double radial = std::sin(std::hypot(x - cx, y - cy) / (scale * 0.8));
            double v = (sx[static_cast<std::size_t>(x)] + sy[static_cast<std::size_t>(y)] +
                        sxy[static_cast<std::size_t>(x + y)] + radial + 4.0) /
                       8.0;
            if (v >= 1.0) v = 0.999999;
            if (v < 0.0) v = 0.0;
            const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                  static_cast<std::size_t>(x);
            ColourAt(v, &p.bgr[i * 3]);
            p.index8[i] = static_cast<std::uint8_t>(v * 256);
            p.index4[i] = static_cast<std::uint8_t>(v * 16);
            p.index1[i] = v < 0.5 ? 0 : 1;
            p.alpha[i] = static_cast<std::uint8_t>(128 + (p.index8[i] >> 1));
        }
    }
    return p;
}

const char* StoredName(Stored stored) {
    switch (stored) {
        case Stored::Bits1:
            return "1-bit";
        case Stored::Bits4:
            return "4-bit";
        case Stored::Bits8:
            return "8-bit";
        case Stored::Bits16:
            return "16-bit";
        case Stored::Bits24:
            return "24-bit";
        case Stored::Bits32:
            return "32-bit";
        case Stored::Rle8:
            return "RLE8";
        case Stored::Rle4:
            return "RLE4";
    }
    return "?";
}

int StoredBitCount(Stored stored) {
    switch (stored) {
        case Stored::Bits1:
            return 1;
        case Stored::Bits4:
        case Stored::Rle4:
            return 4;
        case Stored::Bits8:
        case Stored::Rle8:
            return 8;
        case Stored::Bits16:
            return 16;
        case Stored::Bits24:
            return 24;
        case Stored::Bits32:
            return 32;
    }
    return 0;
}

Bytes EncodeRle8(const Bytes& indices, int width, int height) {
    Bytes out;
    for (int y = height - 1; y >= 0; --y) {
        const std::uint8_t* p = indices.data() + static_cast<std::size_t>(y) * width;
        int i = 0;
        while (i < width) {
            const int run = RunAt(p, i, width, 255);
            if (run >= 2) {
                out.push_back(static_cast<std::uint8_t>(run));
                out.push_back(p[i]);
                i += run;
                continue;
            }
            const int literal = LiteralAt(p, i, width, 255);
            if (literal >= 3) {
                out.push_back(0);
                out.push_back(static_cast<std::uint8_t>(literal));
                out.insert(out.end(), p + i, p + i + literal);
                if (literal % 2 == 1) out.push_back(0);
                i += literal;
            } else {
                out.push_back(1);
                out.push_back(p[i]);
                i += 1;
            }
        }
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(1);
    return out;
}

Bytes EncodeRle4(const Bytes& indices, int width, int height) {
    Bytes out;
    for (int y = height - 1; y >= 0; --y) {
        const std::uint8_t* p = indices.data() + static_cast<std::size_t>(y) * width;
        int i = 0;
        while (i < width) {
            const int run = RunAt(p, i, width, 255);
            if (run >= 3) {
                out.push_back(static_cast<std::uint8_t>(run));
                out.push_back(static_cast<std::uint8_t>(p[i] << 4 | p[i]));
                i += run;
                continue;
            }
            const int literal = LiteralAt(p, i, width, 255);
            if (literal >= 3) {
                out.push_back(0);
                out.push_back(static_cast<std::uint8_t>(literal));
                for (int j = 0; j < literal; j += 2) {
                    const int low = j + 1 < literal ? p[i + j + 1] : 0;
                    out.push_back(static_cast<std::uint8_t>(p[i + j] << 4 | low));
                }
                if ((literal + 1) / 2 % 2 == 1) out.push_back(0);
                i += literal;
            } else {
                // One or two pixels: an encoded run alternates the two nibbles.
                const int n = i + 1 < width ? 2 : 1;
                const int low = n == 2 ? p[i + 1] : 0;
                out.push_back(static_cast<std::uint8_t>(n));
                out.push_back(static_cast<std::uint8_t>(p[i] << 4 | low));
                i += n;
            }
        }
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(1);
    return out;
}

Bytes EncodeBmp(const Plasma& plasma, Stored stored) {
    const int w = plasma.width, h = plasma.height;
    const int bits = StoredBitCount(stored);
    const std::vector<tagRGBQUAD>* palette = nullptr;
    if (bits == 1) palette = &plasma.palette2;
    if (bits == 4) palette = &plasma.palette16;
    if (bits == 8) palette = &plasma.palette256;
    const std::size_t tableBytes = palette ? palette->size() * 4 : 0;
    const std::uint32_t colours = palette ? static_cast<std::uint32_t>(palette->size()) : 0;

    if (stored == Stored::Rle8 || stored == Stored::Rle4) {
        const Bytes data = stored == Stored::Rle8 ? EncodeRle8(plasma.index8, w, h)
                                                  : EncodeRle4(plasma.index4, w, h);
        Bytes out =
            Headers(w, h, bits, stored == Stored::Rle8 ? 1 : 2, tableBytes, data.size(), colours);
        PutPalette(out, *palette);
        out.insert(out.end(), data.begin(), data.end());
        return out;
    }

    const std::size_t stride = Stride(w, bits);
    Bytes out = Headers(w, h, bits, 0, tableBytes, stride * static_cast<std::size_t>(h), colours);
    if (palette) PutPalette(out, *palette);
    const std::size_t start = out.size();
    out.resize(start + stride * static_cast<std::size_t>(h), 0);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = out.data() + start + static_cast<std::size_t>(h - 1 - y) * stride;
        const std::size_t base = static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            const std::size_t i = base + static_cast<std::size_t>(x);
            const std::uint8_t* c = &plasma.bgr[i * 3];
            switch (bits) {
                case 1:
                    row[x / 8] |= static_cast<std::uint8_t>(plasma.index1[i] << (7 - x % 8));
                    break;
                case 4:
                    row[x / 2] |= static_cast<std::uint8_t>(plasma.index4[i] << (x % 2 ? 0 : 4));
                    break;
                case 8:
                    row[x] = plasma.index8[i];
                    break;
                case 16: {
                    const unsigned v = (c[2] >> 3) << 10 | (c[1] >> 3) << 5 | c[0] >> 3;
                    row[2 * x] = static_cast<std::uint8_t>(v);
                    row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                    break;
                }
                case 24:
                    row[3 * x] = c[0];
                    row[3 * x + 1] = c[1];
                    row[3 * x + 2] = c[2];
                    break;
                case 32:
                    row[4 * x] = c[0];
                    row[4 * x + 1] = c[1];
                    row[4 * x + 2] = c[2];
                    row[4 * x + 3] = plasma.alpha[i];
                    break;
            }
        }
    }
    return out;
}

std::vector<std::pair<std::string, Bytes>> MakeSmallFiles(int count) {
    std::vector<std::pair<std::string, Bytes>> files;
    static const int kDepths[] = {1, 4, 8, 16, 24, 32};
    for (int k = 0; k < count; ++k) {
        const int w = 1 + (k * 7) % 64, h = 1 + (k * 13) % 48;
        const int kind = k % 10;
        Bytes out;
        if (kind == 9) {
            // Not a BMP file: a different signature, or cut inside the header.
            out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
            if (k % 20 == 19) out = {'B', 'M', 0x10, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 40, 0};
        } else if (kind == 8) {
            // Core header, 8 bits, three-byte palette.
            Put16(out, 0x4D42);
            Put32(out, 0);
            Put32(out, 0);
            Put32(out, 14 + 12 + 256 * 3);
            Put32(out, 12);
            Put16(out, static_cast<std::uint32_t>(w));
            Put16(out, static_cast<std::uint32_t>(h));
            Put16(out, 1);
            Put16(out, 8);
            out.resize(out.size() + 256 * 3 + Stride(w, 8) * static_cast<std::size_t>(h), 0x11);
        } else {
            const int bits = kDepths[kind % 6];
            const std::size_t colours = bits <= 8 ? std::size_t(1) << bits : 0;
            const std::size_t pixels = Stride(w, bits) * static_cast<std::size_t>(h);
            out = Headers(w, kind == 7 ? -h : h, bits, 0, colours * 4, pixels,
                          static_cast<std::uint32_t>(colours));
            out.resize(out.size() + colours * 4 + pixels, static_cast<std::uint8_t>(k));
        }
        char name[32];
        std::snprintf(name, sizeof name, "small%04d.bmp", k);
        files.emplace_back(name, std::move(out));
    }
    return files;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace bench
