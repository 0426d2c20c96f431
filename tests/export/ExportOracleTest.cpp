// An independent decoder reads every exported file back: Pillow, run by the
// system's Python, must see the pixels the host image held.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "ExportSupport.h"
#include "frame/BmpExportFilter.h"
#include "support/BmpBuilder.h"

namespace {

using testsupport::Bytes;
using testsupport::TempDir;

constexpr const char* kPython = "/usr/bin/python3";

bool PillowAvailable() {
    const std::string command = std::string(kPython) + " -c 'import PIL.Image' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// Decodes each file with Pillow: one line "width height rgb-hex" per file.
std::vector<std::string> DecodeWithPillow(const std::vector<std::string>& paths) {
    std::string command = std::string(kPython) +
                          " -c 'import sys\nfrom PIL import Image\nfor p in sys.argv[1:]:\n"
                          "  im = Image.open(p)\n  im.load()\n"
                          "  print(im.size[0], im.size[1], im.convert(\"RGB\").tobytes().hex())'";
    for (const std::string& path : paths) command += " '" + path + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    std::string output;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    ::pclose(pipe);
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The red, green, blue bytes of a host image, top row first, read from its
// layouts as the host defines them.
std::string HostPixelsAsRgbHex(const orix::TrImage& image) {
    const tamb::ColorFormat format = image.GetColorFormat();
    const int bits = tamb::BitsPerPixel(format);
    const tagRGBQUAD* table = image.ColorTable();
    std::string hex;
    auto put = [&hex](unsigned v) {
        static const char* digits = "0123456789abcdef";
        hex += digits[(v >> 4) & 15];
        hex += digits[v & 15];
    };
    for (int y = 0; y < image.GetHeight(); ++y) {
        const unsigned char* row = image.Row(y);
        for (int x = 0; x < image.GetWidth(); ++x) {
            unsigned r = 0, g = 0, b = 0;
            if (bits <= 8) {
                const int bit = x * bits;
                const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (format >= tamb::ColorIndexed1 && format <= tamb::ColorIndexed8) {
                    r = table[index].rgbRed;
                    g = table[index].rgbGreen;
                    b = table[index].rgbBlue;
                } else {
                    r = g = b = index * 255 / ((1u << bits) - 1);
                }
            } else if (format == tamb::ColorRgb565) {
                const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
                r = (v >> 11) * 255 / 31;
                g = ((v >> 5) & 63) * 255 / 63;
                b = (v & 31) * 255 / 31;
            } else if (format == tamb::ColorRgba32) {
                r = row[4 * x];
                g = row[4 * x + 1];
                b = row[4 * x + 2];
            } else {
                const int size = bits / 8;
                b = row[size * x];
                g = row[size * x + 1];
                r = row[size * x + 2];
            }
            put(r);
            put(g);
            put(b);
        }
    }
    return hex;
}

// Image rows full of varied bytes; every index and colour value occurs.
std::unique_ptr<orix::TrImage> VariedImage(tamb::ColorFormat format, int width, int height,
                                           unsigned seed) {
    const int rowBytes = orix::TrImage::RowBytesFor(width, format);
    std::vector<Bytes> rows;
    for (int y = 0; y < height; ++y) {
        Bytes row;
        for (int i = 0; i < rowBytes; ++i) {
            seed = seed * 1103515245u + 12345u;
            row.push_back(static_cast<std::uint8_t>(seed >> 16));
        }
        rows.push_back(row);
    }
    std::vector<tagRGBQUAD> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back({static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(255 - i),
                           static_cast<std::uint8_t>(i * 11 + 3), 0});
    return exporttest::MakeImage(width, format, rows, palette);
}

TEST(BmpExportOracle, PillowReadsTheHostsPixels) {
    if (!PillowAvailable()) GTEST_SKIP() << kPython << " cannot import PIL";
    struct Case {
        const char* name;
        tamb::ColorFormat format;
        int width, height;
    };
    const Case cases[] = {
        {"grey 1", tamb::ColorGray1, 13, 5},      {"grey 4", tamb::ColorGray4, 13, 5},
        {"grey 8", tamb::ColorGray8, 13, 5},      {"indexed 1", tamb::ColorIndexed1, 37, 4},
        {"indexed 4", tamb::ColorIndexed4, 7, 6}, {"indexed 8", tamb::ColorIndexed8, 13, 5},
        {"24 bits", tamb::ColorBgr24, 13, 5},     {"32 bits", tamb::ColorBgra32, 13, 5},
        {"5-6-5", tamb::ColorRgb565, 13, 5},      {"red first", tamb::ColorRgba32, 11, 3},
        {"one pixel", tamb::ColorIndexed8, 1, 1}, {"tall", tamb::ColorGray4, 3, 70},
    };
    TempDir dir;
    std::vector<std::string> paths;
    std::vector<std::string> expected;
    unsigned seed = 1;
    for (const Case& c : cases) {
        const std::string path = dir.File(std::string(c.name) + ".bmp");
        auto image = VariedImage(c.format, c.width, c.height, seed++);
        orix::IoManager manager;
        BmpExportFilter filter(manager);
        filter.BeginExport(path.c_str(), false);
        ASSERT_EQ(filter.ExportObject(*image), orix::ExportDone) << c.name;
        filter.EndExport();
        paths.push_back(path);
        expected.push_back(std::to_string(c.width) + " " + std::to_string(c.height) + " " +
                           HostPixelsAsRgbHex(*image));
    }
    const auto decoded = DecodeWithPillow(paths);
    ASSERT_EQ(decoded.size(), paths.size()) << "Pillow failed to decode every file";
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(decoded[i], expected[i]) << cases[i].name;
}

}  // namespace
