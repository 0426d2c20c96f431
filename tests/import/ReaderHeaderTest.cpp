// The header reader: what it accepts and how it normalises the headers, what
// it refuses and with which status, row delivery and the probe.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ImportTestSupport.h"
#include "frame/BmpImportFilter.h"
#include "import/BmpReader.h"
#include "orix/IoManager.h"

namespace {

using importtest::Rows;
using testsupport::BmpFields;
using testsupport::BuildBmp;
using testsupport::Bytes;
using testsupport::ByteWriter;
using testsupport::TempDir;
using testsupport::TestPalette;

Bytes FirstRowBytes(BmpReader& reader) {
    Bytes row(static_cast<std::size_t>(ComputeRowStride(reader.GetInfoHeader())), 0xEE);
    EXPECT_TRUE(reader.ReadScanline(row.data()));
    return row;
}

bool SameEntry(const tagRGBQUAD& a, const tagRGBQUAD& b) {
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed;
}

// ---- Accepted header forms ------------------------------------------------

struct HeaderCase {
    const char* name;
    BmpFields fields;
    std::int32_t width, height;
    std::uint16_t bitCount;
    std::uint32_t clrUsed, clrImportant;
    std::vector<std::uint32_t> masks;  // expected; empty means all zero
    int tableEntries;                  // entries that must match fields.palette
    Bytes firstRow;                    // the first stored row, stride long
};
void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

BmpFields Fields(std::uint32_t headerSize, std::int32_t w, std::int32_t h, std::uint16_t bits) {
    BmpFields s;
    s.headerSize = headerSize;
    s.width = w;
    s.height = h;
    s.bitCount = bits;
    return s;
}

std::vector<HeaderCase> HeaderCases() {
    std::vector<HeaderCase> cases;
    {
        HeaderCase c{"Core4Bit", Fields(12, 3, 2, 4), 3, 2, 4, 16, 16, {}, 16, {}};
        c.fields.palette = TestPalette(16);
        c.fields.pixels = Rows({{0x12, 0x30}, {0x45, 0x60}}, 3, 4);
        c.firstRow = {0x12, 0x30, 0, 0};
        cases.push_back(c);
    }
    {
        // Widened without sign: a core height of 65535 is 65535 rows, bottom-up.
        HeaderCase c{"CoreHeight65535", Fields(12, 1, 65535, 24), 1, 65535, 24, 0, 0, {}, 0, {}};
        c.fields.pixels = {1, 2, 3, 0};
        c.firstRow = {1, 2, 3, 0};
        cases.push_back(c);
    }
    {
        HeaderCase c{"Info8BitDefaultTable", Fields(40, 2, 1, 8), 2, 1, 8, 256, 256, {}, 256, {}};
        c.fields.palette = TestPalette(256);
        c.fields.pixels = {7, 255, 0, 0};
        c.firstRow = {7, 255, 0, 0};
        cases.push_back(c);
    }
    {
        // A short table: the rows follow its three entries.
        HeaderCase c{"Info8BitThreeColours", Fields(40, 2, 1, 8), 2, 1, 8, 3, 0, {}, 3, {}};
        c.fields.clrUsed = 3;
        c.fields.palette = TestPalette(3);
        c.fields.pixels = {2, 1, 0, 0};
        c.firstRow = {2, 1, 0, 0};
        cases.push_back(c);
    }
    {
        HeaderCase c{"Info4BitKeepsImportant", Fields(40, 2, 1, 4), 2, 1, 4, 16, 5, {}, 16, {}};
        c.fields.clrImportant = 5;
        c.fields.palette = TestPalette(16);
        c.fields.pixels = {0xAB, 0, 0, 0};
        c.firstRow = {0xAB, 0, 0, 0};
        cases.push_back(c);
    }
    {
        // No table above 8 bits, whatever the colour count says.
        HeaderCase c{
            "Info24BitColourCountIgnored", Fields(40, 1, 1, 24), 1, 1, 24, 10, 0, {}, 0, {}};
        c.fields.clrUsed = 10;
        c.fields.pixels = {9, 8, 7, 0};
        c.firstRow = {9, 8, 7, 0};
        cases.push_back(c);
    }
    {
        HeaderCase c{"Info1BitTopDown", Fields(40, 9, -10, 1), 9, -10, 1, 2, 2, {}, 2, {}};
        c.fields.palette = TestPalette(2);
        c.fields.pixels = Bytes(40, 0);
        c.fields.pixels[0] = 0x80;
        c.fields.pixels[1] = 0x80;
        c.firstRow = {0x80, 0x80, 0, 0};
        cases.push_back(c);
    }
    {
        // The masks stand after the whole larger header, not after 40 bytes.
        HeaderCase c{"V4BitFields565",
                     Fields(108, 2, 1, 16),
                     2,
                     1,
                     16,
                     0,
                     0,
                     {0xF800, 0x07E0, 0x001F},
                     0,
                     {}};
        c.fields.compression = 3;
        c.fields.masks = {0xF800, 0x07E0, 0x001F};
        c.fields.pixels = {0x00, 0xF8, 0xE0, 0x07};
        c.firstRow = {0x00, 0xF8, 0xE0, 0x07};
        cases.push_back(c);
    }
    {
        HeaderCase c{"V5BitFields32",
                     Fields(124, 1, 1, 32),
                     1,
                     1,
                     32,
                     0,
                     0,
                     {0x00FF0000, 0x0000FF00, 0x000000FF},
                     0,
                     {}};
        c.fields.compression = 3;
        c.fields.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
        c.fields.pixels = {1, 2, 3, 4};
        c.firstRow = {1, 2, 3, 4};
        cases.push_back(c);
    }
    {
        HeaderCase c{"V5Palette8Bit", Fields(124, 1, 1, 8), 1, 1, 8, 256, 256, {}, 256, {}};
        c.fields.palette = TestPalette(256);
        c.fields.pixels = {200, 0, 0, 0};
        c.firstRow = {200, 0, 0, 0};
        cases.push_back(c);
    }
    {
        // Pixel data offset 0: the rows follow the table directly.
        HeaderCase c{"OffBitsZero", Fields(40, 2, 1, 8), 2, 1, 8, 4, 0, {}, 4, {}};
        c.fields.clrUsed = 4;
        c.fields.palette = TestPalette(4);
        c.fields.offBits = 0;
        c.fields.pixels = {3, 2, 0, 0};
        c.firstRow = {3, 2, 0, 0};
        cases.push_back(c);
    }
    {
        // A gap between the tables and the pixel data is passed over.
        HeaderCase c{"OffBitsAfterGap", Fields(40, 1, 1, 24), 1, 1, 24, 0, 0, {}, 0, {}};
        c.fields.offBits = 14 + 40 + 30;
        c.fields.pixels = {5, 6, 7, 0};
        c.firstRow = {5, 6, 7, 0};
        cases.push_back(c);
    }
    {
        // BI_RLE8 and BI_RLE4 at their own depths are accepted.
        HeaderCase c{"Rle8Header", Fields(40, 4, 1, 8), 4, 1, 8, 256, 256, {}, 256, {}};
        c.fields.compression = 1;
        c.fields.palette = TestPalette(256);
        c.fields.pixels = {4, 9, 0, 1};
        c.firstRow = {9, 9, 9, 9};
        cases.push_back(c);
    }
    return cases;
}

class ReaderHeaderForms : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ReaderHeaderForms, NormalisesHeaderAndFindsTablesAndRows) {
    const HeaderCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.Write("h.bmp", BuildBmp(c.fields));
    BmpReader reader;
    ASSERT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::Ok);

    const BITMAPINFOHEADER& info = *reader.GetInfoHeader();
    EXPECT_EQ(info.biSize, 40u);
    EXPECT_EQ(info.biWidth, c.width);
    EXPECT_EQ(info.biHeight, c.height);
    EXPECT_EQ(info.biPlanes, 1);
    EXPECT_EQ(info.biBitCount, c.bitCount);
    EXPECT_EQ(info.biClrUsed, c.clrUsed);
    EXPECT_EQ(info.biClrImportant, c.clrImportant);
    EXPECT_EQ(info.biXPelsPerMeter, c.fields.headerSize == 12 ? 0 : c.fields.xPelsPerMeter);

    std::vector<std::uint32_t> masks(reader.GetBitFieldMasks(), reader.GetBitFieldMasks() + 3);
    EXPECT_EQ(masks, c.masks.empty() ? std::vector<std::uint32_t>(3, 0) : c.masks);

    for (int i = 0; i < c.tableEntries; ++i)
        EXPECT_TRUE(SameEntry(reader.GetColorTable()[i], c.fields.palette[static_cast<size_t>(i)]))
            << "entry " << i;
    for (int i = c.tableEntries; i < 256; ++i)
        EXPECT_TRUE(SameEntry(reader.GetColorTable()[i], tagRGBQUAD{0, 0, 0, 0})) << "entry " << i;

    if (c.fields.compression == 1) {
        Bytes row(static_cast<std::size_t>(c.width), 0xEE);
        ASSERT_TRUE(reader.ReadScanline(row.data()));
        EXPECT_EQ(row, c.firstRow);
    } else {
        EXPECT_EQ(FirstRowBytes(reader), c.firstRow);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, ReaderHeaderForms, ::testing::ValuesIn(HeaderCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Refusals -------------------------------------------------------------

BmpFields Valid8Bit() {
    BmpFields s = Fields(40, 2, 2, 8);
    s.palette = TestPalette(256);
    s.pixels = Bytes(8, 1);
    return s;
}

Bytes Truncated(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

struct RefusalCase {
    const char* name;
    Bytes file;
    BmpFileStatus status;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

std::vector<RefusalCase> RefusalCases() {
    auto with = [](auto change) {
        BmpFields s = Valid8Bit();
        change(s);
        return BuildBmp(s);
    };
    const Bytes valid = BuildBmp(Valid8Bit());
    std::vector<RefusalCase> cases = {
        {"FileHeaderShort", Truncated(valid, 13), BmpFileStatus::IoError},
        {"EmptyFile", Bytes(), BmpFileStatus::IoError},
        {"SignatureReversed", with([](BmpFields& s) { s.signature = 0x424D; }),
         BmpFileStatus::BadFormat},
        // The three cut-short header reads leave the status at Ok.
        {"OnlyFileHeader", Truncated(valid, 14), BmpFileStatus::Ok},
        {"SizeFieldShort", Truncated(valid, 17), BmpFileStatus::Ok},
        {"CoreHeaderShort", Truncated(BuildBmp(Fields(12, 1, 1, 24)), 14 + 11), BmpFileStatus::Ok},
        {"InfoHeaderShort", Truncated(valid, 14 + 39), BmpFileStatus::Ok},
        {"HeaderSize39", with([](BmpFields& s) { s.headerSize = 39; }), BmpFileStatus::BadFormat},
        {"HeaderSize13", with([](BmpFields& s) { s.headerSize = 13; }), BmpFileStatus::BadFormat},
        {"HeaderSize0", with([](BmpFields& s) { s.headerSize = 0; }), BmpFileStatus::BadFormat},
        {"WidthZero", with([](BmpFields& s) { s.width = 0; }), BmpFileStatus::BadFormat},
        {"WidthNegative", with([](BmpFields& s) { s.width = -5; }), BmpFileStatus::BadFormat},
        {"HeightZero", with([](BmpFields& s) { s.height = 0; }), BmpFileStatus::BadFormat},
        {"HeightMostNegative",
         with([](BmpFields& s) { s.height = std::numeric_limits<std::int32_t>::min(); }),
         BmpFileStatus::BadFormat},
        // Width and size checks come before the plane check.
        {"WidthZeroAndTwoPlanes", with([](BmpFields& s) {
             s.width = 0;
             s.planes = 2;
         }),
         BmpFileStatus::BadFormat},
        {"TwoPlanes", with([](BmpFields& s) { s.planes = 2; }), BmpFileStatus::Unsupported},
        {"ZeroPlanes", with([](BmpFields& s) { s.planes = 0; }), BmpFileStatus::Unsupported},
        {"Compression4", with([](BmpFields& s) { s.compression = 4; }), BmpFileStatus::Unsupported},
        {"CompressionHuge", with([](BmpFields& s) { s.compression = 0xFFFFFFFF; }),
         BmpFileStatus::Unsupported},
        {"Rle8At4Bits", with([](BmpFields& s) {
             s.compression = 1;
             s.bitCount = 4;
             s.palette = TestPalette(16);
         }),
         BmpFileStatus::Unsupported},
        {"Rle8At1Bit", with([](BmpFields& s) {
             s.compression = 1;
             s.bitCount = 1;
             s.palette = TestPalette(2);
         }),
         BmpFileStatus::Unsupported},
        {"Rle4At8Bits", with([](BmpFields& s) { s.compression = 2; }), BmpFileStatus::Unsupported},
        {"Rle4At24Bits", with([](BmpFields& s) {
             s.compression = 2;
             s.bitCount = 24;
             s.palette.clear();
         }),
         BmpFileStatus::Unsupported},
        {"MasksShort",
         Truncated(with([](BmpFields& s) {
                       s.bitCount = 16;
                       s.compression = 3;
                       s.palette.clear();
                       s.masks = {0xF800, 0x07E0, 0x001F};
                   }),
                   14 + 40 + 11),
         BmpFileStatus::IoError},
        {"MasksShortAfterLargeHeader",
         Truncated(with([](BmpFields& s) {
                       s.headerSize = 124;
                       s.bitCount = 16;
                       s.compression = 3;
                       s.palette.clear();
                       s.masks = {0xF800, 0x07E0, 0x001F};
                   }),
                   14 + 124 + 8),
         BmpFileStatus::IoError},
        {"ColourTableShort", Truncated(valid, 14 + 40 + 1023), BmpFileStatus::IoError},
        {"CoreColourTableShort",
         Truncated(BuildBmp([] {
                       BmpFields s = Fields(12, 1, 1, 4);
                       s.palette = TestPalette(16);
                       return s;
                   }()),
                   14 + 12 + 47),
         BmpFileStatus::IoError},
        {"ColourCount257", with([](BmpFields& s) { s.clrUsed = 257; }), BmpFileStatus::BadFormat},
        {"ColourCountHugeAt1Bit", with([](BmpFields& s) {
             s.bitCount = 1;
             s.clrUsed = 0xFFFFFFFF;
         }),
         BmpFileStatus::BadFormat},
        // Row arithmetic beyond the signed 32-bit range.
        {"Width32BitRowTooLong", with([](BmpFields& s) {
             s.bitCount = 32;
             s.width = 1 << 26;
             s.palette.clear();
         }),
         BmpFileStatus::BadFormat},
        // 16-bit rows are imported as 24-bit ones, so the wider row counts.
        {"Width16BitExpandedTooLong", with([](BmpFields& s) {
             s.bitCount = 16;
             s.width = 89478486;
             s.palette.clear();
         }),
         BmpFileStatus::BadFormat},
        {"WidthHugeAt24Bits", with([](BmpFields& s) {
             s.bitCount = 24;
             s.width = std::numeric_limits<std::int32_t>::max();
             s.palette.clear();
         }),
         BmpFileStatus::BadFormat},
    };
    return cases;
}

class ReaderRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ReaderRefusals, FailWithStatusAndClose) {
    const RefusalCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.Write("r.bmp", c.file);
    BmpReader reader;
    EXPECT_FALSE(reader.OpenAndReadHeaders(path.c_str()));
    EXPECT_EQ(reader.GetStatus(), c.status);
    // Closed: a row cannot be read, and the reader opens the next file.
    std::uint8_t row[16];
    EXPECT_FALSE(reader.ReadScanline(row));
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::WrongState);
    const std::string good = dir.Write("good.bmp", BuildBmp(Valid8Bit()));
    EXPECT_TRUE(reader.OpenAndReadHeaders(good.c_str()));
}

INSTANTIATE_TEST_SUITE_P(Table, ReaderRefusals, ::testing::ValuesIn(RefusalCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderEdges, DimensionsJustInsideTheRangeAreAccepted) {
    TempDir dir;
    struct {
        std::uint16_t bits;
        std::int32_t width;
        std::int32_t height;
    } cases[] = {{32, (1 << 26) - 1, 1},
                 {16, 89478485, 1},
                 {1, std::numeric_limits<std::int32_t>::max(), 1},
                 {24, 1, std::numeric_limits<std::int32_t>::min() + 1}};
    for (const auto& c : cases) {
        BmpFields s = Fields(40, c.width, c.height, c.bits);
        if (c.bits == 1) s.palette = TestPalette(2);
        const std::string path = dir.Write("edge.bmp", BuildBmp(s));
        BmpReader reader;
        EXPECT_TRUE(reader.OpenAndReadHeaders(path.c_str())) << c.bits << " bits, " << c.width;
    }
}

TEST(ReaderEdges, MissingFileIsOpenFailed) {
    TempDir dir;
    BmpReader reader;
    EXPECT_FALSE(reader.OpenAndReadHeaders(dir.File("absent.bmp").c_str()));
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::OpenFailed);
}

// ---- Row delivery and state -----------------------------------------------

class ReaderRows : public ::testing::Test {
  protected:
    // Three 24-bit rows of width 1: 11.., 22.., 33.. in stored order.
    std::string ThreeRows(std::int32_t height = 3) {
        BmpFields s = Fields(40, 1, height, 24);
        s.pixels = Rows({{0x11, 0x11, 0x11}, {0x22, 0x22, 0x22}, {0x33, 0x33, 0x33}}, 1, 24);
        return dir.Write("rows.bmp", BuildBmp(s));
    }
    Bytes Next() {
        Bytes row(4, 0);
        if (!reader.ReadScanline(row.data())) return Bytes();
        return row;
    }
    TempDir dir;
    BmpReader reader;
};

TEST_F(ReaderRows, RowsComeInStoredOrderThenWrongStateClosesTheFile) {
    for (std::int32_t height : {3, -3}) {
        ASSERT_TRUE(reader.OpenAndReadHeaders(ThreeRows(height).c_str()));
        EXPECT_EQ(Next(), (Bytes{0x11, 0x11, 0x11, 0}));
        EXPECT_EQ(Next(), (Bytes{0x22, 0x22, 0x22, 0}));
        EXPECT_EQ(Next(), (Bytes{0x33, 0x33, 0x33, 0}));
        EXPECT_EQ(Next(), Bytes());
        EXPECT_EQ(reader.GetStatus(), BmpFileStatus::WrongState);
        // The file was closed by that failure: a new open succeeds.
    }
}

TEST_F(ReaderRows, ReadWithoutAFileIsWrongState) {
    EXPECT_EQ(Next(), Bytes());
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::WrongState);
}

TEST_F(ReaderRows, RewindDeliversTheFirstRowAgain) {
    ASSERT_TRUE(reader.OpenAndReadHeaders(ThreeRows().c_str()));
    Next();
    Next();
    reader.RewindToPixelData();
    EXPECT_EQ(Next(), (Bytes{0x11, 0x11, 0x11, 0}));
    EXPECT_EQ(Next(), (Bytes{0x22, 0x22, 0x22, 0}));
    EXPECT_EQ(Next(), (Bytes{0x33, 0x33, 0x33, 0}));
}

TEST_F(ReaderRows, RewindHonoursThePixelDataOffset) {
    BmpFields s = Fields(40, 1, 2, 24);
    s.offBits = 100;
    s.pixels = Rows({{1, 2, 3}, {4, 5, 6}}, 1, 24);
    ASSERT_TRUE(reader.OpenAndReadHeaders(dir.Write("off.bmp", BuildBmp(s)).c_str()));
    Next();
    reader.RewindToPixelData();
    EXPECT_EQ(Next(), (Bytes{1, 2, 3, 0}));
}

TEST_F(ReaderRows, RowCutShortIsIoErrorAndCloses) {
    Bytes file = BuildBmp([] {
        BmpFields s = Fields(40, 1, 2, 24);
        s.pixels = Rows({{1, 2, 3}, {4, 5, 6}}, 1, 24);
        return s;
    }());
    file.resize(file.size() - 1);
    ASSERT_TRUE(reader.OpenAndReadHeaders(dir.Write("cut.bmp", file).c_str()));
    EXPECT_EQ(Next(), (Bytes{1, 2, 3, 0}));
    EXPECT_EQ(Next(), Bytes());
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::IoError);
    EXPECT_EQ(Next(), Bytes());
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::WrongState);
}

TEST_F(ReaderRows, OpeningTwiceIsWrongStateAndClosesTheOpenFile) {
    const std::string path = ThreeRows();
    ASSERT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
    EXPECT_FALSE(reader.OpenAndReadHeaders(path.c_str()));
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::WrongState);
    EXPECT_EQ(Next(), Bytes());  // the first file went with it
    EXPECT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::Ok);
    EXPECT_EQ(Next(), (Bytes{0x11, 0x11, 0x11, 0}));
}

TEST_F(ReaderRows, ReopenAfterCloseStartsAfresh) {
    const std::string path = ThreeRows();
    ASSERT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
    Next();
    reader.Close();
    ASSERT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
    EXPECT_EQ(Next(), (Bytes{0x11, 0x11, 0x11, 0}));
}

TEST_F(ReaderRows, EntriesAFileDoesNotSupplyKeepTheirContents) {
    BmpFields full = Fields(40, 1, 1, 8);
    full.palette = TestPalette(256);
    full.pixels = Bytes(4, 0);
    ASSERT_TRUE(reader.OpenAndReadHeaders(dir.Write("full.bmp", BuildBmp(full)).c_str()));
    reader.Close();
    BmpFields two = Fields(40, 1, 1, 1);
    two.palette = {{9, 9, 9, 0}, {8, 8, 8, 0}};
    two.pixels = Bytes(4, 0);
    ASSERT_TRUE(reader.OpenAndReadHeaders(dir.Write("two.bmp", BuildBmp(two)).c_str()));
    EXPECT_TRUE(SameEntry(reader.GetColorTable()[0], two.palette[0]));
    EXPECT_TRUE(SameEntry(reader.GetColorTable()[1], two.palette[1]));
    for (int i = 2; i < 256; ++i)
        EXPECT_TRUE(SameEntry(reader.GetColorTable()[i], full.palette[static_cast<size_t>(i)]));
}

// ---- Probe ----------------------------------------------------------------

struct ProbeCase {
    const char* name;
    Bytes file;
    bool supported;
};
void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }

std::vector<ProbeCase> ProbeCases() {
    auto with = [](auto change) {
        BmpFields s = Valid8Bit();
        change(s);
        return BuildBmp(s);
    };
    const Bytes valid = BuildBmp(Valid8Bit());
    return {
        {"Valid", valid, true},
        {"Core", BuildBmp(Fields(12, 1, 1, 24)), true},
        {"LargeHeader", with([](BmpFields& s) { s.headerSize = 124; }), true},
        {"TopDown", with([](BmpFields& s) { s.height = -4; }), true},
        // The probe is loose: planes, compression, bit count and tables are
        // left to the import.
        {"TwoPlanes", with([](BmpFields& s) { s.planes = 2; }), true},
        {"Compression9", with([](BmpFields& s) { s.compression = 9; }), true},
        {"TwoBits", with([](BmpFields& s) { s.bitCount = 2; }), true},
        {"TableMissing", Truncated(valid, 14 + 40), true},
        {"OnlyFileHeader", Truncated(valid, 14), false},
        {"InfoHeaderShort", Truncated(valid, 14 + 39), false},
        {"Empty", Bytes(), false},
        {"NotBmp", with([](BmpFields& s) { s.signature = 0x5089; }), false},
        {"HeaderSize39", with([](BmpFields& s) { s.headerSize = 39; }), false},
        {"WidthZero", with([](BmpFields& s) { s.width = 0; }), false},
        {"HeightZero", with([](BmpFields& s) { s.height = 0; }), false},
    };
}

class ProbeSlot : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeSlot, AnswersAndLeavesNoStatus) {
    const ProbeCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.Write("p.bmp", c.file);
    orix::IoManager manager;
    BmpImportFilter filter(manager);
    EXPECT_EQ(filter.IsFileSupported(path.c_str()), c.supported);
    BmpReader reader;
    EXPECT_EQ(reader.ProbeFile(path.c_str()), c.supported);
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::Ok);
}

INSTANTIATE_TEST_SUITE_P(Table, ProbeSlot, ::testing::ValuesIn(ProbeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProbeSlotEdges, UnopenableNameIsNotSupported) {
    TempDir dir;
    orix::IoManager manager;
    BmpImportFilter filter(manager);
    EXPECT_FALSE(filter.IsFileSupported(dir.File("absent.bmp").c_str()));
}

TEST(ProbeSlotEdges, SuccessfulProbeClosesItsFile) {
    TempDir dir;
    const std::string path = dir.Write("p.bmp", BuildBmp(Valid8Bit()));
    BmpReader reader;
    ASSERT_TRUE(reader.ProbeFile(path.c_str()));
    // Closed, so the same reader can open the file for reading.
    EXPECT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
}

}  // namespace
