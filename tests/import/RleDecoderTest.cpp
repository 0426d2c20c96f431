// Run-length decoding, row by row through the reader: codes, clipping, pads,
// deltas that move across and down, streams that end early, hostile streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "import/BmpReader.h"
#include "support/BmpBuilder.h"

namespace {

using testsupport::BmpFields;
using testsupport::BuildBmp;
using testsupport::Bytes;
using testsupport::TempDir;
using testsupport::TestPalette;

constexpr std::uint8_t kSentinel = 0xCC;

std::size_t DecodedBytes(int bitCount, std::int32_t width) {
    return bitCount == 8
               ? static_cast<std::size_t>(width)
               : static_cast<std::size_t>(width) / 2 + static_cast<std::size_t>(width & 1);
}

Bytes RleFile(int bitCount, std::int32_t width, std::int32_t height, const Bytes& stream) {
    BmpFields s;
    s.width = width;
    s.height = height;
    s.bitCount = static_cast<std::uint16_t>(bitCount);
    s.compression = bitCount == 8 ? 1 : 2;
    s.palette = TestPalette(1 << bitCount);
    s.pixels = stream;
    return BuildBmp(s);
}

// Decodes every row of the file. Each row is decoded into a buffer that is
// one byte longer than the row; that byte must never be touched. The buffer
// is not cleared between rows, as the import driver does not clear it.
std::vector<Bytes> DecodeRows(int bitCount, std::int32_t width, std::int32_t height,
                              const Bytes& stream) {
    TempDir dir;
    const std::string path = dir.Write("rle.bmp", RleFile(bitCount, width, height, stream));
    BmpReader reader;
    EXPECT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
    const std::size_t length = DecodedBytes(bitCount, width);
    Bytes buffer(length + 1, 0x5A);
    buffer[length] = kSentinel;
    std::vector<Bytes> rows;
    const std::int32_t count = height < 0 ? -height : height;
    for (std::int32_t i = 0; i < count; ++i) {
        EXPECT_TRUE(reader.ReadScanline(buffer.data())) << "row " << i;
        EXPECT_EQ(buffer[length], kSentinel) << "wrote past row " << i;
        rows.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
    }
    std::uint8_t extra[64];
    EXPECT_FALSE(reader.ReadScanline(extra));
    EXPECT_EQ(reader.GetStatus(), BmpFileStatus::WrongState);
    return rows;
}

struct RleCase {
    const char* name;
    int bitCount;
    std::int32_t width;
    Bytes stream;
    std::vector<Bytes> rows;  // stored order; the height is their count
};
void PrintTo(const RleCase& c, std::ostream* os) { *os << c.name; }

class RleRows : public ::testing::TestWithParam<RleCase> {};

TEST_P(RleRows, DecodeAsStored) {
    const RleCase& c = GetParam();
    EXPECT_EQ(DecodeRows(c.bitCount, c.width, static_cast<std::int32_t>(c.rows.size()), c.stream),
              c.rows);
}

const std::vector<RleCase> kRle8Cases = {
    {"EncodedAndAbsoluteWithPad",
     8,
     6,
     {0x03, 0x05, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00},
     {{0x05, 0x05, 0x05, 0x01, 0x02, 0x03}}},
    {"EncodedRunClippedAtRowEnd",
     8,
     4,
     {0x06, 0x07, 0x00, 0x00, 0x01, 0x02},
     {{7, 7, 7, 7}, {2, 0, 0, 0}}},
    // All five data bytes are read, the fifth dropped, then the pad.
    {"AbsoluteRunClippedKeepsStreamInStep",
     8,
     4,
     {0x00, 0x05, 0x01, 0x02, 0x03, 0x04, 0x05, 0x00, 0x00, 0x00, 0x01, 0x09},
     {{1, 2, 3, 4}, {9, 0, 0, 0}}},
    {"EvenAbsoluteRunHasNoPad",
     8,
     6,
     {0x00, 0x04, 0x01, 0x02, 0x03, 0x04, 0x02, 0x08},
     {{1, 2, 3, 4, 8, 8}}},
    {"StartsWithEndOfLine", 8, 2, {0x00, 0x00, 0x02, 0x06}, {{0, 0}, {6, 6}}},
    {"RowsAfterEndOfLineStartAtColumnZero",
     8,
     3,
     {0x01, 0x01, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00},
     {{1, 0, 0}, {2, 0, 0}}},
    // End of bitmap ends the row only; what follows is decoded.
    {"EndOfBitmapIsNotRemembered", 8, 2, {0x00, 0x01, 0x02, 0x05}, {{0, 0}, {5, 5}}},
    {"EndOfBitmapThenEndOfFile", 8, 2, {0x00, 0x01}, {{0, 0}, {0, 0}, {0, 0}}},
    {"DeltaAcross", 8, 5, {0x00, 0x02, 0x03, 0x00, 0x01, 0x09}, {{0, 0, 0, 9, 0}}},
    {"DeltaAcrossPastTheRowDropsTheRest",
     8,
     3,
     {0x00, 0x02, 0x09, 0x00, 0x02, 0x05, 0x00, 0x00, 0x01, 0x04},
     {{0, 0, 0}, {4, 0, 0}}},
    // Down one row: the rest of this row stays 0, decoding resumes at x + dx.
    {"DeltaDownOneRow",
     8,
     4,
     {0x01, 0x05, 0x00, 0x02, 0x01, 0x01, 0x01, 0x07, 0x00, 0x00},
     {{5, 0, 0, 0}, {0, 0, 7, 0}, {0, 0, 0, 0}}},
    {"DeltaDownSkipsRowsWithoutReading",
     8,
     3,
     {0x02, 0x01, 0x00, 0x02, 0x00, 0x03, 0x01, 0x02, 0x00, 0x00, 0x01, 0x03},
     {{1, 1, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 2}, {3, 0, 0}}},
    {"DeltaDownBeyondTheLastRow",
     8,
     2,
     {0x01, 0x01, 0x00, 0x02, 0x00, 0x09, 0x02, 0x02},
     {{1, 0}, {0, 0}, {0, 0}}},
    {"DeltaDownResumesPastTheRow",
     8,
     3,
     {0x00, 0x02, 0x05, 0x01, 0x02, 0x07, 0x00, 0x00, 0x01, 0x06},
     {{0, 0, 0}, {0, 0, 0}, {6, 0, 0}}},
    {"SecondByteMissing", 8, 3, {0x02}, {{0, 0, 0}, {0, 0, 0}}},
    {"DeltaCutShort", 8, 3, {0x01, 0x04, 0x00, 0x02, 0x01}, {{4, 0, 0}, {0, 0, 0}}},
    {"AbsoluteRunCutShort", 8, 4, {0x00, 0x04, 0x01, 0x02}, {{1, 2, 0, 0}, {0, 0, 0, 0}}},
    {"NoEndOfLineRunsOnIntoTheNextRowsCode",
     8,
     2,
     {0x01, 0x03, 0x01, 0x04, 0x00, 0x00, 0x01, 0x08},
     {{3, 4}, {8, 0}}},
};

const std::vector<RleCase> kRle4Cases = {
    {"EncodedThenAbsoluteOddCount",
     4,
     7,
     {0x03, 0x12, 0x00, 0x03, 0x34, 0x50, 0x00, 0x00},
     {{0x12, 0x13, 0x45, 0x00}}},
    {"DeltaToOddColumn", 4, 4, {0x00, 0x02, 0x01, 0x00, 0x02, 0xAB, 0x00, 0x00}, {{0x0A, 0xB0}}},
    // The nibble taken follows the run, the nibble written follows the column.
    {"EvenRunFromOddColumn",
     4,
     8,
     {0x01, 0xA0, 0x04, 0xBC, 0x00, 0x00},
     {{0xAB, 0xCB, 0xC0, 0x00}}},
    {"OddRunFromOddColumn", 4, 8, {0x01, 0xA0, 0x03, 0xBC, 0x00, 0x00}, {{0xAB, 0xCB, 0x00, 0x00}}},
    {"OddRunFromEvenColumn", 4, 8, {0x05, 0xBC, 0x00, 0x00}, {{0xBC, 0xBC, 0xB0, 0x00}}},
    {"LongRunFromOddColumn",
     4,
     9,
     {0x01, 0x10, 0x08, 0x23, 0x00, 0x00},
     {{0x12, 0x32, 0x32, 0x32, 0x30}}},
    {"RunClippedAtOddWidth", 4, 5, {0x09, 0xDE, 0x00, 0x00}, {{0xDE, 0xDE, 0xD0}}},
    {"RunClippedAtOddWidthFromOddColumn",
     4,
     5,
     {0x01, 0x10, 0x09, 0xDE, 0x00, 0x00},
     {{0x1D, 0xED, 0xE0}}},
    {"AbsoluteFromOddColumn",
     4,
     8,
     {0x01, 0xA0, 0x00, 0x03, 0x12, 0x30, 0x00, 0x00},
     {{0xA1, 0x23, 0x00, 0x00}}},
    // All three data bytes and the pad are read although the row is full.
    {"AbsoluteClippedKeepsStreamInStep",
     4,
     3,
     {0x00, 0x06, 0x12, 0x34, 0x56, 0x00, 0x00, 0x00, 0x01, 0x70},
     {{0x12, 0x30}, {0x70, 0x00}}},
    // A row that ends early clears the nibble of its last pixel.
    {"ShortRowClearsEarlierPixels",
     4,
     5,
     {0x05, 0x77, 0x00, 0x00, 0x02, 0x12, 0x00, 0x00},
     {{0x77, 0x77, 0x70}, {0x12, 0x00, 0x00}}},
    {"DeltaDownToOddColumn",
     4,
     4,
     {0x01, 0x30, 0x00, 0x02, 0x02, 0x01, 0x01, 0x90, 0x00, 0x00},
     {{0x30, 0x00}, {0x00, 0x09}}},
    {"EndOfBitmapThenEndOfFile", 4, 3, {0x00, 0x01}, {{0, 0}, {0, 0}}},
    {"AbsoluteCutShort", 4, 4, {0x00, 0x04, 0x12}, {{0x12, 0x00}, {0x00, 0x00}}},
};

INSTANTIATE_TEST_SUITE_P(Rle8, RleRows, ::testing::ValuesIn(kRle8Cases),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Rle4, RleRows, ::testing::ValuesIn(kRle4Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Absolute runs carry a pad byte exactly when their data bytes are odd in
// number: the code after the run must be found whatever the run length.
TEST(RleAbsoluteRuns, PadBytesByRunLength) {
    struct {
        int bitCount;
        int length;
        bool pad;
    } cases[] = {{4, 3, false}, {4, 4, false}, {4, 5, true},  {4, 6, true}, {4, 7, false},
                 {4, 8, false}, {4, 9, true},  {4, 10, true}, {8, 3, true}, {8, 4, false},
                 {8, 5, true},  {8, 6, false}, {8, 7, true},  {8, 8, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bitCount) + "-bit run of " + std::to_string(c.length));
        Bytes stream = {0x00, static_cast<std::uint8_t>(c.length)};
        std::vector<int> pixels;
        for (int j = 0; j < c.length; ++j) pixels.push_back(1 + j);
        if (c.bitCount == 8) {
            for (int p : pixels) stream.push_back(static_cast<std::uint8_t>(p));
        } else {
            for (int j = 0; j < c.length; j += 2)
                stream.push_back(static_cast<std::uint8_t>((pixels[j] << 4) |
                                                           (j + 1 < c.length ? pixels[j + 1] : 0)));
        }
        if (c.pad) stream.push_back(0x00);
        // Then one pixel of value 15 and the end of the line.
        stream.insert(stream.end(),
                      {0x01, static_cast<std::uint8_t>(c.bitCount == 8 ? 15 : 0xF0), 0x00, 0x00});
        pixels.push_back(15);
        const std::int32_t width = 12;
        Bytes expected(DecodedBytes(c.bitCount, width), 0);
        for (std::size_t x = 0; x < pixels.size(); ++x) {
            if (c.bitCount == 8)
                expected[x] = static_cast<std::uint8_t>(pixels[x]);
            else
                expected[x / 2] |= static_cast<std::uint8_t>(pixels[x] << ((x & 1) ? 0 : 4));
        }
        EXPECT_EQ(DecodeRows(c.bitCount, width, 1, stream), std::vector<Bytes>{expected});
    }
}

// ---- Carried state is reset -------------------------------------------------

TEST(RleState, RewindForgetsAPendingMoveDown) {
    TempDir dir;
    const Bytes stream = {0x01, 0x04, 0x00, 0x02, 0x00, 0x02, 0x01, 0x06, 0x00, 0x00};
    const std::string path = dir.Write("d.bmp", RleFile(8, 2, 3, stream));
    BmpReader reader;
    ASSERT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
    std::uint8_t row[2];
    ASSERT_TRUE(reader.ReadScanline(row));  // leaves one row to pass over
    reader.RewindToPixelData();
    ASSERT_TRUE(reader.ReadScanline(row));
    EXPECT_EQ(Bytes(row, row + 2), (Bytes{4, 0}));
}

TEST(RleState, OpeningAnotherFileForgetsAPendingMoveDown) {
    TempDir dir;
    const std::string moving =
        dir.Write("m.bmp", RleFile(8, 2, 3, {0x00, 0x02, 0x01, 0x02, 0x01, 0x06}));
    const std::string plain = dir.Write("p.bmp", RleFile(8, 2, 1, {0x02, 0x03}));
    BmpReader reader;
    ASSERT_TRUE(reader.OpenAndReadHeaders(moving.c_str()));
    std::uint8_t row[2];
    ASSERT_TRUE(reader.ReadScanline(row));
    reader.Close();
    ASSERT_TRUE(reader.OpenAndReadHeaders(plain.c_str()));
    ASSERT_TRUE(reader.ReadScanline(row));
    EXPECT_EQ(Bytes(row, row + 2), (Bytes{3, 3}));
}

// ---- Hostile streams ---------------------------------------------------------

// Pseudo-random streams biased towards escape codes, decoded into buffers of
// exactly the row's length (the sanitizer build checks every access) and
// into guarded ones: every row is delivered and nothing outside is written.
TEST(RleHostile, RandomStreamsStayInsideTheRow) {
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<std::uint8_t>(seed >> 24);
    };
    for (int round = 0; round < 200; ++round) {
        const int bitCount = (round & 1) ? 4 : 8;
        const std::int32_t width = 1 + round % 13;
        Bytes stream;
        for (int i = 0; i < 400; ++i) {
            const std::uint8_t b = next();
            stream.push_back(b < 90 ? 0 : b);
            stream.push_back(b < 90 ? static_cast<std::uint8_t>(b % 5) : next());
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const auto rows = DecodeRows(bitCount, width, 7, stream);
        ASSERT_EQ(rows.size(), 7u);
        if (bitCount == 4 && (width & 1)) {
            // The missing column of an odd width is never written.
            for (const Bytes& row : rows) EXPECT_EQ(row.back() & 0x0F, 0);
        }

        TempDir dir;
        const std::string path = dir.Write("h.bmp", RleFile(bitCount, width, 7, stream));
        BmpReader reader;
        ASSERT_TRUE(reader.OpenAndReadHeaders(path.c_str()));
        Bytes exact(DecodedBytes(bitCount, width));
        for (int i = 0; i < 7; ++i) ASSERT_TRUE(reader.ReadScanline(exact.data()));
    }
}

TEST(RleHostile, ManyDeltasAcrossNeverMovePastTheRow) {
    Bytes stream;
    for (int i = 0; i < 20000; ++i) stream.insert(stream.end(), {0x00, 0x02, 0xFF, 0x00});
    stream.insert(stream.end(), {0x03, 0x07, 0x00, 0x00, 0x01, 0x02});
    EXPECT_EQ(DecodeRows(8, 3, 2, stream), (std::vector<Bytes>{{0, 0, 0}, {2, 0, 0}}));
}

}  // namespace
