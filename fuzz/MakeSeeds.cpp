// Writes the seed corpora: small valid and nearly valid BMP files of every
// header form, depth and compression for the import and probe targets, and
// small images of every colour format for the export target.
//   make_seeds DIR   -> DIR/import/*, DIR/export/*
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BmpBytes.h"

using bmpbytes::BmpFields;
using bmpbytes::Bytes;
using Seeds = std::vector<std::pair<std::string, Bytes>>;

namespace {

// A picture of made-up pixels, with a colour table up to 8 bits.
BmpFields Picture(int width, int height, int bits) {
    BmpFields f;
    f.width = width;
    f.height = height;
    f.bitCount = static_cast<std::uint16_t>(bits);
    for (int i = 0; bits <= 8 && i < 1 << bits; ++i)
        f.palette.push_back({std::uint8_t(i * 37), std::uint8_t(i * 11), std::uint8_t(255 - i), 0});
    f.pixels.resize(bmpbytes::StrideFor(width, bits) * static_cast<std::size_t>(std::abs(height)));
    for (std::size_t i = 0; i < f.pixels.size(); ++i) f.pixels[i] = std::uint8_t(i * 37 + bits);
    return f;
}

BmpFields RunLength(int width, const std::vector<Bytes>& rows, int bits, bool skipZeros) {
    BmpFields f = Picture(width, static_cast<int>(rows.size()), bits);
    f.compression = bits == 8 ? 1 : 2;
    f.pixels = bmpbytes::EncodeRunLength(rows, bits, skipZeros);
    return f;
}

Seeds ImportSeeds() {
    std::vector<std::pair<std::string, BmpFields>> s;
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        s.push_back({"rgb" + std::to_string(bits), Picture(5, 3, bits)});
        s.push_back({"rgb" + std::to_string(bits) + "-topdown", Picture(5, -3, bits)});
        s.push_back({"core" + std::to_string(bits), Picture(4, 2, bits)});
        s.back().second.headerSize = 12;
    }
    s.push_back({"rgb32-alpha0", Picture(2, 2, 32)});  // the question and the second pass
    for (std::size_t i = 3; i < 16; i += 4) s.back().second.pixels[i] = 0;
    for (std::uint32_t size : {40u, 56u, 108u, 124u}) {
        s.push_back({"bitfields" + std::to_string(size), Picture(3, 2, 16)});
        s.back().second.headerSize = size;
        s.back().second.compression = 3;
        s.back().second.masks = {0xF800, 0x07E0, 0x001F};
        if (size != 40) s.back().second.masks = {0x7C00, 0x03E0, 0x001F};
    }
    s.push_back(
        {"rle8", RunLength(6, {{5, 5, 5, 1, 2, 3}, {0, 0, 0, 0, 0, 7}, Bytes(6, 0)}, 8, true)});
    s.push_back({"rle4", RunLength(7, {{1, 2, 1, 2, 1, 2, 1}, {3, 4, 5, 6, 7, 8, 9}}, 4, false)});
    s.push_back({"offbits-gap", Picture(2, 1, 24)});
    s.back().second.offBits = 80;
    s.push_back({"bits2", Picture(2, 2, 2)});
    s.push_back({"bits15", Picture(2, 2, 15)});
    s.push_back({"planes2", Picture(2, 2, 24)});
    s.back().second.planes = 2;
    s.push_back({"short-rows", Picture(4, 4, 8)});
    s.back().second.pixels.resize(9);
    Seeds seeds;
    for (const auto& [name, fields] : s) seeds.emplace_back(name, bmpbytes::BuildBmp(fields));
    return seeds;
}

// Laid out as the export check reads them: format, width, height, control,
// colour count, colour entries, row bytes.
Seeds ExportSeeds() {
    Seeds seeds;
    for (int format = 0; format < 12; ++format)
        for (int size : {1, 7, 48}) {
            Bytes b = {std::uint8_t(format), std::uint8_t(size - 1), std::uint8_t(size - 1), 0, 4};
            for (int i = 0; i < 16 + size * size * 4; ++i) b.push_back(std::uint8_t(i * 29));
            seeds.emplace_back("format" + std::to_string(format) + "-" + std::to_string(size), b);
        }
    seeds.push_back({"stop", {9, 40, 40, 0x81, 0}});
    seeds.push_back({"destroy", {10, 3, 3, 0x40, 0}});
    seeds.push_back({"empty", {8, 255, 3, 0, 0}});
    return seeds;
}

bool WriteAll(const std::filesystem::path& dir, const Seeds& seeds) {
    std::filesystem::create_directories(dir);
    for (const auto& [name, bytes] : seeds) {
        FILE* f = std::fopen((dir / name).c_str(), "wb");
        const bool ok =
            f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f == nullptr || std::fclose(f) != 0 || !ok) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    if (!WriteAll(std::filesystem::path(argv[1]) / "import", ImportSeeds()) ||
        !WriteAll(std::filesystem::path(argv[1]) / "export", ExportSeeds())) {
        std::fprintf(stderr, "make_seeds: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
