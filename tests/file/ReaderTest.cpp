// The reader's own contract, which the import uses only in part: the headers
// as it holds them, its states, and the row length rule.
#include <gtest/gtest.h>

#include <cstring>

#include "import/BmpReader.h"
#include "support/Plugin.h"

namespace {

using namespace testsupport;

// The information header as the reader holds it, every field, and the masks.
TEST(Reader, HeadersAsHeld) {
    BmpFields large;  // its first 40 bytes as stored, the masks after the whole of it
    large.headerSize = 124;
    large.bitCount = 16;
    large.compression = 3;
    large.sizeImage = 1234;
    large.clrUsed = 10;
    large.clrImportant = 7;
    large.masks = {0x7C00, 0x03E0, 0x001F};
    BmpFields indexed;  // both colour counts from the bit count
    indexed.bitCount = 8;
    indexed.palette.resize(256);
    const std::pair<BmpFields, bmp::BITMAPINFOHEADER> cases[] = {
        {large, {40, 1, 1, 1, 16, 3, 1234, 2835, 2835, 10, 7}},
        {indexed, {40, 1, 1, 1, 8, 0, 0, 2835, 2835, 256, 256}}};
    TempDir dir;
    for (const auto& [file, want] : cases) {
        BmpReader reader;
        ASSERT_TRUE(reader.OpenAndReadHeaders(dir.Write("h.bmp", BuildBmp(file)).c_str()));
        EXPECT_EQ(std::memcmp(reader.GetInfoHeader(), &want, sizeof want), 0) << want.biBitCount;
        const std::uint32_t* masks = reader.GetBitFieldMasks();
        EXPECT_EQ(std::vector<std::uint32_t>(masks, masks + 3),
                  file.masks.empty() ? std::vector<std::uint32_t>(3, 0) : file.masks);
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
    } rows[] = {{1, 1, 4},    {32, 1, 4},         {33, 1, 8},    {3, 3, 4},
                {9, 3, 8},    {3, 15, 8},         {32, 15, 64},  {7, 0, 0},
                {-100, 8, 0}, {0x7FFFFFFF, 2, 0}, {100, 24, 300}};
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
