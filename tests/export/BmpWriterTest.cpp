#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "ExportSupport.h"
#include "export/BmpWriter.h"
#include "support/BmpBuilder.h"

namespace {

using testsupport::Bytes;
using testsupport::ByteWriter;
using testsupport::FileExists;
using testsupport::ReadFileBytes;
using testsupport::TempDir;

BITMAPINFOHEADER Header(std::int32_t width, std::int32_t height, std::uint16_t bits,
                        std::uint32_t compression = 0, std::uint32_t clrUsed = 0,
                        std::uint32_t clrImportant = 0) {
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = compression;
    h.biXPelsPerMeter = 2835;
    h.biYPelsPerMeter = 1417;
    h.biClrUsed = clrUsed;
    h.biClrImportant = clrImportant;
    return h;
}

// Rows of `stride` bytes whose every byte tells its row and column.
std::vector<Bytes> PatternRows(int rows, std::size_t stride) {
    std::vector<Bytes> out;
    for (int r = 0; r < rows; ++r) {
        Bytes row;
        for (std::size_t c = 0; c < stride; ++c)
            row.push_back(static_cast<std::uint8_t>(0x10 * (r + 1) + c));
        out.push_back(row);
    }
    return out;
}

// Writes a whole file with the writer and reports whether every step worked.
bool WriteWhole(BmpWriter& writer, const std::string& path, const std::vector<Bytes>& rows) {
    if (!writer.Open(path.c_str())) return false;
    for (const Bytes& row : rows)
        if (!writer.WriteScanline(row.data())) return false;
    writer.Close();
    return true;
}

// The three examples of a 3 x 2 image, every header field spelled out.
TEST(BmpWriterExamples, ThreeByTwoAtOneEightAndTwentyFourBits) {
    struct Case {
        std::uint16_t bits;
        std::uint32_t stride, tableEntries, offBits, fileSize;
    };
    const Case cases[] = {
        {1, 4, 2, 62, 70},
        {8, 4, 256, 54 + 1024, 54 + 1024 + 8},
        {24, 12, 0, 54, 78},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        TempDir dir;
        const std::string path = dir.File("example.bmp");
        const auto table = testsupport::TestPalette(256);
        const auto rows = PatternRows(2, c.stride);
        BmpWriter writer;
        const BITMAPINFOHEADER header = Header(3, 2, c.bits);
        ASSERT_TRUE(writer.SetInfoHeader(&header));
        EXPECT_EQ(writer.GetRowStride(), static_cast<std::int32_t>(c.stride));
        if (c.tableEntries != 0) {
            ASSERT_TRUE(writer.SetColorTable(table.data()));
        }
        ASSERT_TRUE(WriteWhole(writer, path, rows));
        EXPECT_EQ(writer.GetStatus(), BmpFileStatus::Ok);

        ByteWriter expected;
        expected.Raw({'B', 'M'}).U32(c.fileSize).U16(0).U16(0).U32(c.offBits);
        expected.U32(40).I32(3).I32(2).U16(1).U16(c.bits).U32(0).U32(2 * c.stride);
        expected.I32(2835).I32(1417).U32(c.tableEntries).U32(c.tableEntries);
        for (std::uint32_t i = 0; i < c.tableEntries; ++i)
            expected.U8(table[i].rgbBlue).U8(table[i].rgbGreen).U8(table[i].rgbRed).U8(0);
        expected.Raw(rows[0]).Raw(rows[1]);
        ASSERT_EQ(expected.bytes().size(), c.fileSize);
        EXPECT_EQ(ReadFileBytes(path), expected.bytes());
    }
}

// How the writer completes a header, checked on whole files.
TEST(BmpWriterHeaders, CompletesDerivedFieldsAndWritesMatchingFile) {
    struct Case {
        const char* name;
        std::int32_t width, height;
        std::uint16_t bits, planes;
        std::uint32_t compression, clrUsed, clrImportant;
        // Expected in the file.
        std::uint32_t storedCompression, storedClrUsed, storedClrImportant;
        std::uint32_t tableEntriesWritten, offBits, fileSize;
    };
    const Case cases[] = {
        {"1 bit", 3, 2, 1, 1, 0, 0, 0, 0, 2, 2, 2, 62, 70},
        {"4 bits", 3, 2, 4, 1, 0, 0, 0, 0, 16, 16, 16, 118, 126},
        {"8 bits", 3, 2, 8, 1, 0, 0, 0, 0, 256, 256, 256, 1078, 1086},
        {"16 bits plain", 3, 2, 16, 1, 0, 0, 0, 0, 0, 0, 0, 54, 70},
        {"16 bits with masks", 3, 2, 16, 1, 3, 0, 0, 3, 0, 0, 0, 66, 82},
        {"24 bits", 3, 2, 24, 1, 0, 0, 0, 0, 0, 0, 0, 54, 78},
        {"24 bits drop bit fields", 3, 2, 24, 1, 3, 0, 0, 0, 0, 0, 0, 54, 78},
        {"32 bits", 3, 2, 32, 1, 0, 0, 0, 0, 0, 0, 0, 54, 78},
        {"run-length 8 stored plain", 3, 2, 8, 1, 1, 0, 0, 0, 256, 256, 256, 1078, 1086},
        {"run-length 4 stored plain", 3, 2, 4, 1, 2, 0, 0, 0, 16, 16, 16, 118, 126},
        {"unknown compression", 3, 2, 24, 1, 7, 0, 0, 0, 0, 0, 0, 54, 78},
        {"planes forced to 1", 3, 2, 24, 5, 0, 0, 0, 0, 0, 0, 0, 54, 78},
        {"caller's colour count kept", 3, 2, 8, 1, 0, 10, 0, 0, 10, 0, 10, 94, 102},
        {"caller's important count kept", 3, 2, 4, 1, 0, 0, 5, 0, 16, 5, 16, 118, 126},
        {"top-down rows", 3, -2, 24, 1, 0, 0, 0, 0, 0, 0, 0, 54, 78},
        {"colour count without table", 3, 2, 24, 1, 0, 5, 0, 0, 5, 0, 0, 54, 78},
        {"wide 1 bit", 33, 3, 1, 1, 0, 0, 0, 0, 2, 2, 2, 62, 86},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("h.bmp");
        BITMAPINFOHEADER header =
            Header(c.width, c.height, c.bits, c.compression, c.clrUsed, c.clrImportant);
        header.biPlanes = c.planes;
        header.biSizeImage = 12345;  // always recomputed
        BmpWriter writer;
        ASSERT_TRUE(writer.SetInfoHeader(&header));
        const auto table = testsupport::TestPalette(256);
        if (c.tableEntriesWritten != 0) {
            ASSERT_TRUE(writer.SetColorTable(table.data()));
        }
        const std::size_t stride = testsupport::StrideFor(c.width, c.bits);
        const int rowCount = c.height < 0 ? -c.height : c.height;
        const auto rows = PatternRows(rowCount, stride);
        ASSERT_TRUE(WriteWhole(writer, path, rows));

        ByteWriter expected;
        expected.Raw({'B', 'M'}).U32(c.fileSize).U16(0).U16(0).U32(c.offBits);
        expected.U32(40).I32(c.width).I32(c.height).U16(1).U16(c.bits).U32(c.storedCompression);
        expected.U32(static_cast<std::uint32_t>(stride * rowCount)).I32(2835).I32(1417);
        expected.U32(c.storedClrUsed).U32(c.storedClrImportant);
        if (c.storedCompression == 3) expected.U32(0xF800).U32(0x07E0).U32(0x001F);
        for (std::uint32_t i = 0; i < c.tableEntriesWritten; ++i)
            expected.U8(table[i].rgbBlue).U8(table[i].rgbGreen).U8(table[i].rgbRed).U8(0);
        for (const Bytes& row : rows) expected.Raw(row);
        ASSERT_EQ(expected.bytes().size(), c.fileSize);
        EXPECT_EQ(ReadFileBytes(path), expected.bytes());
    }
}

TEST(BmpWriterHeaders, RefusesHeadersItCannotStore) {
    struct Case {
        const char* name;
        BITMAPINFOHEADER header;
        BmpFileStatus status;
    };
    auto withSize = [](std::uint32_t size) {
        BITMAPINFOHEADER h = Header(3, 2, 24);
        h.biSize = size;
        return h;
    };
    BITMAPINFOHEADER badSizeAndDepth = withSize(12);
    badSizeAndDepth.biBitCount = 2;
    const Case cases[] = {
        {"core size", withSize(12), BmpFileStatus::InvalidHeader},
        {"larger header", withSize(108), BmpFileStatus::InvalidHeader},
        {"size checked before depth", badSizeAndDepth, BmpFileStatus::InvalidHeader},
        {"width 0", Header(0, 2, 24), BmpFileStatus::InvalidHeader},
        {"negative width", Header(-3, 2, 24), BmpFileStatus::InvalidHeader},
        {"height 0", Header(3, 0, 8), BmpFileStatus::InvalidHeader},
        {"depth 0", Header(3, 2, 0), BmpFileStatus::Unsupported},
        {"depth 2", Header(3, 2, 2), BmpFileStatus::Unsupported},
        {"depth 3", Header(3, 2, 3), BmpFileStatus::Unsupported},
        {"depth 15", Header(3, 2, 15), BmpFileStatus::Unsupported},
        {"depth 48", Header(3, 2, 48), BmpFileStatus::Unsupported},
        {"row too long for the stride", Header(0x7FFFFFFF, 1, 32), BmpFileStatus::InvalidHeader},
        {"pixels beyond a 32-bit size", Header(65536, 65536, 32), BmpFileStatus::InvalidHeader},
        {"pixels beyond a 32-bit size, top-down", Header(65536, -65536, 24),
         BmpFileStatus::InvalidHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpWriter writer;
        EXPECT_FALSE(writer.SetInfoHeader(&c.header));
        EXPECT_EQ(writer.GetStatus(), c.status);
        EXPECT_EQ(writer.GetRowStride(), 0) << "a refused header is not stored";

        // A refusal keeps the header accepted before it.
        const BITMAPINFOHEADER good = Header(5, 1, 8);
        ASSERT_TRUE(writer.SetInfoHeader(&good));
        EXPECT_FALSE(writer.SetInfoHeader(&c.header));
        EXPECT_EQ(writer.GetRowStride(), 8);
    }
    BmpWriter writer;
    EXPECT_FALSE(writer.SetInfoHeader(nullptr));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::InvalidHeader);
}

TEST(BmpWriterHeaders, LargestStorableImageIsAccepted) {
    // 65535 x 16384 at 32 bits is just under 4 GiB of pixels.
    BmpWriter writer;
    const BITMAPINFOHEADER header = Header(65535, 16384, 32);
    EXPECT_TRUE(writer.SetInfoHeader(&header));
    EXPECT_EQ(writer.GetRowStride(), 65535 * 4);
}

TEST(BmpWriterColourTable, RefusedWithoutHeaderOrUsableCount) {
    const auto table = testsupport::TestPalette(256);
    struct Case {
        const char* name;
        std::optional<BITMAPINFOHEADER> header;
        bool accepted;
    };
    const Case cases[] = {
        {"no header", std::nullopt, false},
        {"24 bits has no colours", Header(3, 2, 24), false},
        {"more than 256 colours", Header(3, 2, 8, 0, 300), false},
        {"1 bit", Header(3, 2, 1), true},
        {"256 colours", Header(3, 2, 8, 0, 256), true},
        {"caller's count", Header(3, 2, 8, 0, 7), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpWriter writer;
        if (c.header) {
            ASSERT_TRUE(writer.SetInfoHeader(&*c.header));
        }
        EXPECT_EQ(writer.SetColorTable(table.data()), c.accepted);
        EXPECT_EQ(writer.GetStatus(), c.accepted ? BmpFileStatus::Ok : BmpFileStatus::WrongState);
    }
}

TEST(BmpWriterStates, OpenWithoutHeaderCreatesNothing) {
    TempDir dir;
    const std::string path = dir.File("none.bmp");
    BmpWriter writer;
    EXPECT_FALSE(writer.Open(path.c_str()));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::WrongState);
    EXPECT_FALSE(FileExists(path));
    const Bytes row(4, 0);
    EXPECT_FALSE(writer.WriteScanline(row.data()));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::WrongState);
}

TEST(BmpWriterStates, TooManyColoursForTheTableCreatesNothing) {
    TempDir dir;
    const std::string path = dir.File("colours.bmp");
    BmpWriter writer;
    const BITMAPINFOHEADER header = Header(3, 2, 8, 0, 300);
    ASSERT_TRUE(writer.SetInfoHeader(&header));
    EXPECT_FALSE(writer.Open(path.c_str()));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::WrongState);
    EXPECT_FALSE(FileExists(path));
}

TEST(BmpWriterStates, OpenWhileOpenDeletesTheOpenFile) {
    TempDir dir;
    const std::string first = dir.File("first.bmp");
    const std::string second = dir.File("second.bmp");
    BmpWriter writer;
    const BITMAPINFOHEADER header = Header(3, 2, 24);
    ASSERT_TRUE(writer.SetInfoHeader(&header));
    ASSERT_TRUE(writer.Open(first.c_str()));
    ASSERT_TRUE(FileExists(first));
    EXPECT_FALSE(writer.Open(second.c_str()));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::WrongState);
    EXPECT_FALSE(FileExists(first));
    EXPECT_FALSE(FileExists(second));
    // Back in the ready state: the header is still accepted.
    EXPECT_TRUE(WriteWhole(writer, second, PatternRows(2, 12)));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::Ok);
    EXPECT_EQ(ReadFileBytes(second).size(), 78u);
}

TEST(BmpWriterStates, RowAfterTheLastDeletesTheCompleteFile) {
    for (std::int32_t height : {2, -2}) {
        SCOPED_TRACE(height);
        TempDir dir;
        const std::string path = dir.File("full.bmp");
        BmpWriter writer;
        const BITMAPINFOHEADER header = Header(3, height, 24);
        ASSERT_TRUE(writer.SetInfoHeader(&header));
        ASSERT_TRUE(writer.Open(path.c_str()));
        const auto rows = PatternRows(3, 12);
        EXPECT_TRUE(writer.WriteScanline(rows[0].data()));
        EXPECT_TRUE(writer.WriteScanline(rows[1].data()));
        EXPECT_EQ(ReadFileBytes(path).size(), 78u);
        EXPECT_FALSE(writer.WriteScanline(rows[2].data()));
        EXPECT_EQ(writer.GetStatus(), BmpFileStatus::WrongState);
        EXPECT_FALSE(FileExists(path));
    }
}

TEST(BmpWriterStates, EarlyCloseKeepsTheShortFile) {
    TempDir dir;
    const std::string path = dir.File("short.bmp");
    BmpWriter writer;
    const BITMAPINFOHEADER header = Header(3, 2, 24);
    ASSERT_TRUE(writer.SetInfoHeader(&header));
    ASSERT_TRUE(writer.Open(path.c_str()));
    const auto rows = PatternRows(1, 12);
    ASSERT_TRUE(writer.WriteScanline(rows[0].data()));
    writer.Close();
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::Ok);
    EXPECT_EQ(ReadFileBytes(path).size(), 66u);
    writer.Close();  // a second close changes nothing
    EXPECT_TRUE(FileExists(path));
}

TEST(BmpWriterStates, ReusedForAnotherFileAfterSuccessAndFailure) {
    TempDir dir;
    BmpWriter writer;
    const BITMAPINFOHEADER header = Header(3, 2, 24);
    ASSERT_TRUE(writer.SetInfoHeader(&header));
    const auto rows = PatternRows(2, 12);
    ASSERT_TRUE(WriteWhole(writer, dir.File("a.bmp"), rows));

    // A failed open is remembered until the next open starts afresh.
    EXPECT_FALSE(writer.Open(dir.File("missing/b.bmp").c_str()));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::OpenFailed);
    ASSERT_TRUE(WriteWhole(writer, dir.File("c.bmp"), rows));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::Ok);
    EXPECT_EQ(ReadFileBytes(dir.File("a.bmp")), ReadFileBytes(dir.File("c.bmp")));
    EXPECT_TRUE(FileExists(dir.File("a.bmp")));
}

TEST(BmpWriterStates, OpenInMissingDirectoryFails) {
    TempDir dir;
    const std::string path = dir.File("no/such/dir/x.bmp");
    BmpWriter writer;
    const BITMAPINFOHEADER header = Header(3, 2, 1);
    ASSERT_TRUE(writer.SetInfoHeader(&header));
    _doserrno = 0;
    EXPECT_FALSE(writer.Open(path.c_str()));
    EXPECT_EQ(writer.GetStatus(), BmpFileStatus::OpenFailed);
    EXPECT_EQ(_doserrno, testsupport::MissingDirectoryCode());
    EXPECT_FALSE(FileExists(path));
}

TEST(BmpWriterPaths, LongPathIsWrittenAndDeletedWhole) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows' runtime file calls stop at 260 characters";
#endif
    TempDir dir;
    const std::string longDir = exporttest::MakeLongDirectory(dir.path());
    const std::string path = longDir + "/" + std::string(120, 'p') + ".bmp";
    ASSERT_GT(path.size(), 500u);
    BmpWriter writer;
    const BITMAPINFOHEADER header = Header(3, 2, 24);
    ASSERT_TRUE(writer.SetInfoHeader(&header));
    const auto rows = PatternRows(3, 12);
    ASSERT_TRUE(WriteWhole(writer, path, {rows[0], rows[1]}));
    EXPECT_EQ(ReadFileBytes(path).size(), 78u);

    // The same path, failed: the writer must find it again to delete it.
    ASSERT_TRUE(writer.Open(path.c_str()));
    ASSERT_TRUE(writer.WriteScanline(rows[0].data()));
    ASSERT_TRUE(writer.WriteScanline(rows[1].data()));
    EXPECT_FALSE(writer.WriteScanline(rows[2].data()));
    EXPECT_FALSE(FileExists(path));
    // The short name of the same directory must not be touched.
    EXPECT_TRUE(FileExists(longDir));
}

#if !defined(_WIN32)
// Real write failures: the child's files may not grow past a limit (Linux only).
TEST(BmpWriterWriteFailures, HeadersThatCannotBeWrittenLeaveNoFile) {
    TempDir dir;
    const std::string path = dir.File("headers.bmp");
    const std::string result = exporttest::RunWithFileSizeLimit(100, [&] {
        BmpWriter writer;
        const BITMAPINFOHEADER header = Header(3, 2, 8);
        const auto table = testsupport::TestPalette(256);
        if (!writer.SetInfoHeader(&header) || !writer.SetColorTable(table.data()))
            return std::string("setup failed");
        _doserrno = 0;
        const bool opened = writer.Open(path.c_str());
        return std::string(opened ? "opened" : "refused") + " status " +
               std::to_string(static_cast<int>(writer.GetStatus())) + " errno " +
               std::to_string(_doserrno) + " exists " + (FileExists(path) ? "yes" : "no");
    });
    EXPECT_EQ(result, "refused status 2 errno " + std::to_string(EFBIG) + " exists no");
    EXPECT_FALSE(FileExists(path));
}

TEST(BmpWriterWriteFailures, RowThatCannotBeWrittenLeavesNoFile) {
    TempDir dir;
    const std::string path = dir.File("rows.bmp");
    // Room for the 62 header bytes and one 4-byte row of a 1-bit image.
    const std::string result = exporttest::RunWithFileSizeLimit(66, [&] {
        BmpWriter writer;
        const BITMAPINFOHEADER header = Header(3, 2, 1);
        const auto table = testsupport::TestPalette(2);
        if (!writer.SetInfoHeader(&header) || !writer.SetColorTable(table.data()) ||
            !writer.Open(path.c_str()))
            return std::string("setup failed");
        const auto rows = PatternRows(2, 4);
        std::string out = writer.WriteScanline(rows[0].data()) ? "first ok" : "first failed";
        const bool second = writer.WriteScanline(rows[1].data());
        out += second ? ", second ok" : ", second failed";
        out += " status " + std::to_string(static_cast<int>(writer.GetStatus()));
        out += " exists " + std::string(FileExists(path) ? "yes" : "no");
        return out;
    });
    EXPECT_EQ(result, "first ok, second failed status 2 exists no");
    EXPECT_FALSE(FileExists(path));
}
#endif

}  // namespace
