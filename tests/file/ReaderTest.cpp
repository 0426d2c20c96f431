// The reader's own contract, which the import uses only in part: the headers
// and tables as it holds them, its states, and the row length rule.
#include <gtest/gtest.h>

#include <cstring>

#include "import/BmpReader.h"
#include "support/Plugin.h"

namespace {

using namespace testsupport;

TEST(Reader, HeadersAndTablesAsHeld) {
    BmpFields large;  // a larger header: its first 40 bytes, then the masks after it
    large.headerSize = 124;
    large.bitCount = 16;
    large.compression = 3;
    large.sizeImage = 1234;
    large.clrUsed = 10;
    large.clrImportant = 7;
    large.masks = {0x7C00, 0x03E0, 0x001F};
    BmpFields core;  // widened: unsigned height, 3-byte entries, the default count
    core.headerSize = 12;
    core.width = 3;
    core.height = 0xFFFF;
    core.bitCount = 4;
    core.palette = std::vector<tagRGBQUAD>(16, {4, 5, 6, 0});
    core.palette[0] = {1, 2, 3, 0};
    BmpFields indexed;
    indexed.bitCount = 8;
    indexed.palette = std::vector<tagRGBQUAD>(256, {9, 8, 7, 6});
    TempDir dir;
    const struct {
        BmpFields file;
        std::uint32_t sizeImage, clrUsed, clrImportant;
        std::int32_t height;
    } cases[] = {{large, 1234, 10, 7, 1}, {core, 0, 16, 16, 0xFFFF}, {indexed, 0, 256, 256, 1}};
    for (const auto& c : cases) {
        BmpReader reader;
        SCOPED_TRACE(c.file.headerSize);
        ASSERT_TRUE(reader.OpenAndReadHeaders(dir.Write("h.bmp", BuildBmp(c.file)).c_str()));
        const bmp::BITMAPINFOHEADER& info = *reader.GetInfoHeader();
        EXPECT_EQ(info.biSize, 40u);
        EXPECT_EQ(info.biWidth, c.file.width);
        EXPECT_EQ(info.biHeight, c.height);
        EXPECT_EQ(info.biBitCount, c.file.bitCount);
        EXPECT_EQ(info.biSizeImage, c.sizeImage);
        EXPECT_EQ(info.biClrUsed, c.clrUsed);
        EXPECT_EQ(info.biClrImportant, c.clrImportant);
        std::vector<std::uint32_t> masks(reader.GetBitFieldMasks(), reader.GetBitFieldMasks() + 3);
        EXPECT_EQ(masks, c.file.masks.empty() ? std::vector<std::uint32_t>(3, 0) : c.file.masks);
        for (std::size_t i = 0; i < c.file.palette.size(); ++i) {
            tagRGBQUAD want = c.file.palette[i];
            if (c.file.headerSize == 12) want.rgbReserved = 0;
            EXPECT_EQ(std::memcmp(&reader.GetColorTable()[i], &want, 4), 0) << i;
        }
    }
}

TEST(Reader, States) {
    BmpFields fields;
    fields.height = 2;
    fields.pixels = {1, 2, 3, 0, 4, 5, 6, 0};
    TempDir dir;
    const std::string path = dir.Write("s.bmp", BuildBmp(fields));
    BmpReader reader;
    std::uint8_t row[4] = {};
    ASSERT_TRUE(reader.ProbeFile(path.c_str()));  // which leaves the file closed
    EXPECT_FALSE(reader.ReadScanline(row));
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::WrongState);
    ASSERT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
    EXPECT_TRUE(reader.ReadScanline(row));
    reader.RewindToPixelData();
    for (const std::uint8_t first : {1, 4}) {
        ASSERT_TRUE(reader.ReadScanline(row));
        EXPECT_EQ(row[0], first);
    }
    EXPECT_FALSE(reader.ReadScanline(row));  // past the last row: refused and closed
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::WrongState);
    EXPECT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
}

TEST(Reader, RowStride) {
    const struct {
        std::int32_t width;
        std::uint16_t bits, stride;
    } rows[] = {{1, 1, 4},    {32, 1, 4}, {33, 1, 8},   {9, 4, 8},
                {3, 3, 4},    {9, 3, 8},  {5, 8, 8},    {3, 15, 8},
                {32, 15, 64}, {3, 16, 8}, {5, 24, 16},  {100, 24, 300},
                {3, 32, 12},  {7, 0, 0},  {-100, 8, 0}, {0x7FFFFFFF, 2, 0}};
    for (const auto& r : rows) {
        bmp::BITMAPINFOHEADER info{};
        info.biSize = 40;
        info.biWidth = r.width;
        info.biBitCount = r.bits;
        EXPECT_EQ(bmp::ComputeRowStride(&info), r.stride) << r.width << " x " << r.bits;
        info.biSize = 12;
        EXPECT_EQ(bmp::ComputeRowStride(&info), 0);
    }
    EXPECT_EQ(bmp::ComputeRowStride(nullptr), 0);
}

}  // namespace
