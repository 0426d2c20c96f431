// An independent decoder agrees: files written by Pillow, and files built
// here in forms Pillow cannot write, import to the pixels Pillow reads from
// them. Skipped where /usr/bin/python3 has no PIL.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frame/BmpImportFilter.h"
#include "orix/IoManager.h"
#include "orix/TrImage.h"
#include "support/BmpBuilder.h"

namespace {

using testsupport::BmpFields;
using testsupport::BuildBmp;
using testsupport::Bytes;
using testsupport::TempDir;
using testsupport::TestPalette;

constexpr const char* kPython = "/usr/bin/python3";

// Writes Pillow's own BMP files (1 bit, 8 bits grey and palette, 24 and 32
// bits) with their source pixels, then decodes every BMP file in the
// directory to RGBA.
constexpr const char* kScript = R"PY(
import os, sys
from PIL import Image
d = sys.argv[1]

def grid(w, h, f):
    return [f(x, y) for y in range(h) for x in range(w)]

made = {}
im = Image.new("1", (13, 5)); im.putdata(grid(13, 5, lambda x, y: 255 if (3 * x + y) % 4 < 2 else 0)); made["1bit"] = im
im = Image.new("L", (7, 4)); im.putdata(grid(7, 4, lambda x, y: (37 * x + 91 * y) % 256)); made["grey8"] = im
im = Image.new("P", (9, 3)); im.putpalette(bytes((5 * i + 3) % 256 for i in range(768)))
im.putdata(grid(9, 3, lambda x, y: (29 * x + 7 * y) % 256)); made["palette8"] = im
im = Image.new("RGB", (5, 4)); im.putdata(grid(5, 4, lambda x, y: (50 * x % 256, 60 * y % 256, 17 * x * y % 256))); made["rgb24"] = im
im = Image.new("RGBA", (6, 3))
im.putdata(grid(6, 3, lambda x, y: (40 * x % 256, 70 * y % 256, 20 * (x + y) % 256, (30 * x * y + 1) % 256))); made["rgba32"] = im
for name, im in made.items():
    im.save(os.path.join(d, "pil_" + name + ".bmp"))
    with open(os.path.join(d, "pil_" + name + ".src"), "wb") as f:
        f.write(im.convert("RGBA").tobytes())

for name in sorted(os.listdir(d)):
    if not name.endswith(".bmp"):
        continue
    try:
        with Image.open(os.path.join(d, name)) as im:
            rgba = im.convert("RGBA")
    except Exception:
        print("Pillow cannot read", name, file=sys.stderr)
        raise
    base = os.path.join(d, name[:-4])
    with open(base + ".rgba", "wb") as f:
        f.write(rgba.tobytes())
    with open(base + ".size", "w") as f:
        f.write("%d %d" % rgba.size)
)PY";

bool PillowPresent() {
    const std::string command = std::string(kPython) + " -c 'import PIL' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// The imported image as RGBA bytes, top row first; indexed pixels through
// the image's colour table.
Bytes ToRgba(const orix::TrImage& image) {
    Bytes out;
    const tagRGBQUAD* table = image.ColorTable();
    for (int y = 0; y < image.GetHeight(); ++y) {
        const unsigned char* row = image.Row(y);
        for (int x = 0; x < image.GetWidth(); ++x) {
            tagRGBQUAD p{0, 0, 0, 255};
            switch (image.GetColorFormat()) {
                case tamb::ColorIndexed1:
                    p = table[(row[x / 8] >> (7 - x % 8)) & 1];
                    break;
                case tamb::ColorIndexed4:
                    p = table[(row[x / 2] >> ((x & 1) ? 0 : 4)) & 0x0F];
                    break;
                case tamb::ColorIndexed8:
                    p = table[row[x]];
                    break;
                case tamb::ColorBgr24:
                    p = {row[3 * x], row[3 * x + 1], row[3 * x + 2], 255};
                    break;
                case tamb::ColorBgra32:
                    p = {row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
                    break;
                default:
                    ADD_FAILURE() << "unexpected format " << image.GetColorFormat();
            }
            out.insert(
                out.end(),
                {p.rgbRed, p.rgbGreen, p.rgbBlue,
                 image.GetColorFormat() == tamb::ColorBgra32 ? p.rgbReserved : std::uint8_t{255}});
        }
    }
    return out;
}

Bytes Pattern(std::size_t count, std::uint32_t seed) {
    Bytes out(count);
    for (std::uint8_t& b : out) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(seed >> 16);
    }
    return out;
}

// Files in forms Pillow does not write: 4 bits, 16 bits both layouts,
// run-length coded, core and large headers, top-down. Run-length streams
// stay within what every decoder reads alike (no deltas, no odd 4-bit
// absolute runs).
std::vector<std::pair<std::string, BmpFields>> OwnFiles() {
    std::vector<std::pair<std::string, BmpFields>> files;
    BmpFields s;
    s.width = 11;
    s.height = 3;
    s.bitCount = 4;
    s.palette = TestPalette(16);
    s.pixels = Pattern(testsupport::StrideFor(11, 4) * 3, 1);
    files.emplace_back("own_4bit", s);

    s = BmpFields();
    s.width = 13;
    s.height = -4;
    s.bitCount = 1;
    s.palette = {{10, 20, 30, 0}, {200, 150, 100, 0}};
    s.pixels = Pattern(testsupport::StrideFor(13, 1) * 4, 2);
    files.emplace_back("own_1bit_topdown", s);

    s = BmpFields();
    s.width = 7;
    s.height = 3;
    s.bitCount = 16;
    s.pixels = Pattern(testsupport::StrideFor(7, 16) * 3, 3);
    files.emplace_back("own_16bit_555", s);

    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    files.emplace_back("own_16bit_565", s);

    s = BmpFields();
    s.width = 10;
    s.height = 4;
    s.bitCount = 8;
    s.compression = 1;
    s.palette = TestPalette(256);
    s.pixels = {0x03, 0x11, 0x00, 0x03, 0x21, 0x22, 0x23, 0x00, 0x04, 0x31, 0x00, 0x00,  // row 0
                0x0C, 0x41, 0x00, 0x00,                                                  // row 1
                0x00, 0x04, 0x51, 0x52, 0x53, 0x54, 0x02, 0x61, 0x00, 0x00,              // row 2
                0x01, 0x71, 0x00, 0x00, 0x00, 0x01};                                     // row 3
    files.emplace_back("own_rle8", s);

    s = BmpFields();
    s.width = 10;
    s.height = 3;
    s.bitCount = 4;
    s.compression = 2;
    s.palette = TestPalette(16);
    s.pixels = {0x03, 0x12, 0x00, 0x04, 0x34, 0x56, 0x03, 0x78, 0x00, 0x00,               // row 0
                0x0B, 0x9A, 0x00, 0x00,                                                   // row 1
                0x01, 0xB0, 0x00, 0x06, 0xCD, 0xEF, 0x12, 0x00, 0x00, 0x00, 0x00, 0x01};  // row 2
    files.emplace_back("own_rle4", s);

    s = BmpFields();
    s.headerSize = 12;
    s.width = 5;
    s.height = 3;
    s.bitCount = 8;
    s.palette = TestPalette(256);
    s.pixels = Pattern(testsupport::StrideFor(5, 8) * 3, 4);
    files.emplace_back("own_core8", s);

    s = BmpFields();
    s.headerSize = 124;
    s.width = 3;
    s.height = 2;
    s.bitCount = 24;
    s.pixels = Pattern(testsupport::StrideFor(3, 24) * 2, 5);
    files.emplace_back("own_v5_24bit", s);
    return files;
}

TEST(PillowOracle, ImportedPixelsAgreeWithPillow) {
    if (!PillowPresent()) GTEST_SKIP() << kPython << " cannot import PIL";
    TempDir dir;
    for (const auto& [name, fields] : OwnFiles()) dir.Write(name + ".bmp", BuildBmp(fields));
    const std::string script =
        dir.Write("decode.py", Bytes(kScript, kScript + std::strlen(kScript)));
    const std::string command = std::string(kPython) + " " + script + " " + dir.path();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().extension() != ".bmp") continue;
        const std::string base = (entry.path().parent_path() / entry.path().stem()).string();
        SCOPED_TRACE(entry.path().filename().string());
        int width = 0, height = 0;
        std::ifstream(base + ".size") >> width >> height;
        const Bytes expected = testsupport::ReadFileBytes(base + ".rgba");

        orix::IoManager manager;
        BmpImportFilter filter(manager);
        filter.ImportFile(entry.path().c_str(), false);
        ASSERT_EQ(manager.m_imported.size(), 1u);
        const orix::TrImage& image = *manager.m_imported[0];
        ASSERT_EQ(image.GetWidth(), width);
        ASSERT_EQ(image.GetHeight(), height);
        Bytes got = ToRgba(image);
        ASSERT_EQ(got.size(), expected.size());

        if (image.GetColorFormat() == tamb::ColorBgra32) {
            // Pillow reads the fourth byte of a plain 32-bit file as padding;
            // the alpha is checked against the pixels Pillow was given.
            const Bytes source = testsupport::ReadFileBytes(base + ".src");
            ASSERT_EQ(source.size(), got.size());
            for (std::size_t i = 3; i < got.size(); i += 4) {
                EXPECT_EQ(got[i], source[i]) << "alpha of pixel " << i / 4;
                got[i] = 255;
            }
        }
        EXPECT_EQ(got, expected);
        if (testsupport::FileExists(base + ".src") && image.GetColorFormat() != tamb::ColorBgra32) {
            EXPECT_EQ(got, testsupport::ReadFileBytes(base + ".src"));
        }
        ++compared;
    }
    EXPECT_EQ(compared, 13);
}

}  // namespace
