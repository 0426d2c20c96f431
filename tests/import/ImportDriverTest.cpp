// The import slot: formats, rows and their order, 16-bit expansion, progress,
// the transparency question, the result, errors and clean-up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "ImportTestSupport.h"
#include "orix/IoException.h"
#include "orix/IoManager.h"
#include "orix/TrImage.h"
#include "tamb/SystemError.h"

namespace {

using importtest::ImageRow;
using importtest::ImportTest;
using importtest::Rows;
using testsupport::BmpFields;
using testsupport::BuildBmp;
using testsupport::Bytes;
using testsupport::TestPalette;
using Kind = orix::ProgressEvent::Kind;

const char kQuestion[] =
    "While importing the requested file, a 32 bit-per-pixel image was encountered that is either "
    "100% transparent or contains no valid transparency information.  This may render the image "
    "completely invisible when drawn on the screen. \n\nShould this image be converted to opaque "
    "instead of transparent? \n";

BmpFields Picture(std::int32_t w, std::int32_t h, std::uint16_t bits) {
    BmpFields s;
    s.width = w;
    s.height = h;
    s.bitCount = bits;
    s.xPelsPerMeter = 1234;
    s.yPelsPerMeter = 5678;
    if (bits <= 8) s.palette = TestPalette(1 << bits);
    return s;
}

// ---- Formats and rows -----------------------------------------------------

struct FormatCase {
    const char* name;
    BmpFields fields;
    tamb::ColorFormat format;
    int rowBytes;
    std::vector<Bytes> imageRows;  // top to bottom, rowBytes each
};
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

std::vector<FormatCase> FormatCases() {
    std::vector<FormatCase> cases;
    {
        FormatCase c{"OneBitBottomUp", Picture(10, 2, 1), tamb::ColorIndexed1, 4, {}};
        c.fields.pixels = Rows({{0xA5, 0x40}, {0x5A, 0x80}}, 10, 1);
        c.imageRows = {{0x5A, 0x80, 0, 0}, {0xA5, 0x40, 0, 0}};
        cases.push_back(c);
    }
    {
        FormatCase c{"FourBitTopDown", Picture(5, -2, 4), tamb::ColorIndexed4, 4, {}};
        c.fields.pixels = Rows({{0x01, 0x23, 0x40}, {0xFE, 0xDC, 0xB0}}, 5, 4);
        c.imageRows = {{0x01, 0x23, 0x40, 0}, {0xFE, 0xDC, 0xB0, 0}};
        cases.push_back(c);
    }
    {
        // The stored padding of an uncompressed row reaches the image as it is.
        FormatCase c{"EightBitKeepsStoredPadding", Picture(3, 3, 8), tamb::ColorIndexed8, 4, {}};
        c.fields.pixels = {1, 2, 3, 0xEE, 4, 5, 6, 0xEE, 7, 8, 9, 0xEE};
        c.imageRows = {{7, 8, 9, 0xEE}, {4, 5, 6, 0xEE}, {1, 2, 3, 0xEE}};
        cases.push_back(c);
    }
    {
        FormatCase c{"EightBitCoreHeader", Picture(2, 2, 8), tamb::ColorIndexed8, 4, {}};
        c.fields.headerSize = 12;
        c.fields.pixels = Rows({{10, 11}, {12, 13}}, 2, 8);
        c.imageRows = {{12, 13, 0, 0}, {10, 11, 0, 0}};
        cases.push_back(c);
    }
    {
        FormatCase c{"TwentyFourBit", Picture(2, 2, 24), tamb::ColorBgr24, 8, {}};
        c.fields.pixels = Rows({{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}, 2, 24);
        c.imageRows = {{7, 8, 9, 10, 11, 12, 0, 0}, {1, 2, 3, 4, 5, 6, 0, 0}};
        cases.push_back(c);
    }
    {
        FormatCase c{
            "TwentyFourBitOffsetZeroLargeHeader", Picture(1, 1, 24), tamb::ColorBgr24, 4, {}};
        c.fields.headerSize = 108;
        c.fields.offBits = 0;
        c.fields.pixels = {9, 8, 7, 0};
        c.imageRows = {{9, 8, 7, 0}};
        cases.push_back(c);
    }
    {
        FormatCase c{"ThirtyTwoBit", Picture(2, 1, 32), tamb::ColorBgra32, 8, {}};
        c.fields.pixels = {1, 2, 3, 0, 4, 5, 6, 7};
        c.imageRows = {{1, 2, 3, 0, 4, 5, 6, 7}};
        cases.push_back(c);
    }
    {
        FormatCase c{"ThirtyTwoBitBitFields", Picture(1, 1, 32), tamb::ColorBgra32, 4, {}};
        c.fields.compression = 3;
        c.fields.masks = {0xFF0000, 0xFF00, 0xFF};
        c.fields.pixels = {1, 2, 3, 4};
        c.imageRows = {{1, 2, 3, 4}};
        cases.push_back(c);
    }
    {
        // 16 bits become 24: three bytes a pixel, rows padded with zeros.
        FormatCase c{"SixteenBitExpanded", Picture(3, 2, 16), tamb::ColorBgr24, 12, {}};
        c.fields.pixels = {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x7C, 0xEE, 0xEE,
                           0x1F, 0x00, 0xE0, 0x03, 0x01, 0x00, 0xEE, 0xEE};
        c.imageRows = {{255, 0, 0, 0, 255, 0, 8, 0, 0, 0, 0, 0},
                       {255, 255, 255, 0, 0, 0, 0, 0, 255, 0, 0, 0}};
        cases.push_back(c);
    }
    {
        // Run-length rows reach the image zero-padded to the row size.
        FormatCase c{"Rle8", Picture(5, 2, 8), tamb::ColorIndexed8, 8, {}};
        c.fields.compression = 1;
        c.fields.pixels = {0x05, 0x01, 0x00, 0x00, 0x00, 0x03, 0x07, 0x08, 0x09, 0x00, 0x00, 0x01};
        c.imageRows = {{7, 8, 9, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 0, 0, 0}};
        cases.push_back(c);
    }
    {
        FormatCase c{"Rle4TopDown", Picture(5, -2, 4), tamb::ColorIndexed4, 4, {}};
        c.fields.compression = 2;
        c.fields.pixels = {0x05, 0x12, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x02, 0x34, 0x00, 0x01};
        c.imageRows = {{0x12, 0x12, 0x10, 0}, {0x03, 0x40, 0x00, 0}};
        cases.push_back(c);
    }
    return cases;
}

class ImportFormats : public ImportTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(ImportFormats, ImageMatchesTheFile) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(Import(WriteBmp(c.fields)), orix::ImportNotDone);
    ASSERT_EQ(manager.m_imported.size(), 1u);
    const orix::TrImage& image = Imported();
    EXPECT_EQ(image.GetColorFormat(), c.format);
    EXPECT_EQ(image.GetWidth(), c.fields.width);
    EXPECT_EQ(image.GetHeight(), static_cast<int>(c.imageRows.size()));
    EXPECT_EQ(image.GetRowBytes(), c.rowBytes);
    const bool core = c.fields.headerSize == 12;
    EXPECT_EQ(image.GetXPelsPerMeter(), core ? 0 : 1234);
    EXPECT_EQ(image.GetYPelsPerMeter(), core ? 0 : 5678);
    EXPECT_EQ(image.m_lastOrder, orix::TrImage::RowsByIndex);
    EXPECT_EQ(image.m_lastStartFlags, 0u);
    EXPECT_EQ(image.m_scanlineStartCalls, 1);
    EXPECT_EQ(image.m_scanlineEndCalls, 1);
    EXPECT_TRUE(image.m_lastEndTableNull);
    for (std::size_t i = 0; i < c.imageRows.size(); ++i)
        EXPECT_EQ(ImageRow(image, static_cast<int>(i)), c.imageRows[i]) << "row " << i;
    // The reader's whole table goes to the image; unused entries are zero.
    for (int i = 0; i < 256; ++i) {
        const tagRGBQUAD expected = static_cast<std::size_t>(i) < c.fields.palette.size()
                                        ? c.fields.palette[static_cast<std::size_t>(i)]
                                        : tagRGBQUAD{0, 0, 0, 0};
        const tagRGBQUAD got = image.ColorTable()[i];
        EXPECT_TRUE(got.rgbBlue == expected.rgbBlue && got.rgbGreen == expected.rgbGreen &&
                    got.rgbRed == expected.rgbRed)
            << "entry " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ImportFormats, ::testing::ValuesIn(FormatCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImportTest, RowOrderFollowsTheSignOfTheHeight) {
    for (std::int32_t height : {3, -3}) {
        BmpFields s = Picture(1, height, 8);
        s.pixels = Rows({{1}, {2}, {3}}, 1, 8);
        Import(WriteBmp(s));
        const orix::TrImage& image = Imported();
        ASSERT_EQ(image.GetHeight(), 3);
        EXPECT_EQ(ImageRow(image, 0)[0], height > 0 ? 3 : 1);
        EXPECT_EQ(ImageRow(image, 1)[0], 2);
        EXPECT_EQ(ImageRow(image, 2)[0], height > 0 ? 1 : 3);
    }
}

// ---- 16-bit expansion -----------------------------------------------------

struct PixelCase {
    std::uint16_t value;
    std::vector<std::uint32_t> masks;  // empty: BI_RGB
    std::uint8_t blue, green, red;
};

TEST_F(ImportTest, SixteenBitPixelsExpandPerLayout) {
    const std::vector<std::uint32_t> m565 = {0xF800, 0x07E0, 0x001F};
    const std::vector<std::uint32_t> m555 = {0x7C00, 0x03E0, 0x001F};
    const std::vector<std::uint32_t> blueTop = {0x001F, 0x07E0, 0xF800};
    const PixelCase cases[] = {
        {0x7FFF, {}, 255, 255, 255},
        {0x8000, {}, 0, 0, 0},
        {0x7C00, {}, 0, 0, 255},
        {0x03E0, {}, 0, 255, 0},
        {0x0001, {}, 8, 0, 0},
        {0x0010, {}, 131, 0, 0},
        {0x0200, {}, 0, 131, 0},
        {0xFFFF, {}, 255, 255, 255},
        {0xF800, m565, 0, 0, 255},
        {0x07E0, m565, 0, 255, 0},
        {0x001F, m565, 255, 0, 0},
        {0x8410, m565, 131, 129, 131},
        {0x0020, m565, 0, 4, 0},
        // Other masks read as 5-5-5; a blue mask at the top still means 5-6-5
        // with the top bits going to the third byte.
        {0x7C00, m555, 0, 0, 255},
        {0x8000, m555, 0, 0, 0},
        {0xF800, blueTop, 0, 0, 255},
        {0x07E0, blueTop, 0, 255, 0},
    };
    for (const PixelCase& c : cases) {
        SCOPED_TRACE("value " + std::to_string(c.value) + ", masks " +
                     std::to_string(c.masks.size()));
        BmpFields s = Picture(1, 1, 16);
        if (!c.masks.empty()) {
            s.compression = 3;
            s.masks = c.masks;
        }
        s.pixels = {static_cast<std::uint8_t>(c.value), static_cast<std::uint8_t>(c.value >> 8),
                    0xEE, 0xEE};
        manager.ClearRecords();
        Import(WriteBmp(s));
        ASSERT_EQ(manager.m_imported.size(), 1u);
        EXPECT_EQ(ImageRow(Imported(), 0), (Bytes{c.blue, c.green, c.red, 0}));
    }
}

// ---- Progress -------------------------------------------------------------

TEST_F(ImportTest, ProgressNamesTheFileAndCountsRowsUpToOne) {
    BmpFields s = Picture(1, 4, 24);
    s.pixels = Bytes(16, 1);
    const std::string path = WriteBmp(s, "four rows.bmp");
    Import(path);
    EXPECT_EQ(manager.Messages(), std::vector<std::string>{"Importing BMP file four rows.bmp"});
    EXPECT_EQ(manager.Proportions(), (std::vector<double>{0, 0.25, 0.5, 0.75, 1.0}));
    ASSERT_GE(manager.m_progress.size(), 2u);
    EXPECT_EQ(manager.m_progress.front().kind, Kind::Begin);
    EXPECT_EQ(manager.m_progress.front().text, "");
    EXPECT_EQ(manager.m_progress.back().kind, Kind::End);
    EXPECT_EQ(Events(Kind::Begin), 1);
    EXPECT_EQ(Events(Kind::End), 1);
}

TEST_F(ImportTest, StopLeavesNoImageAndEndsProgressOnce) {
    BmpFields s = Picture(1, 3, 24);
    s.pixels = Bytes(12, 1);
    const std::string path = WriteBmp(s);
    // Stop at the first row, at the last row, and at the final 1.0.
    for (long stopAt : {0L, 2L, 3L}) {
        SCOPED_TRACE("stop at proportion " + std::to_string(stopAt));
        manager.ClearRecords();
        manager.m_stopAtProportion = stopAt;
        EXPECT_EQ(Import(path), orix::ImportNotDone);
        EXPECT_EQ(manager.m_importObjectCalls, 0);
        EXPECT_EQ(manager.Proportions().size(), static_cast<std::size_t>(stopAt + 1));
        EXPECT_EQ(Events(Kind::End), 1);
        EXPECT_EQ(manager.m_activeProgress, 0);
    }
    // The reader was closed: the same filter imports again.
    manager.ClearRecords();
    manager.m_stopAtProportion = -1;
    Import(path);
    EXPECT_EQ(manager.m_importObjectCalls, 1);
}

// ---- Result ---------------------------------------------------------------

TEST_F(ImportTest, ResultFollowsTheHostsAnswerAndLeadingFlag) {
    BmpFields s = Picture(1, 1, 24);
    s.pixels = Bytes(4, 1);
    const std::string path = WriteBmp(s);
    struct {
        bool taken;
        unsigned char flag;
        orix::ImportStatus result;
    } cases[] = {{true, 1, orix::ImportDone},
                 {true, 0, orix::ImportNotDone},
                 {false, 1, orix::ImportNotDone},
                 {false, 0, orix::ImportNotDone}};
    for (const auto& c : cases) {
        manager.m_importAnswer = c.taken;
        manager.m_leadingFlag = c.flag;
        EXPECT_EQ(Import(path), c.result) << c.taken << "/" << int(c.flag);
    }
    EXPECT_EQ(manager.m_importObjectCalls, 4);
}

// ---- Transparency question ------------------------------------------------

class TransparencyTest : public ImportTest {
  protected:
    // Two 32-bit rows of two pixels; alpha bytes all zero unless asked.
    std::string File(bool oneAlphaInLastRow = false) {
        BmpFields s = Picture(2, 2, 32);
        s.pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
        if (oneAlphaInLastRow) s.pixels[15] = 1;
        return WriteBmp(s);
    }
};

TEST_F(TransparencyTest, YesMakesEveryPixelOpaqueInASecondPass) {
    manager.m_warningAnswer = tamb::IError::AnswerYes;
    Import(File(), true);
    ASSERT_EQ(manager.m_warnings.size(), 1u);
    EXPECT_EQ(manager.m_warnings[0].style, 2);
    EXPECT_EQ(manager.m_warnings[0].text, kQuestion);
    const orix::TrImage& image = Imported();
    EXPECT_EQ(ImageRow(image, 0), (Bytes{7, 8, 9, 255, 10, 11, 12, 255}));
    EXPECT_EQ(ImageRow(image, 1), (Bytes{1, 2, 3, 255, 4, 5, 6, 255}));
    EXPECT_EQ(image.m_scanlineStartCalls, 2);
    EXPECT_EQ(image.m_scanlineEndCalls, 2);
    // The second pass counts from 0 again and ends without 1.0.
    EXPECT_EQ(manager.Proportions(), (std::vector<double>{0, 0.5, 1.0, 0, 0.5}));
    EXPECT_EQ(Events(Kind::End), 1);
}

TEST_F(TransparencyTest, OtherAnswersOrNoPromptKeepStoredAlpha) {
    struct {
        bool prompt;
        int answer;
        std::size_t questions;
    } cases[] = {
        {true, tamb::IError::AnswerNo, 1}, {true, 0, 1}, {false, tamb::IError::AnswerYes, 0}};
    const std::string path = File();
    for (const auto& c : cases) {
        manager.ClearRecords();
        manager.m_warningAnswer = c.answer;
        Import(path, c.prompt);
        EXPECT_EQ(manager.m_warnings.size(), c.questions);
        EXPECT_EQ(ImageRow(Imported(), 1), (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));
        EXPECT_EQ(manager.Proportions(), (std::vector<double>{0, 0.5, 1.0}));
    }
}

TEST_F(TransparencyTest, NoQuestionWhenAnyAlphaIsSetOrTheDepthDiffers) {
    manager.m_warningAnswer = tamb::IError::AnswerYes;
    Import(File(true), true);
    EXPECT_TRUE(manager.m_warnings.empty());
    EXPECT_EQ(ImageRow(Imported(), 0), (Bytes{7, 8, 9, 0, 10, 11, 12, 1}));

    for (std::uint16_t bits : {8, 24}) {
        BmpFields s = Picture(4, 1, bits);
        s.pixels = Bytes(bits == 8 ? 4 : 12, 0);
        Import(WriteBmp(s), true);
    }
    EXPECT_TRUE(manager.m_warnings.empty());
}

TEST_F(TransparencyTest, StopDuringTheSecondPassLeavesNoImage) {
    manager.m_warningAnswer = tamb::IError::AnswerYes;
    manager.m_stopAtProportion = 4;
    EXPECT_EQ(Import(File(), true), orix::ImportNotDone);
    EXPECT_EQ(manager.m_importObjectCalls, 0);
    EXPECT_EQ(Events(Kind::End), 1);
}

TEST_F(TransparencyTest, FlagsAreSetAfreshByEveryCall) {
    // A first call sees alpha; the next, on an all-zero file, still asks.
    manager.m_warningAnswer = tamb::IError::AnswerNo;
    Import(File(true), true);
    EXPECT_TRUE(manager.m_warnings.empty());
    Import(File(), true);
    EXPECT_EQ(manager.m_warnings.size(), 1u);
    Import(File(), false);
    EXPECT_EQ(manager.m_warnings.size(), 1u);
}

// ---- Errors ---------------------------------------------------------------

struct ErrorCase {
    const char* name;
    Bytes file;
    int line;
    int code;
    std::vector<std::string> extraArgs;  // after the path, when the code has one
    bool pathArg;
    bool progressSeen;  // the progress display was begun (and must end once)
};
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

Bytes Cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

std::vector<ErrorCase> ErrorCases() {
    auto with = [](std::uint16_t bits, auto change) {
        BmpFields s = Picture(2, 2, bits);
        s.pixels = Bytes(16, 0);
        change(s);
        return BuildBmp(s);
    };
    auto plain = [](BmpFields&) {};
    return {
        {"FileHeaderShort",
         Cut(with(8, plain), 10),
         215,
         8,
         {"Premature end of file"},
         true,
         false},
        {"ColourTableShort",
         Cut(with(8, plain), 100),
         215,
         8,
         {"Premature end of file"},
         true,
         false},
        {"MasksShort",
         Cut(with(16,
                  [](BmpFields& s) {
                      s.compression = 3;
                      s.masks = {0xF800, 0x07E0, 0x001F};
                  }),
             60),
         215,
         8,
         {"Premature end of file"},
         true,
         false},
        {"TwoPlanes", with(8, [](BmpFields& s) { s.planes = 2; }), 217, 16, {}, true, false},
        {"Compression7",
         with(24, [](BmpFields& s) { s.compression = 7; }),
         217,
         16,
         {},
         true,
         false},
        {"Rle8AtOneBit",
         with(1, [](BmpFields& s) { s.compression = 1; }),
         217,
         16,
         {},
         true,
         false},
        {"NotBmp", with(24, [](BmpFields& s) { s.signature = 0x4D4D; }), 221, 16, {}, true, false},
        {"WidthZero", with(24, [](BmpFields& s) { s.width = 0; }), 221, 16, {}, true, false},
        {"RowTooLong",
         with(32, [](BmpFields& s) { s.width = 0x7FFFFFFF; }),
         221,
         16,
         {},
         true,
         false},
        {"ColourCount300",
         with(8, [](BmpFields& s) { s.clrUsed = 300; }),
         221,
         16,
         {},
         true,
         false},
        // Cut-short headers leave the reader's status at Ok.
        {"OnlyFileHeader", Cut(with(24, plain), 14), 225, 1, {}, false, false},
        {"InfoHeaderShort", Cut(with(24, plain), 40), 225, 1, {}, false, false},
        {"TwoBits", with(2, plain), 285, 16, {}, true, true},
        {"FifteenBits", with(15, plain), 285, 16, {}, true, true},
        {"ZeroBits", with(0, plain), 285, 16, {}, true, true},
        {"RowsCutShort",
         Cut(with(24, plain), 14 + 40 + 8 + 3),
         325,
         8,
         {"Premature end of file."},
         true,
         true},
        {"NoRowsAtAll",
         Cut(with(24, plain), 14 + 40),
         325,
         8,
         {"Premature end of file."},
         true,
         true},
    };
}

class ImportErrors : public ImportTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ImportErrors, RaiseLineCodeAndArguments) {
    const ErrorCase& c = GetParam();
    const std::string path = Write(c.file);
    const importtest::RaisedError e = ImportError(path);
    ASSERT_TRUE(e.raised);
    EXPECT_EQ(e.source, ".\\BmpImportFilter");
    EXPECT_TRUE(e.hasCode);
    EXPECT_EQ(e.line, c.line);
    EXPECT_EQ(e.code, c.code);
    std::vector<std::string> args;
    if (c.pathArg) args.push_back(path);
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
    EXPECT_EQ(e.args, args);
    EXPECT_EQ(manager.m_importObjectCalls, 0);
    EXPECT_EQ(Events(Kind::Begin), c.progressSeen ? 1 : 0);
    EXPECT_EQ(Events(Kind::End), c.progressSeen ? 1 : 0);
    EXPECT_EQ(manager.Messages().size(), c.progressSeen ? 1u : 0u);
    // Every way out leaves the reader closed: the same filter imports again.
    BmpFields good = Picture(1, 1, 24);
    good.pixels = Bytes(4, 0);
    Import(WriteBmp(good, "good.bmp"));
    EXPECT_EQ(manager.m_importObjectCalls, 1);
}

INSTANTIATE_TEST_SUITE_P(Table, ImportErrors, ::testing::ValuesIn(ErrorCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImportTest, RunLengthFileCutShortImportsQuietly) {
    BmpFields s = Picture(3, 3, 8);
    s.compression = 1;
    s.pixels = {0x03, 0x04, 0x00, 0x00, 0x00, 0x03, 0x05};  // cut inside an absolute run
    EXPECT_EQ(Import(WriteBmp(s)), orix::ImportNotDone);
    ASSERT_EQ(manager.m_imported.size(), 1u);
    EXPECT_EQ(ImageRow(Imported(), 2), (Bytes{4, 4, 4, 0}));
    EXPECT_EQ(ImageRow(Imported(), 1), (Bytes{5, 0, 0, 0}));
    EXPECT_EQ(ImageRow(Imported(), 0), (Bytes{0, 0, 0, 0}));
}

TEST_F(ImportTest, OpenFailureCarriesTheSystemText) {
    const std::string path = dir.File("absent.bmp");
    const importtest::RaisedError e = ImportError(path);
    ASSERT_TRUE(e.raised);
    EXPECT_EQ(e.line, 213);
    EXPECT_EQ(e.code, 5);
    EXPECT_EQ(e.args, (std::vector<std::string>{path, tamb::FormatSystemErrorMsg(ENOENT)}));
}

TEST_F(ImportTest, HeaderReadErrorCarriesTheSystemText) {
#if defined(_WIN32)
    // Windows will not open a directory as a file: the open fails, access denied.
    const importtest::RaisedError e = ImportError(dir.path());
    ASSERT_TRUE(e.raised);
    EXPECT_EQ(e.line, 213);
    EXPECT_EQ(e.code, 5);
    EXPECT_EQ(e.args, (std::vector<std::string>{dir.path(), tamb::FormatSystemErrorMsg(5)}));
#else
    // A directory opens for reading, and reading it fails with a system error.
    const importtest::RaisedError e = ImportError(dir.path());
    ASSERT_TRUE(e.raised);
    EXPECT_EQ(e.line, 215);
    EXPECT_EQ(e.code, 8);
    EXPECT_EQ(e.args, (std::vector<std::string>{dir.path(), tamb::FormatSystemErrorMsg(EISDIR)}));
#endif
}

// A host that re-enters the filter while it imports takes the reader's file
// away from under it: the inner call is refused for the state, and the outer
// call's next row finds no file. These are the only ways to reach the
// wrong-state lines.
class ReentrantHostTest : public TransparencyTest {
  protected:
    void ReenterAtProportion(long call) {
        manager.m_progressHook = [this, call](const orix::ProgressEvent& event) {
            if (event.kind == Kind::Proportion && manager.m_proportionCalls == call + 1) {
                inner = ImportError(innerPath);
            }
            return true;
        };
    }
    std::string innerPath;
    importtest::RaisedError inner;
};

TEST_F(ReentrantHostTest, FirstPassRowWithoutAFileIsLine327) {
    innerPath = File();
    ReenterAtProportion(0);
    const importtest::RaisedError outer = ImportError(innerPath);
    ASSERT_TRUE(inner.raised);
    EXPECT_EQ(inner.line, 223);
    EXPECT_EQ(inner.code, 1);
    EXPECT_TRUE(inner.args.empty());
    ASSERT_TRUE(outer.raised);
    EXPECT_EQ(outer.line, 327);
    EXPECT_EQ(outer.code, 1);
    EXPECT_TRUE(outer.args.empty());
    EXPECT_EQ(manager.m_activeProgress, 0);
}

TEST_F(ReentrantHostTest, SecondPassRowWithoutAFileIsLine449) {
    innerPath = File();
    manager.m_warningAnswer = tamb::IError::AnswerYes;
    ReenterAtProportion(3);  // the first row of the second pass
    const importtest::RaisedError outer = ImportError(innerPath, true);
    ASSERT_TRUE(inner.raised);
    EXPECT_EQ(inner.line, 223);
    ASSERT_TRUE(outer.raised);
    EXPECT_EQ(outer.line, 449);
    EXPECT_EQ(outer.code, 1);
    EXPECT_EQ(manager.m_activeProgress, 0);
}

TEST_F(ImportTest, FileCutShortBeforeTheSecondPassIsLine447) {
    // Rows larger than the file's read buffer, so that the second pass reads
    // the file again rather than bytes buffered by the first.
    const std::int32_t width = 9000;
    BmpFields s = Picture(width, 2, 32);
    s.pixels = Bytes(static_cast<std::size_t>(width) * 4 * 2, 0);
    const std::string path = WriteBmp(s);
    manager.m_warningHook = [&path, width](int, const std::string&) {
        EXPECT_EQ(::truncate(path.c_str(), 14 + 40 + width * 4 + 100), 0);
        return static_cast<int>(tamb::IError::AnswerYes);
    };
    const importtest::RaisedError e = ImportError(path, true);
    ASSERT_TRUE(e.raised);
    EXPECT_EQ(e.line, 447);
    EXPECT_EQ(e.code, 8);
    EXPECT_EQ(e.args, (std::vector<std::string>{path, "Premature end of file."}));
    EXPECT_EQ(manager.m_importObjectCalls, 0);
    EXPECT_EQ(Events(Kind::End), 1);
}

// ---- Host calls that throw ------------------------------------------------

TEST_F(ImportTest, HostExceptionsPassThroughAndEverythingIsReleased) {
    BmpFields s = Picture(2, 2, 32);
    s.pixels = Bytes(16, 0);
    const std::string path = WriteBmp(s);

    struct Thrower {
        const char* name;
        std::function<void(orix::IoManager&)> arm;
    } throwers[] = {
        {"progress",
         [](orix::IoManager& m) {
             m.m_progressHook = [](const orix::ProgressEvent& e) -> bool {
                 if (e.kind == Kind::Proportion) throw std::runtime_error("host");
                 return true;
             };
         }},
        {"message",
         [](orix::IoManager& m) {
             m.m_progressHook = [](const orix::ProgressEvent& e) -> bool {
                 if (e.kind == Kind::Message) throw std::runtime_error("host");
                 return true;
             };
         }},
        {"question",
         [](orix::IoManager& m) {
             m.m_warningHook = [](int, const std::string&) -> int {
                 throw std::runtime_error("host");
             };
         }},
    };
    for (const Thrower& t : throwers) {
        SCOPED_TRACE(t.name);
        manager.ClearRecords();
        manager.m_progressHook = nullptr;
        manager.m_warningHook = nullptr;
        t.arm(manager);
        EXPECT_THROW(filter.ImportFile(path.c_str(), true), std::runtime_error);
        EXPECT_EQ(Events(Kind::End), 1);
        EXPECT_EQ(manager.m_activeProgress, 0);
    }
    manager.m_progressHook = nullptr;
    manager.m_warningHook = nullptr;
    manager.ClearRecords();
    EXPECT_EQ(Import(path), orix::ImportNotDone);
    EXPECT_EQ(manager.m_importObjectCalls, 1);
}

TEST_F(ImportTest, ImageTooLargeForTheHostPassesItsAllocationFailure) {
    const std::uint64_t limit = orix::TrImage::GetPixelLimit();
    orix::TrImage::SetPixelLimit(3);
    BmpFields s = Picture(2, 2, 24);
    s.pixels = Bytes(16, 0);
    EXPECT_THROW(filter.ImportFile(WriteBmp(s).c_str(), false), std::bad_alloc);
    orix::TrImage::SetPixelLimit(limit);
    EXPECT_EQ(Events(Kind::End), 1);
    EXPECT_EQ(manager.m_activeProgress, 0);
}

}  // namespace
