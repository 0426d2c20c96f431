// The import filter as a host drives it: files built byte by byte, imported
// through ImportBMP, and what the host received (image, error, progress,
// question) compared with what the file means.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <stdexcept>

#include "support/Plugin.h"

namespace {

using namespace testsupport;
using bmpbytes::PadRows;
using bmpbytes::StrideFor;

std::vector<tagRGBQUAD> Palette(int n) {
    std::vector<tagRGBQUAD> table;
    for (int i = 0; i < n; ++i)
        table.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                         static_cast<std::uint8_t>(i * 7), 0});
    return table;
}

BmpFields Fields(std::int32_t w, std::int32_t h, std::uint16_t bits, Bytes pixels) {
    BmpFields f;
    f.width = w;
    f.height = h;
    f.bitCount = bits;
    f.xPelsPerMeter = 0x12345678;
    f.yPelsPerMeter = 0x1A2B3C4D;
    if (bits <= 8) f.palette = Palette(1 << bits);
    f.pixels = std::move(pixels);
    return f;
}

BmpFields With(BmpFields f, const std::function<void(BmpFields&)>& change) {
    change(f);
    return f;
}

// One import, as the host sees it.
struct Import {
    orix::IoManager manager;
    Raised raised;
    int status = -1;
    TempDir dir;
    std::string path;

    explicit Import(const Bytes& file, bool prompt = false,
                    const std::function<void(orix::IoManager&)>& script = nullptr) {
        path = dir.Write("picture.bmp", file);
        if (script) script(manager);
        auto filter = NewImportFilter(manager);
        raised = Catch([&] { status = filter->ImportFile(path.c_str(), prompt); });
    }
    const orix::TrImage& Image() const { return *manager.m_imported.at(0); }
    std::vector<Bytes> Rows() const { return ImageRows(Image()); }
    int Count(orix::ProgressEvent::Kind kind) const {
        int n = 0;
        for (const auto& e : manager.m_progress) n += e.kind == kind;
        return n;
    }
};

// ---- Pixels ------------------------------------------------------------------

struct PixelCase {
    const char* name;
    BmpFields file;
    tamb::ColorFormat format;
    std::vector<Bytes> rows;  // top first, the image's row size each
};

const PixelCase kPixelCases[] = {
    {"1 bit, bottom-up",
     Fields(10, 2, 1, {0xA5, 0x40, 0, 0, 0x5A, 0x80, 0, 0}),
     tamb::ColorIndexed1,
     {{0x5A, 0x80, 0, 0}, {0xA5, 0x40, 0, 0}}},
    {"4 bits, top-down",
     Fields(5, -2, 4, {0x01, 0x23, 0x40, 0, 0xFE, 0xDC, 0xB0, 0}),
     tamb::ColorIndexed4,
     {{0x01, 0x23, 0x40, 0}, {0xFE, 0xDC, 0xB0, 0}}},
    {"8 bits keep the stored padding",
     Fields(3, 3, 8, {1, 2, 3, 0xE1, 4, 5, 6, 0xE2, 7, 8, 9, 0xE3}),
     tamb::ColorIndexed8,
     {{7, 8, 9, 0xE3}, {4, 5, 6, 0xE2}, {1, 2, 3, 0xE1}}},
    {"8 bits, core header",
     With(Fields(2, 2, 8, {10, 11, 0, 0, 12, 13, 0, 0}), [](BmpFields& f) { f.headerSize = 12; }),
     tamb::ColorIndexed8,
     {{12, 13, 0, 0}, {10, 11, 0, 0}}},
    {"24 bits",
     Fields(2, 2, 24, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}),
     tamb::ColorBgr24,
     {{7, 8, 9, 10, 11, 12, 0, 0}, {1, 2, 3, 4, 5, 6, 0, 0}}},
    {"124-byte header, pixel offset 0",
     With(Fields(1, 1, 24, {9, 8, 7, 0}),
          [](BmpFields& f) {
              f.headerSize = 124;
              f.offBits = 0;
          }),
     tamb::ColorBgr24,
     {{9, 8, 7, 0}}},
    {"pixel offset past a gap",
     With(Fields(1, 1, 24, {9, 8, 7, 0}), [](BmpFields& f) { f.gap = 7; }),
     tamb::ColorBgr24,
     {{9, 8, 7, 0}}},
    {"32 bits",
     Fields(2, 1, 32, {1, 2, 3, 0, 4, 5, 6, 7}),
     tamb::ColorBgra32,
     {{1, 2, 3, 0, 4, 5, 6, 7}}},
    {"32-bit bit fields",
     With(Fields(1, 1, 32, {1, 2, 3, 4}),
          [](BmpFields& f) {
              f.compression = 3;
              f.masks = {0xFF0000, 0xFF00, 0xFF};
          }),
     tamb::ColorBgra32,
     {{1, 2, 3, 4}}},
    // 5-5-5: bits 0-14 set, bit 15 alone, red alone; the stored padding is
    // not carried into the wider row.
    {"16 bits, 5-5-5",
     Fields(3, 1, 16, {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x7C, 0xEE, 0xEE}),
     tamb::ColorBgr24,
     {{255, 255, 255, 0, 0, 0, 0, 0, 255, 0, 0, 0}}},
    {"16 bits, 5-6-5 masks",
     With(Fields(3, 1, 16, {0x00, 0xF8, 0xE0, 0x07, 0x10, 0x84, 0, 0}),
          [](BmpFields& f) {
              f.compression = 3;
              f.masks = {0xF800, 0x07E0, 0x001F};
          }),
     tamb::ColorBgr24,
     {{0, 0, 255, 0, 255, 0, 131, 129, 131, 0, 0, 0}}},
    {"16 bits, 5-6-5 named by the blue mask",
     With(Fields(2, 1, 16, {0x20, 0x00, 0x01, 0x00}),
          [](BmpFields& f) {
              f.compression = 3;
              f.masks = {0x001F, 0x07E0, 0xF800};
          }),
     tamb::ColorBgr24,
     {{0, 4, 0, 8, 0, 0, 0, 0}}},
    {"16 bits, other masks read as 5-5-5",
     With(Fields(1, 1, 16, {0x20, 0x00, 0, 0}),
          [](BmpFields& f) {
              f.compression = 3;
              f.masks = {0x7C00, 0x03E0, 0x001F};
          }),
     tamb::ColorBgr24,
     {{0, 8, 0, 0}}},
};

TEST(Import, RowsFormatTableAndResolution) {
    for (const PixelCase& c : kPixelCases) {
        SCOPED_TRACE(c.name);
        Import run(BuildBmp(c.file));
        ASSERT_FALSE(run.raised.raised) << run.raised.message;
        EXPECT_EQ(run.status, 1);  // the leading flag is clear
        const orix::TrImage& image = run.Image();
        EXPECT_EQ(image.GetColorFormat(), c.format);
        EXPECT_EQ(image.GetWidth(), c.file.width);
        EXPECT_EQ(image.GetXPelsPerMeter(), c.file.headerSize == 12 ? 0 : 0x12345678);
        EXPECT_EQ(image.GetYPelsPerMeter(), c.file.headerSize == 12 ? 0 : 0x1A2B3C4D);
        EXPECT_EQ(run.Rows(), c.rows);
        for (std::size_t i = 0; i < c.file.palette.size(); ++i) {
            const tagRGBQUAD& entry = image.ColorTable()[i];
            EXPECT_EQ(entry.rgbBlue, c.file.palette[i].rgbBlue) << i;
            EXPECT_EQ(entry.rgbGreen, c.file.palette[i].rgbGreen) << i;
            EXPECT_EQ(entry.rgbRed, c.file.palette[i].rgbRed) << i;
        }
        EXPECT_EQ(run.manager.m_imported.size(), 1u);
        EXPECT_EQ(image.m_scanlineEndCalls, 1);
    }
}

TEST(Import, ColourCountAndLeadingFlag) {
    // Two colours named of a 4-bit table: the rest of the host's table is zero.
    BmpFields f = Fields(1, 1, 4, {0x10, 0, 0, 0});
    f.clrUsed = 2;
    f.palette = {{9, 9, 9, 9}, {4, 5, 6, 7}};
    Import run(BuildBmp(f), false, [](orix::IoManager& m) { m.m_leadingFlag = 1; });
    ASSERT_FALSE(run.raised.raised);
    EXPECT_EQ(run.status, 0);
    const tagRGBQUAD* table = run.Image().ColorTable();
    EXPECT_EQ(table[1].rgbRed, 6);
    EXPECT_EQ(table[1].rgbReserved, 7);
    EXPECT_EQ(table[2].rgbBlue, 0);

    Import refused(BuildBmp(f), false, [](orix::IoManager& m) {
        m.m_leadingFlag = 1;
        m.m_importAnswer = false;
    });
    EXPECT_EQ(refused.status, 1);
}

// ---- Run-length coding ---------------------------------------------------------

struct RleCase {
    const char* name;
    int bits, width, height;
    Bytes stream;
    std::vector<Bytes> rows;  // top first
};

const RleCase kRleCases[] = {
    {"8: runs and an odd literal with its pad",
     8,
     6,
     1,
     {2, 7, 0, 3, 1, 2, 3, 0, 1, 9, 0, 1},
     {{7, 7, 1, 2, 3, 9, 0, 0}}},
    {"8: end of line, then the next row",
     8,
     3,
     2,
     {1, 5, 0, 0, 3, 6, 0, 1},
     {{6, 6, 6, 0}, {5, 0, 0, 0}}},
    {"8: end of bitmap ends only its row",
     8,
     2,
     3,
     {2, 4, 0, 1, 2, 9},
     {{0, 0, 0, 0}, {9, 9, 0, 0}, {4, 4, 0, 0}}},
    {"8: a run and a literal clipped at the row's end",
     8,
     3,
     2,
     {5, 1, 0, 0, 0, 4, 2, 3, 4, 5, 0, 0},
     {{2, 3, 4, 0}, {1, 1, 1, 0}}},
    {"8: delta across, then down two rows",
     8,
     4,
     4,
     {1, 1, 0, 2, 1, 0, 1, 2, 0, 2, 0, 2, 1, 3, 0, 1},
     {{0, 0, 0, 0}, {0, 0, 0, 3}, {0, 0, 0, 0}, {1, 0, 2, 0}}},
    {"8: a delta past the row's end is clipped",
     8,
     3,
     1,
     {1, 1, 0, 2, 200, 0, 1, 5, 0, 1},
     {{1, 0, 0, 0}}},
    {"8: a stream cut short ends quietly", 8, 4, 2, {4, 1, 0, 3, 5}, {{0, 0, 0, 0}, {1, 1, 1, 1}}},
    {"4: runs alternate nibbles, also from an odd column",
     4,
     7,
     1,
     {3, 0x12, 4, 0x34, 0, 1},
     {{0x12, 0x13, 0x43, 0x40}}},
    {"4: literals of odd and even length with their pads",
     4,
     8,
     1,
     {0, 3, 0xAB, 0xC0, 0, 5, 0x12, 0x34, 0x50, 0},
     {{0xAB, 0xC1, 0x23, 0x45}}},
    {"4: delta and a clipped run",
     4,
     5,
     2,
     {0, 2, 3, 0, 9, 0x77, 0, 0, 0, 2, 0, 1, 1, 0xF0},
     {{0, 0, 0, 0}, {0, 0x07, 0x70, 0}}},
};

TEST(Import, RunLengthRows) {
    for (const RleCase& c : kRleCases) {
        SCOPED_TRACE(c.name);
        BmpFields f = Fields(c.width, c.height, static_cast<std::uint16_t>(c.bits), c.stream);
        f.compression = c.bits == 8 ? 1 : 2;
        Import run(BuildBmp(f));
        ASSERT_FALSE(run.raised.raised) << run.raised.message;
        EXPECT_EQ(run.Rows(), c.rows);
    }
}

TEST(Import, RunLengthRoundTrip) {
    // The shared encoder's own codes, every kind of them (runs of 1 to 21,
    // literals, deltas over zeros, an early end), decode to the picture.
    const int w = 61, h = 12;
    for (int bits : {4, 8}) {
        const int levels = 1 << bits;
        std::vector<Bytes> picture;  // stored order
        for (int y = 0; y < h; ++y) {
            Bytes row;
            for (int x = 0; x < w; ++x) {
                const bool literal = y % 2 == 1 && x > 40 && x < 52;
                const int v = y < 2 || x % 29 < 5 ? 0
                              : literal           ? (x * 7 + y) % levels
                                                  : (x / (2 * y - 3) + y) % levels;
                row.push_back(static_cast<std::uint8_t>(v));
            }
            picture.push_back(row);
        }
        std::reverse(picture.begin(), picture.end());  // the zero rows come last
        BmpFields f = Fields(w, h, static_cast<std::uint16_t>(bits),
                             bmpbytes::EncodeRunLength(picture, bits, true));
        f.compression = bits == 8 ? 1 : 2;
        Import run(BuildBmp(f));
        ASSERT_FALSE(run.raised.raised) << run.raised.message;
        for (int y = 0; y < h; ++y) {
            Bytes expected = bmpbytes::PackRow(picture[static_cast<std::size_t>(h - 1 - y)], bits);
            expected.resize(StrideFor(w, bits), 0);
            EXPECT_EQ(run.Rows()[static_cast<std::size_t>(y)], expected)
                << bits << " bits, row " << y;
        }
    }
}

// ---- Refusals ----------------------------------------------------------------

struct ErrorCase {
    const char* name;
    Bytes file;
    int line;
    int code;
    std::vector<std::string> argsAfterPath;  // the path comes first where the code has one
};

Bytes Cut(const Bytes& file, std::size_t size) {
    return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
}

const Bytes kEightBit = BuildBmp(Fields(3, 2, 8, Bytes(8, 1)));

std::vector<ErrorCase> ErrorCases() {
    const BmpFields base = Fields(3, 2, 8, Bytes(8, 1));
    auto file = [&](const std::function<void(BmpFields&)>& change) {
        return BuildBmp(With(base, change));
    };
    const char* kEnd = "Premature end of file";
    return {
        {"file header cut short", Cut(kEightBit, 13), 215, 8, {kEnd}},
        {"not a BMP signature", file([](BmpFields& f) { f.signature = 0x4D43; }), 221, 16, {}},
        {"header size field cut short", Cut(kEightBit, 16), 225, 1, {}},
        {"information header cut short", Cut(kEightBit, 53), 225, 1, {}},
        {"header size below 40", file([](BmpFields& f) { f.headerSize = 39; }), 221, 16, {}},
        {"width 0", file([](BmpFields& f) { f.width = 0; }), 221, 16, {}},
        {"negative width", file([](BmpFields& f) { f.width = -3; }), 221, 16, {}},
        {"height 0", file([](BmpFields& f) { f.height = 0; }), 221, 16, {}},
        {"height -2^31", file([](BmpFields& f) { f.height = INT_MIN; }), 221, 16, {}},
        {"row bits beyond 32 bits",
         file([](BmpFields& f) {
             f.bitCount = 24;
             f.width = 0x5555556;  // x 24 > 2^31 - 1
         }),
         221,
         16,
         {}},
        {"16-bit row beyond 32 bits once expanded",
         file([](BmpFields& f) {
             f.bitCount = 16;
             f.width = 0x5555556;
         }),
         221,
         16,
         {}},
        {"more than 256 colours", file([](BmpFields& f) { f.clrUsed = 257; }), 221, 16, {}},
        {"two planes", file([](BmpFields& f) { f.planes = 2; }), 217, 16, {}},
        {"unknown compression", file([](BmpFields& f) { f.compression = 4; }), 217, 16, {}},
        {"8-bit run-length code at 4 bits",
         file([](BmpFields& f) {
             f.bitCount = 4;
             f.compression = 1;
         }),
         217,
         16,
         {}},
        {"4-bit run-length code at 8 bits",
         file([](BmpFields& f) { f.compression = 2; }),
         217,
         16,
         {}},
        {"masks cut short",
         Cut(file([](BmpFields& f) {
                 f.bitCount = 16;
                 f.compression = 3;
                 f.palette.clear();
                 f.masks = {0xF800, 0x07E0, 0x001F};
             }),
             14 + 40 + 11),
         215,
         8,
         {kEnd}},
        {"colour table cut short", Cut(kEightBit, 14 + 40 + 4 * 256 - 1), 215, 8, {kEnd}},
        {"core colour table cut short",
         Cut(file([](BmpFields& f) { f.headerSize = 12; }), 14 + 12 + 3 * 256 - 1),
         215,
         8,
         {kEnd}},
        {"2 bits a pixel", file([](BmpFields& f) { f.bitCount = 2; }), 285, 16, {}},
        {"15 bits a pixel",
         file([](BmpFields& f) {
             f.bitCount = 15;
             f.palette.clear();
         }),
         285,
         16,
         {}},
        {"pixel rows cut short",
         Cut(kEightBit, kEightBit.size() - 1),
         325,
         8,
         {"Premature end of file."}},
    };
}

TEST(Import, RefusalsRaiseTheListedError) {
    for (const ErrorCase& c : ErrorCases()) {
        SCOPED_TRACE(c.name);
        Import run(c.file);
        ASSERT_TRUE(run.raised.raised);
        EXPECT_EQ(run.raised.source, ".\\BmpImportFilter");
        EXPECT_EQ(run.raised.line, c.line);
        EXPECT_EQ(run.raised.code, c.code);
        std::vector<std::string> args;
        if (c.code != 1) args.push_back(run.path);
        args.insert(args.end(), c.argsAfterPath.begin(), c.argsAfterPath.end());
        EXPECT_EQ(run.raised.args, args);
        EXPECT_TRUE(run.manager.m_imported.empty());
        // The display was begun only once the headers were accepted, and ends.
        const int begun = run.Count(orix::ProgressEvent::Begin);
        EXPECT_EQ(begun, c.line >= 285 ? 1 : 0);
        EXPECT_EQ(run.Count(orix::ProgressEvent::End), begun);
        EXPECT_EQ(run.manager.Messages().size(), static_cast<std::size_t>(begun));
    }
}

TEST(Import, FilesThatCannotBeOpenedNameTheSystemsReason) {
    TempDir dir;
    const std::string missing = dir.File("none/picture.bmp");
    orix::IoManager manager;
    auto filter = NewImportFilter(manager);
    const Raised r = Catch([&] { filter->ImportFile(missing.c_str(), false); });
    EXPECT_EQ(r.line, 213);
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.args, (std::vector<std::string>{missing, SystemText(MissingDirectoryCode())}));
    // The same filter imports the next file: nothing carries over.
    const std::string good = dir.Write("good.bmp", kEightBit);
    EXPECT_FALSE(Catch([&] { filter->ImportFile(good.c_str(), false); }).raised);
    EXPECT_EQ(manager.m_imported.size(), 1u);
}

// ---- Progress, stop and the transparency question ------------------------------

TEST(Import, ProgressNamesTheFileAndCountsRows) {
    Import run(BuildBmp(Fields(1, 4, 24, Bytes(16, 3))));
    EXPECT_EQ(run.manager.Messages(), std::vector<std::string>{"Importing BMP file picture.bmp"});
    EXPECT_EQ(run.manager.Proportions(), (std::vector<double>{0, 0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(run.manager.m_progress.front().kind, orix::ProgressEvent::Begin);
    EXPECT_EQ(run.manager.m_progress.back().kind, orix::ProgressEvent::End);
}

TEST(Import, AStopAtAnyReportGivesNoImage) {
    const Bytes file = BuildBmp(Fields(1, 4, 24, Bytes(16, 3)));
    for (long stopAt = 0; stopAt <= 4; ++stopAt) {
        SCOPED_TRACE(stopAt);
        Import run(file, false, [stopAt](orix::IoManager& m) { m.m_stopAtProportion = stopAt; });
        EXPECT_FALSE(run.raised.raised);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.manager.m_importObjectCalls, 0);
        EXPECT_EQ(run.manager.Proportions().size(), static_cast<std::size_t>(stopAt + 1));
        EXPECT_EQ(run.Count(orix::ProgressEvent::End), 1);
    }
}

const char kQuestion[] =
    "While importing the requested file, a 32 bit-per-pixel image was encountered that is either "
    "100% transparent or contains no valid transparency information.  This may render the image "
    "completely invisible when drawn on the screen. \n\nShould this image be converted to opaque "
    "instead of transparent? \n";

struct QuestionCase {
    const char* name;
    std::uint16_t bits;
    Bytes pixels;  // two rows of two pixels (32 bits) or the stored rows
    bool prompt;
    int answer;
    bool asked;
    std::vector<Bytes> rows;  // top first
};

const QuestionCase kQuestionCases[] = {
    {"all alpha 0, answered yes",
     32,
     {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 1, 1, 1, 0},
     true,
     6,
     true,
     {{7, 8, 9, 255, 1, 1, 1, 255}, {1, 2, 3, 255, 4, 5, 6, 255}}},
    {"all alpha 0, answered no",
     32,
     {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 1, 1, 1, 0},
     true,
     7,
     true,
     {{7, 8, 9, 0, 1, 1, 1, 0}, {1, 2, 3, 0, 4, 5, 6, 0}}},
    {"no question allowed",
     32,
     {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 1, 1, 1, 0},
     false,
     6,
     false,
     {{7, 8, 9, 0, 1, 1, 1, 0}, {1, 2, 3, 0, 4, 5, 6, 0}}},
    {"one alpha byte in the last row",
     32,
     {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 1, 1, 1, 1},
     true,
     6,
     false,
     {{7, 8, 9, 0, 1, 1, 1, 1}, {1, 2, 3, 0, 4, 5, 6, 0}}},
    {"one alpha byte in the first row",
     32,
     {1, 2, 3, 9, 4, 5, 6, 0, 7, 8, 9, 0, 1, 1, 1, 0},
     true,
     6,
     false,
     {{7, 8, 9, 0, 1, 1, 1, 0}, {1, 2, 3, 9, 4, 5, 6, 0}}},
    {"24 bits are never asked about",
     24,
     {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 1, 1, 1, 0, 0},
     true,
     6,
     false,
     {{7, 8, 9, 1, 1, 1, 0, 0}, {1, 2, 3, 4, 5, 6, 0, 0}}},
};

TEST(Import, TransparencyQuestion) {
    for (const QuestionCase& c : kQuestionCases) {
        SCOPED_TRACE(c.name);
        const int answer = c.answer;
        Import run(BuildBmp(Fields(2, 2, c.bits, c.pixels)), c.prompt,
                   [answer](orix::IoManager& m) { m.m_warningAnswer = answer; });
        ASSERT_FALSE(run.raised.raised) << run.raised.message;
        EXPECT_EQ(run.Rows(), c.rows);
        ASSERT_EQ(run.manager.m_warnings.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(run.manager.m_warnings[0].style, 2);
            EXPECT_EQ(run.manager.m_warnings[0].text, kQuestion);
        }
        // A second pass reports from 0 again and ends without a final 1.0.
        const bool second = c.asked && c.answer == 6;
        const std::vector<double> proportions =
            second ? std::vector<double>{0, 0.5, 1.0, 0, 0.5} : std::vector<double>{0, 0.5, 1.0};
        EXPECT_EQ(run.manager.Proportions(), proportions);
    }
}

TEST(Import, TheSecondPassReadsTheFileAgain) {
    // The file loses its last row while the question is open: the second pass
    // finds it cut short.
    // Larger than the file class's buffer, so that the rewind reads again.
    const Bytes file = BuildBmp(Fields(64, 300, 32, Bytes(64 * 4 * 300, 0)));
    TempDir dir;
    const std::string path = dir.Write("p.bmp", file);
    orix::IoManager manager;
    manager.m_warningHook = [&](int, const std::string&) {
        std::filesystem::resize_file(path, file.size() - 1);
        return 6;
    };
    auto filter = NewImportFilter(manager);
    const Raised r = Catch([&] { filter->ImportFile(path.c_str(), true); });
    EXPECT_EQ(r.line, 447);
    EXPECT_EQ(r.code, 8);
    EXPECT_EQ(r.args, (std::vector<std::string>{path, "Premature end of file."}));
}

TEST(Import, TheFileIsClosedBeforeTheDisplayEndsOnEveryWayOut) {
    const Bytes opaque = BuildBmp(Fields(64, 300, 32, Bytes(64 * 4 * 300, 0)));
    const Bytes small = BuildBmp(Fields(2, 2, 24, Bytes(16, 1)));
    using Script = std::function<void(orix::IoManager&, const std::string&)>;
    auto raiseAt = [](orix::ProgressEvent::Kind kind) -> Script {
        return [kind](orix::IoManager& m, const std::string&) {
            m.m_progressHook = [kind](const orix::ProgressEvent& e) {
                if (e.kind == kind) throw std::runtime_error("host failure");
                return true;
            };
        };
    };
    const struct {
        const char* name;
        Bytes file;
        Script script;
    } cases[] = {
        {"image handed over", small, nullptr},
        {"stopped", small,
         [](orix::IoManager& m, const std::string&) { m.m_stopAtProportion = 1; }},
        {"bit count refused", BuildBmp(Fields(1, 1, 2, Bytes(4, 0))), nullptr},
        {"row cut short", Cut(small, small.size() - 1), nullptr},
        {"second pass cut short", opaque,
         [&opaque](orix::IoManager& m, const std::string& path) {
             m.m_warningHook = [&opaque, path](int, const std::string&) {
                 std::filesystem::resize_file(path, opaque.size() - 1);
                 return 6;
             };
         }},
        {"a host call throws", small, raiseAt(orix::ProgressEvent::Proportion)},
        {"the message throws", small, raiseAt(orix::ProgressEvent::Message)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.Write("p.bmp", c.file);
        orix::IoManager manager;
        if (c.script) c.script(manager, path);
        auto filter = NewImportFilter(manager);
        try {
            filter->ImportFile(path.c_str(), true);
        } catch (...) {
        }
        std::vector<orix::ProgressEvent::Kind> tail;
        for (const auto& e : manager.m_progress)
            if (e.kind == orix::ProgressEvent::End ||
                (e.kind == orix::ProgressEvent::FileClosed && e.text == path))
                tail.push_back(e.kind);
        EXPECT_EQ(tail, (std::vector<orix::ProgressEvent::Kind>{orix::ProgressEvent::FileClosed,
                                                                orix::ProgressEvent::End}));
    }
}

TEST(Import, RowSizeRuleCountsTheStoredBitCount) {
    // 3 bits x 0x2AAAAAAA fits in 32 bits: the file reaches the bit-count
    // check. 16 bits count as the 24 they become.
    const struct {
        std::uint16_t bits;
        std::int32_t width;
        int line;
    } cases[] = {
        {3, 0x2AAAAAAA, 285}, {3, 0x2AAAAAAB, 221}, {16, 0x5555555, 325}, {16, 0x5555556, 221}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        const BmpFields f = Fields(c.width, 1, c.bits, {});
        Import run(BuildBmp(f));
        EXPECT_EQ(run.raised.line, c.line);
        std::string text;
        orix::IoManager manager;
        EXPECT_EQ(NewImportFilter(manager)->GetFileDescription(run.path.c_str(), text),
                  c.line != 221);
    }
}

// ---- Probe and description -----------------------------------------------------

TEST(Import, ProbeAndDescription) {
    struct Case {
        const char* name;
        Bytes file;
        bool probed;
        const char* description;  // null: refused, text untouched
    };
    BmpFields rle = Fields(300, -20, 8, {0, 1});
    rle.compression = 1;
    BmpFields core = Fields(5, 7, 4, Bytes(16, 0));
    core.headerSize = 12;
    BmpFields two = Fields(4, 1, 2, Bytes(4, 0));
    const Case cases[] = {
        {"8-bit top-down", BuildBmp(rle), true,
         "Microsoft BMP Image\r\nWidth:  300\r\nHeight:  -20\r\nBit Depth:  8\r\n"
         "Color Format:  256 colors w/palette\r\n"},
        {"core header", BuildBmp(core), true,
         "Microsoft BMP Image\r\nWidth:  5\r\nHeight:  7\r\nBit Depth:  4\r\n"
         "Color Format:  16 colors w/palette\r\n"},
        {"2 bits: described, not imported", BuildBmp(two), true,
         "Microsoft BMP Image\r\nWidth:  4\r\nHeight:  1\r\nBit Depth:  2\r\nColor Format:  "
         "Unknown\r\n"},
        {"signature", BuildBmp(With(core, [](BmpFields& f) { f.signature = 0x424D; })), false,
         nullptr},
        {"header cut short", Cut(BuildBmp(rle), 30), false, nullptr},
        {"height 0", BuildBmp(With(rle, [](BmpFields& f) { f.height = 0; })), false, nullptr},
        // The probe looks at the headers only; the description reads them all.
        {"two planes", BuildBmp(With(rle, [](BmpFields& f) { f.planes = 2; })), true, nullptr},
    };
    TempDir dir;
    orix::IoManager manager;
    auto filter = NewImportFilter(manager);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write("d.bmp", c.file);
        EXPECT_EQ(filter->IsFileSupported(path.c_str()), c.probed);
        std::string text = "kept";
        EXPECT_EQ(filter->GetFileDescription(path.c_str(), text), c.description != nullptr);
        EXPECT_EQ(text, c.description != nullptr ? c.description : "kept");
    }
    EXPECT_FALSE(filter->IsFileSupported(dir.File("missing.bmp").c_str()));
    for (const auto& event : manager.m_progress)  // no progress display, only files closed
        EXPECT_EQ(event.kind, orix::ProgressEvent::FileClosed);

    const std::pair<std::uint16_t, const char*> names[] = {{1, "monochrome"},
                                                           {15, "15-bit RGB"},
                                                           {16, "16-bit RGB"},
                                                           {24, "24-bit RGB"},
                                                           {32, "32-bit RGBA"}};
    for (const auto& [bits, name] : names) {
        const std::string path = dir.Write("n.bmp", BuildBmp(Fields(1, 1, bits, Bytes(4, 0))));
        std::string text;
        ASSERT_TRUE(filter->GetFileDescription(path.c_str(), text));
        EXPECT_EQ(text.substr(text.rfind("Color Format:  ")),
                  std::string("Color Format:  ") + name + "\r\n");
    }
}

}  // namespace
