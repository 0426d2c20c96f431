// PNG previews written by bmphost, opened by an independent reader (Pillow).
#include <gtest/gtest.h>

#include "ToolTestSupport.h"

namespace {

using testsupport::BmpFields;
using testsupport::Bytes;
using testsupport::TempDir;
using tooltest::Bmphost;
using tooltest::PillowImage;
using tooltest::RunResult;

struct PreviewCase {
    const char* name;
    BmpFields fields;
    std::vector<std::string> options;
    std::string mode;  // as Pillow opens the PNG
    Bytes rgba;        // expected pixels, top row first
};

// Cases show by name in test output.
void PrintTo(const PreviewCase& c, std::ostream* os) { *os << c.name; }

std::vector<PreviewCase> PreviewCases() {
    std::vector<PreviewCase> cases;
    {
        BmpFields s;  // 2 x 2 bottom-up: stored bottom row first
        s.width = 2;
        s.height = 2;
        s.pixels = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0, 0,  //
                    0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0, 0};
        cases.push_back({"rgb",
                         s,
                         {},
                         "RGB",
                         {0x13, 0x12, 0x11, 255, 0x16, 0x15, 0x14, 255,  //
                          0x03, 0x02, 0x01, 255, 0x06, 0x05, 0x04, 255}});
    }
    {
        BmpFields s;
        s.width = 2;
        s.height = -1;
        s.bitCount = 32;
        s.pixels = {10, 20, 30, 40, 50, 60, 70, 0};
        cases.push_back({"rgba", s, {}, "RGBA", {30, 20, 10, 40, 70, 60, 50, 0}});
        cases.push_back({"rgba_made_opaque",
                         [&] {
                             BmpFields clear = s;
                             clear.pixels = {10, 20, 30, 0, 50, 60, 70, 0};
                             return clear;
                         }(),
                         {"--opaque", "yes"},
                         "RGBA",
                         {30, 20, 10, 255, 70, 60, 50, 255}});
    }
    {
        BmpFields s;
        s.width = 3;
        s.height = 1;
        s.bitCount = 8;
        s.palette = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
        s.clrUsed = 3;
        s.pixels = {2, 0, 1, 0};
        cases.push_back({"indexed8", s, {}, "P", {9, 8, 7, 255, 3, 2, 1, 255, 6, 5, 4, 255}});
    }
    {
        BmpFields s;
        s.width = 3;
        s.height = 1;
        s.bitCount = 4;
        s.palette = testsupport::TestPalette(16);
        s.pixels = {0xF3, 0x90, 0, 0};
        Bytes rgba;
        for (int i : {15, 3, 9}) {
            const tagRGBQUAD& e = s.palette[static_cast<std::size_t>(i)];
            rgba.insert(rgba.end(), {e.rgbRed, e.rgbGreen, e.rgbBlue, 255});
        }
        cases.push_back({"indexed4", s, {}, "P", rgba});
    }
    {
        BmpFields s;
        s.width = 9;
        s.height = 1;
        s.bitCount = 1;
        s.palette = {{0, 0, 255, 0}, {0, 255, 0, 0}};
        s.pixels = {0x81, 0x80, 0, 0};
        Bytes rgba;
        for (int bit : {1, 0, 0, 0, 0, 0, 0, 1, 1}) {
            const Bytes px = bit ? Bytes{0, 255, 0, 255} : Bytes{255, 0, 0, 255};
            rgba.insert(rgba.end(), px.begin(), px.end());
        }
        cases.push_back({"indexed1", s, {}, "P", rgba});
    }
    {
        BmpFields s;  // 16-bit words expand to 24-bit: 0x7C00 red, 0x001F blue
        s.width = 2;
        s.height = 1;
        s.bitCount = 16;
        s.pixels = {0x00, 0x7C, 0x1F, 0x00};
        cases.push_back({"rgb555", s, {}, "RGB", {255, 0, 0, 255, 0, 0, 255, 255}});
    }
    return cases;
}

class PreviewTest : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(PreviewTest, PillowSeesTheImportedPixels) {
    if (tooltest::PillowPython().empty()) GTEST_SKIP() << "no python3 with Pillow";
    const PreviewCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.Write("in.bmp", BuildBmp(c.fields));
    const std::string png = dir.File("preview.png");
    std::vector<std::string> args = {"import", in, "--png", png};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult run = Bmphost(args);
    ASSERT_EQ(run.status, 0) << run.err;

    PillowImage image;
    std::string error;
    ASSERT_TRUE(tooltest::ReadWithPillow(png, image, error)) << error;
    EXPECT_EQ(image.mode, c.mode);
    EXPECT_EQ(image.width, c.fields.width);
    EXPECT_EQ(image.height, std::abs(c.fields.height));
    EXPECT_EQ(tooltest::HexOf(image.rgba), tooltest::HexOf(c.rgba));
}

INSTANTIATE_TEST_SUITE_P(Cases, PreviewTest, ::testing::ValuesIn(PreviewCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Preview, UnwritablePreviewPathFailsTheCommand) {
    TempDir dir;
    BmpFields s;
    s.pixels = {1, 2, 3, 0};
    const std::string in = dir.Write("in.bmp", BuildBmp(s));
    const RunResult run = Bmphost({"import", in, "--png", dir.File("no/such/dir/p.png")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("error: cannot write", 0), 0u) << run.err;
}

}  // namespace
