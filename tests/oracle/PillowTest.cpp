// An independent reader agrees: Pillow's reading of generated files, and of
// the files the module exports, gives the pixels the module imports from
// them; and an export imports back to the image it came from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "support/Plugin.h"

namespace {

using namespace testsupport;

// Decodes every BMP file of a directory to RGB bytes, top row first.
constexpr const char* kScript = R"PY(
import os, sys
from PIL import Image
d = sys.argv[1]
for name in sorted(os.listdir(d)):
    if name.endswith(".bmp"):
        with Image.open(os.path.join(d, name)) as im:
            open(os.path.join(d, name + ".rgb"), "wb").write(im.convert("RGB").tobytes())
)PY";

bool PillowRan(const TempDir& dir) {
    const std::string script =
        dir.Write("decode.py", Bytes(kScript, kScript + std::strlen(kScript)));
    const std::string command = "/usr/bin/python3 '" + script + "' '" + dir.path() + "' 2>&1";
    return std::system(command.c_str()) == 0;
}

// The image's pixels as RGB, top row first.
Bytes Rgb(const orix::TrImage& image) {
    Bytes out;
    const int bits = tamb::BitsPerPixel(image.GetColorFormat());
    for (int y = 0; y < image.GetHeight(); ++y) {
        const unsigned char* row = image.Row(y);
        for (int x = 0; x < image.GetWidth(); ++x) {
            if (bits <= 8) {
                const int bit = x * bits;
                const int index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
                const tagRGBQUAD& c = image.ColorTable()[index];
                out.insert(out.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
            } else {
                const unsigned char* p = row + x * bits / 8;
                out.insert(out.end(), {p[2], p[1], p[0]});
            }
        }
    }
    return out;
}

std::unique_ptr<orix::TrImage> ImportFile(const std::string& path) {
    orix::IoManager manager;
    auto filter = NewImportFilter(manager);
    const Raised r = Catch([&] { filter->ImportFile(path.c_str(), false); });
    EXPECT_FALSE(r.raised) << path << ": " << r.message;
    return r.raised ? nullptr : std::move(manager.m_imported.at(0));
}

std::mt19937 g_random(2024);

Bytes Noise(std::size_t n, int modulo = 256) {
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(g_random() % static_cast<unsigned>(modulo));
    return out;
}

std::vector<tagRGBQUAD> NoisyTable(int n) {
    std::vector<tagRGBQUAD> table;
    for (int i = 0; i < n; ++i) {
        const Bytes c = Noise(3);
        table.push_back({c[0], c[1], c[2], 0});
    }
    return table;
}

// Files in every form that both readers take.
std::vector<std::pair<std::string, Bytes>> GeneratedFiles() {
    std::vector<std::pair<std::string, Bytes>> files;
    const int w = 13, h = 7;
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        BmpFields f;
        f.width = w;
        f.height = bits == 8 ? -h : h;
        f.bitCount = static_cast<std::uint16_t>(bits);
        if (bits <= 8) f.palette = NoisyTable(1 << bits);
        f.pixels = Noise(bmpbytes::StrideFor(w, bits) * h);
        files.push_back({"direct" + std::to_string(bits), BuildBmp(f)});
        if (bits == 4) f.headerSize = 12;
        if (bits == 16) {
            f.compression = 3;
            f.masks = {0xF800, 0x07E0, 0x001F};
        }
        if (bits == 8) {
            std::vector<Bytes> rows;
            for (int y = 0; y < h; ++y) rows.push_back(Noise(w, y + 2));  // runs and literals
            f.height = h;
            f.compression = 1;
            f.pixels = bmpbytes::EncodeRunLength(rows, 8);
        }
        if (bits == 4 || bits == 8 || bits == 16)
            files.push_back({"other" + std::to_string(bits), BuildBmp(f)});
    }
    return files;
}

std::vector<std::unique_ptr<orix::TrImage>> HostImages() {
    std::vector<std::unique_ptr<orix::TrImage>> images;
    for (int format = tamb::ColorGray1; format <= tamb::ColorBgra32; ++format) {
        const auto f = static_cast<tamb::ColorFormat>(format);
        const int w = 11, h = 5;
        const std::size_t rowBytes = (static_cast<std::size_t>(w) * tamb::BitsPerPixel(f) + 7) / 8;
        std::vector<Bytes> rows;
        for (int y = 0; y < h; ++y) rows.push_back(Noise(rowBytes));
        images.push_back(MakeImage(w, h, f, rows, NoisyTable(256)));
    }
    return images;
}

TEST(Pillow, AgreesOnImportsAndExports) {
    TempDir dir;
    std::vector<std::string> names;
    for (const auto& [name, bytes] : GeneratedFiles()) {
        dir.Write(name + ".bmp", bytes);
        names.push_back(name);
    }
    std::vector<std::unique_ptr<orix::TrImage>> sources = HostImages();
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const std::string name = "export" + std::to_string(i);
        orix::IoManager manager;
        auto filter = NewExportFilter(manager);
        const std::string path = dir.File(name + ".bmp");
        ASSERT_FALSE(Catch([&] {
                         filter->BeginExport(path.c_str(), false);
                         filter->ExportObject(*sources[i]);
                         filter->EndExport();
                     }).raised);
        names.push_back(name);
    }
    if (!PillowRan(dir)) GTEST_SKIP() << "python3 with PIL is not available";
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        auto image = ImportFile(dir.File(name + ".bmp"));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(Rgb(*image), ReadFileBytes(dir.File(name + ".bmp.rgb")));
    }
    // Stored as they are, exports import back to the same rows and table.
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const tamb::ColorFormat f = sources[i]->GetColorFormat();
        if (f != tamb::ColorBgr24 && f != tamb::ColorBgra32 && f < tamb::ColorIndexed1) continue;
        SCOPED_TRACE(f);
        auto back = ImportFile(dir.File("export" + std::to_string(i) + ".bmp"));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->GetColorFormat(), f);
        EXPECT_EQ(ImageRows(*back), ImageRows(*sources[i]));
        EXPECT_EQ(Rgb(*back), Rgb(*sources[i]));
    }
}

}  // namespace
