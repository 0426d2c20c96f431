// The five-line description the host's file dialogs show.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ImportTestSupport.h"

namespace {

using importtest::ImportTest;
using testsupport::BmpFields;
using testsupport::BuildBmp;
using testsupport::Bytes;
using testsupport::TestPalette;

struct DescriptionCase {
    const char* name;
    std::int32_t width, height;
    std::uint16_t bitCount;
    std::uint32_t headerSize;
    std::uint32_t compression;
    const char* expected;
};
void PrintTo(const DescriptionCase& c, std::ostream* os) { *os << c.name; }

const DescriptionCase kCases[] = {
    {"TwentyFourBit", 640, 480, 24, 40, 0,
     "Microsoft BMP Image\r\nWidth:  640\r\nHeight:  480\r\nBit Depth:  24\r\n"
     "Color Format:  24-bit RGB\r\n"},
    {"TopDownKeepsTheSign", 640, -480, 24, 40, 0,
     "Microsoft BMP Image\r\nWidth:  640\r\nHeight:  -480\r\nBit Depth:  24\r\n"
     "Color Format:  24-bit RGB\r\n"},
    {"OneBit", 1, 1, 1, 40, 0,
     "Microsoft BMP Image\r\nWidth:  1\r\nHeight:  1\r\nBit Depth:  1\r\n"
     "Color Format:  monochrome\r\n"},
    {"FourBitRle", 33, 7, 4, 40, 2,
     "Microsoft BMP Image\r\nWidth:  33\r\nHeight:  7\r\nBit Depth:  4\r\n"
     "Color Format:  16 colors w/palette\r\n"},
    {"EightBit", 256, 2, 8, 124, 0,
     "Microsoft BMP Image\r\nWidth:  256\r\nHeight:  2\r\nBit Depth:  8\r\n"
     "Color Format:  256 colors w/palette\r\n"},
    {"FifteenBit", 3, 3, 15, 40, 0,
     "Microsoft BMP Image\r\nWidth:  3\r\nHeight:  3\r\nBit Depth:  15\r\n"
     "Color Format:  15-bit RGB\r\n"},
    {"SixteenBitFields", 5, 6, 16, 40, 3,
     "Microsoft BMP Image\r\nWidth:  5\r\nHeight:  6\r\nBit Depth:  16\r\n"
     "Color Format:  16-bit RGB\r\n"},
    {"ThirtyTwoBit", 2, 2, 32, 40, 0,
     "Microsoft BMP Image\r\nWidth:  2\r\nHeight:  2\r\nBit Depth:  32\r\n"
     "Color Format:  32-bit RGBA\r\n"},
    {"TwoBitIsUnknown", 4, 4, 2, 40, 0,
     "Microsoft BMP Image\r\nWidth:  4\r\nHeight:  4\r\nBit Depth:  2\r\n"
     "Color Format:  Unknown\r\n"},
    {"FortyEightBitIsUnknown", 4, 4, 48, 40, 0,
     "Microsoft BMP Image\r\nWidth:  4\r\nHeight:  4\r\nBit Depth:  48\r\n"
     "Color Format:  Unknown\r\n"},
    {"CoreHeader", 65535, 300, 8, 12, 0,
     "Microsoft BMP Image\r\nWidth:  65535\r\nHeight:  300\r\nBit Depth:  8\r\n"
     "Color Format:  256 colors w/palette\r\n"},
    {"MostNegativeHeightThatIsAccepted", 1, -2147483647, 24, 40, 0,
     "Microsoft BMP Image\r\nWidth:  1\r\nHeight:  -2147483647\r\nBit Depth:  24\r\n"
     "Color Format:  24-bit RGB\r\n"},
};

class Description : public ImportTest, public ::testing::WithParamInterface<DescriptionCase> {};

TEST_P(Description, FiveLinesReplaceTheText) {
    const DescriptionCase& c = GetParam();
    BmpFields s;
    s.width = c.width;
    s.height = c.height;
    s.bitCount = c.bitCount;
    s.headerSize = c.headerSize;
    s.compression = c.compression;
    if (c.bitCount <= 8) s.palette = TestPalette(1 << c.bitCount);
    if (c.compression == 3) s.masks = {0xF800, 0x07E0, 0x001F};
    std::string text = "previous text";
    EXPECT_TRUE(filter.GetFileDescription(WriteBmp(s).c_str(), text));
    EXPECT_EQ(text, c.expected);
    // Only headers are read; no progress, no question, no error.
    EXPECT_TRUE(manager.m_progress.empty());
    EXPECT_TRUE(manager.m_warnings.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, Description, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImportTest, DescriptionFailureLeavesTheTextAlone) {
    BmpFields planes;
    planes.planes = 2;
    BmpFields cutTable;
    cutTable.bitCount = 8;
    cutTable.palette = TestPalette(16);
    Bytes onlyFileHeader = BuildBmp(BmpFields{});
    onlyFileHeader.resize(14);
    const std::vector<std::string> paths = {
        dir.File("absent.bmp"),
        Write(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "a.gif"),
        Write(BuildBmp(planes), "planes.bmp"),
        Write(BuildBmp(cutTable), "cut.bmp"),
        Write(onlyFileHeader, "short.bmp"),
    };
    for (const std::string& path : paths) {
        std::string text = "kept";
        EXPECT_FALSE(filter.GetFileDescription(path.c_str(), text)) << path;
        EXPECT_EQ(text, "kept") << path;
    }
}

TEST_F(ImportTest, DescriptionLeavesTheImportReaderAlone) {
    BmpFields s;
    s.height = 2;
    s.pixels = Bytes(8, 3);
    const std::string path = WriteBmp(s);
    std::string text;
    // Interleaved with an import that is under way on the same filter.
    manager.m_progressHook = [&](const orix::ProgressEvent& event) {
        if (event.kind == orix::ProgressEvent::Proportion) {
            EXPECT_TRUE(filter.GetFileDescription(path.c_str(), text));
        }
        return true;
    };
    EXPECT_EQ(Import(path), orix::ImportNotDone);
    EXPECT_EQ(manager.m_importObjectCalls, 1);
    EXPECT_EQ(text.substr(0, 19), "Microsoft BMP Image");
}

}  // namespace
