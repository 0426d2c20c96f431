// The writer's own contract, which the export filter uses only in part: 16-bit
// files with masks, caller colour counts, compressions it drops, and the
// state rules. Reached through the class itself, as the filter reaches it.
#include <gtest/gtest.h>

#include <filesystem>

#include "export/BmpWriter.h"
#include "support/Plugin.h"

namespace {

using namespace testsupport;

bmp::BITMAPINFOHEADER Header(std::int32_t w, std::int32_t h, std::uint16_t bits,
                             std::uint32_t compression = 0, std::uint32_t colours = 0) {
    bmp::BITMAPINFOHEADER info{};
    info.biSize = 40;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 7;  // always stored as 1
    info.biBitCount = bits;
    info.biCompression = compression;
    info.biXPelsPerMeter = 11;
    info.biYPelsPerMeter = 22;
    info.biClrUsed = colours;
    return info;
}

struct FileCase {
    const char* name;
    bmp::BITMAPINFOHEADER header;
    BmpFields file;  // the expected file, pixels included
};

BmpFields Expect(std::int32_t w, std::int32_t h, std::uint16_t bits, std::uint32_t compression,
                 std::size_t rowBytes) {
    BmpFields f;
    f.width = w;
    f.height = h;
    f.bitCount = bits;
    f.compression = compression;
    f.xPelsPerMeter = 11;
    f.yPelsPerMeter = 22;
    f.pixels = Bytes(rowBytes * static_cast<std::size_t>(h < 0 ? -h : h), 0x5A);
    f.sizeImage = static_cast<std::uint32_t>(f.pixels.size());
    return f;
}

std::vector<FileCase> FileCases() {
    std::vector<FileCase> cases;
    BmpFields masks = Expect(3, 2, 16, 3, 8);
    masks.masks = {0xF800, 0x07E0, 0x001F};
    cases.push_back({"16 bits with masks", Header(3, 2, 16, 3), masks});
    cases.push_back({"16 bits, run-length dropped", Header(3, -2, 16, 1), Expect(3, -2, 16, 0, 8)});
    cases.push_back({"masks only at 16 bits", Header(1, 1, 24, 3), Expect(1, 1, 24, 0, 4)});
    BmpFields three = Expect(5, 1, 8, 0, 8);
    three.clrUsed = 3;
    three.palette = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    cases.push_back({"three colours of 8 bits", Header(5, 1, 8, 2, 3), three});
    return cases;
}

TEST(Writer, FilesByteForByte) {
    const tagRGBQUAD table[256] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    const Bytes row(64, 0x5A);
    TempDir dir;
    for (const FileCase& c : FileCases()) {
        SCOPED_TRACE(c.name);
        BmpWriter writer;
        EXPECT_EQ(writer.GetRowStride(), 0);
        ASSERT_TRUE(writer.SetInfoHeader(&c.header));
        if (c.header.biBitCount <= 8) {
            ASSERT_TRUE(writer.SetColorTable(table));
        }
        for (int pass = 0; pass < 2; ++pass) {  // a writer serves file after file
            const std::string path = dir.File("w" + std::to_string(pass) + ".bmp");
            ASSERT_TRUE(writer.Open(path.c_str()));
            const int rows = c.header.biHeight < 0 ? -c.header.biHeight : c.header.biHeight;
            for (int y = 0; y < rows; ++y) ASSERT_TRUE(writer.WriteScanline(row.data()));
            writer.Close();
            EXPECT_EQ(writer.GetStatus(), BmpFileStatus::Ok);
            EXPECT_EQ(ReadFileBytes(path), BuildBmp(c.file));
        }
    }
}

TEST(Writer, RefusalsAndStates) {
    TempDir dir;
    const std::string path = dir.File("w.bmp");
    const Bytes row(64, 0);
    const tagRGBQUAD table[256] = {};
    BmpWriter writer;
    EXPECT_FALSE(writer.Open(path.c_str()));  // no header yet
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::WrongState);
    EXPECT_FALSE(writer.SetColorTable(table));
    EXPECT_FALSE(std::filesystem::exists(path));

    const std::pair<bmp::BITMAPINFOHEADER, BmpFileStatus> refused[] = {
        {Header(0, 1, 2), BmpFileStatus::InvalidHeader},  // the size before the bit count
        {Header(1, 0, 8), BmpFileStatus::InvalidHeader},
        {Header(1, 1, 2), BmpFileStatus::Unsupported},
        {Header(1, 1, 0), BmpFileStatus::Unsupported},
        // Rows whose bits or whose file size leave 32 bits have no honest file.
        {Header(0x7FFFFFFF, 1, 24), BmpFileStatus::InvalidHeader},
        {Header(0x10000, 0x10000, 8), BmpFileStatus::InvalidHeader},
        // The largest file: 2^32 - 1 bytes with room for every header and table.
        {Header(1, 1073741552, 24), BmpFileStatus::InvalidHeader},
    };
    for (const auto& [header, status] : refused) {
        EXPECT_FALSE(writer.SetInfoHeader(&header));
        EXPECT_EQ(writer.GetStatus(), status);
    }
    bmp::BITMAPINFOHEADER wrongSize = Header(1, 1, 8);
    wrongSize.biSize = 41;
    EXPECT_FALSE(writer.SetInfoHeader(&wrongSize));
    EXPECT_EQ(writer.GetRowStride(), 0);
    const bmp::BITMAPINFOHEADER widest = Header(0x7FFFFFFF, 1, 1);  // 2^31 - 1 bits a row
    ASSERT_TRUE(writer.SetInfoHeader(&widest));
    EXPECT_EQ(writer.GetRowStride(), 0x10000000);
    const bmp::BITMAPINFOHEADER largest = Header(1, 1073741551, 24);
    EXPECT_TRUE(writer.SetInfoHeader(&largest));
    const bmp::BITMAPINFOHEADER many = Header(1, 1, 8, 0, 257);
    ASSERT_TRUE(writer.SetInfoHeader(&many));
    EXPECT_FALSE(writer.SetColorTable(table));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::WrongState);

    const bmp::BITMAPINFOHEADER two = Header(2, 2, 24);
    ASSERT_TRUE(writer.SetInfoHeader(&two));
    EXPECT_FALSE(writer.WriteScanline(row.data()));  // no file
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::WrongState);
    // Every failure with a file open deletes it.
    ASSERT_TRUE(writer.Open(path.c_str()));
    EXPECT_FALSE(writer.Open(path.c_str()));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::WrongState);
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(writer.Open(path.c_str()));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::Ok);
    EXPECT_TRUE(writer.WriteScanline(row.data()));
    EXPECT_TRUE(writer.WriteScanline(row.data()));
    EXPECT_FALSE(writer.WriteScanline(row.data()));
    EXPECT_FALSE(std::filesystem::exists(path));
    // Closed early without a failure, a short file stays.
    ASSERT_TRUE(writer.Open(path.c_str()));
    EXPECT_TRUE(writer.WriteScanline(row.data()));
    writer.Close();
    EXPECT_EQ(ReadFileBytes(path).size(), 54u + 8u);
}

}  // namespace
