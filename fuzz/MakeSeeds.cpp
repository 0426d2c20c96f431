// Writes the seed corpora: small valid and nearly valid BMP files of every
// header form, depth and compression for the import and probe harnesses, and
// small images of every colour format for the export harness.
//   make_seeds DIR   -> DIR/import/*, DIR/export/*
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/BmpBuilder.h"

using testsupport::BmpFields;
using testsupport::Bytes;

namespace {

std::vector<std::pair<std::string, Bytes>> ImportSeeds() {
    std::vector<std::pair<std::string, Bytes>> seeds;
    auto add = [&](const std::string& name, const BmpFields& fields) {
        seeds.emplace_back(name, testsupport::BuildBmp(fields));
    };
    // Every depth, uncompressed, bottom-up and top-down, with made-up pixels.
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        for (int height : {3, -3}) {
            BmpFields s;
            s.width = 5;
            s.height = height;
            s.bitCount = static_cast<std::uint16_t>(bits);
            if (bits <= 8) s.palette = testsupport::TestPalette(1 << bits);
            s.pixels.resize(testsupport::StrideFor(5, bits) * 3);
            for (std::size_t i = 0; i < s.pixels.size(); ++i)
                s.pixels[i] = static_cast<std::uint8_t>(i * 37 + bits);
            add("rgb" + std::to_string(bits) + (height < 0 ? "-topdown" : ""), s);
        }
    }
    {
        BmpFields s;  // 32 bits whose alpha is all zero: the question and the second pass
        s.width = 2;
        s.height = 2;
        s.bitCount = 32;
        s.pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
        add("rgb32-alpha0", s);
    }
    {
        BmpFields s;  // 5-6-5 bit fields
        s.width = 3;
        s.height = 2;
        s.bitCount = 16;
        s.compression = 3;
        s.masks = {0xF800, 0x07E0, 0x001F};
        s.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x10, 0x84, 0, 0, 0xFF, 0xFF, 0x1F, 0x00, 0, 0, 0, 0};
        add("bitfields565", s);
    }
    for (int bits : {1, 4, 8, 24}) {
        BmpFields s;  // core header, three-byte palette
        s.headerSize = 12;
        s.width = 4;
        s.height = 2;
        s.bitCount = static_cast<std::uint16_t>(bits);
        if (bits <= 8) s.palette = testsupport::TestPalette(1 << bits);
        s.pixels.assign(testsupport::StrideFor(4, bits) * 2, 0x5A);
        add("core" + std::to_string(bits), s);
    }
    for (std::uint32_t size : {56u, 108u, 124u}) {
        BmpFields s;  // larger headers, skipped
        s.headerSize = size;
        s.width = 2;
        s.height = 2;
        s.bitCount = 16;
        s.compression = 3;
        s.masks = {0x7C00, 0x03E0, 0x001F};
        s.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
        add("header" + std::to_string(size), s);
    }
    {
        BmpFields s;  // RLE8: encoded, absolute with pad, delta across rows, end of bitmap
        s.width = 6;
        s.height = 4;
        s.bitCount = 8;
        s.compression = 1;
        s.palette = testsupport::TestPalette(256);
        s.pixels = {0x03, 0x05, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00,
                    0x02, 0x02, 0x01, 0x02, 0x07, 0x00, 0x00, 0x06, 0x09, 0x00, 0x01};
        add("rle8", s);
    }
    {
        BmpFields s;  // RLE4: odd start column, absolute runs with and without pad
        s.width = 7;
        s.height = 3;
        s.bitCount = 4;
        s.compression = 2;
        s.palette = testsupport::TestPalette(16);
        s.pixels = {0x03, 0x12, 0x00, 0x03, 0x34, 0x50, 0x00, 0x00, 0x00, 0x05,
                    0x12, 0x34, 0x50, 0x00, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00,
                    0x02, 0xAB, 0x00, 0x02, 0x00, 0x01, 0x00, 0x01};
        add("rle4", s);
    }
    {
        BmpFields s;  // pixel data at an explicit offset with a gap
        s.width = 2;
        s.height = 1;
        s.bitCount = 24;
        s.offBits = 80;
        s.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
        add("offbits-gap", s);
    }
    {
        BmpFields s;  // refused depths and planes
        s.width = 2;
        s.height = 2;
        s.bitCount = 2;
        s.pixels.assign(8, 0xFF);
        add("bits2", s);
        s.bitCount = 15;
        add("bits15", s);
        s.bitCount = 24;
        s.planes = 2;
        add("planes2", s);
    }
    {
        BmpFields s;  // cut short inside the rows
        s.width = 4;
        s.height = 4;
        s.bitCount = 8;
        s.palette = testsupport::TestPalette(4);
        s.clrUsed = 4;
        s.pixels.assign(9, 0x01);
        add("short-rows", s);
    }
    return seeds;
}

// The export harness reads: format, width, height, control, colour count,
// colour entries, then row bytes.
std::vector<std::pair<std::string, Bytes>> ExportSeeds() {
    std::vector<std::pair<std::string, Bytes>> seeds;
    for (int format = 0; format < 12; ++format) {
        for (int size : {1, 7, 33}) {
            Bytes b = {static_cast<std::uint8_t>(format), static_cast<std::uint8_t>(size - 1),
                       static_cast<std::uint8_t>(size - 1), 0, 4};
            for (int i = 0; i < 16; ++i) b.push_back(static_cast<std::uint8_t>(i * 29));
            for (int i = 0; i < size * size * 4; ++i)
                b.push_back(static_cast<std::uint8_t>(i * 13));
            seeds.emplace_back("format" + std::to_string(format) + "-" + std::to_string(size), b);
        }
    }
    seeds.push_back({"stop", {9, 40, 40, 0x81, 0}});
    seeds.push_back({"destroy", {10, 3, 3, 0x40, 0}});
    seeds.push_back({"empty", {8, 255, 3, 0, 0}});
    return seeds;
}

bool WriteAll(const std::string& dir, const std::vector<std::pair<std::string, Bytes>>& seeds) {
    ::mkdir(dir.c_str(), 0755);
    for (const auto& [name, bytes] : seeds) {
        const std::string path = dir + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return false;
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (std::fclose(f) != 0 || !ok) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    ::mkdir(dir.c_str(), 0755);
    if (!WriteAll(dir + "/import", ImportSeeds()) || !WriteAll(dir + "/export", ExportSeeds())) {
        std::fprintf(stderr, "make_seeds: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
