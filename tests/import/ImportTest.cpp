// The import filter as a host drives it: files built byte by byte, imported
// through ImportBMP, and what the host received (image, error, progress,
// question) compared with what the file means.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "support/Plugin.h"

namespace {

using namespace testsupport;
using Kind = standin::ProgressEvent::Kind;

// A file to import, its fields set by name; indexed files get a full table.
struct File {
    BmpFields f;
    File(std::int32_t w, std::int32_t h, std::uint16_t bits, Bytes pixels = {}) {
        f.width = w;
        f.height = h;
        f.bitCount = bits;
        f.xPelsPerMeter = 0x12345678;
        f.yPelsPerMeter = 0x1A2B3C4D;
        for (int i = 0; bits <= 8 && i < 1 << bits; ++i)
            f.palette.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                 static_cast<std::uint8_t>(i * 7),
                                 static_cast<std::uint8_t>(i ^ 0x5A)});
        f.pixels = std::move(pixels);
    }
    File& Set(const std::function<void(BmpFields&)>& change) {
        change(f);
        return *this;
    }
    File& Masks(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
        f.compression = 3;
        f.masks = {red, green, blue};
        return *this;
    }
    // The run-length code of the bit count, or of `codeBits` (4 or 8).
    File& Rle(int codeBits = 0) {
        f.compression = (codeBits != 0 ? codeBits : f.bitCount) == 8 ? 1 : 2;
        return *this;
    }
    operator Bytes() const { return BuildBmp(f); }
};

Bytes Cut(const Bytes& file, std::size_t size) {
    return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
}

// One import, as the host sees it.
struct Import {
    standin::RecordingManager manager;
    Raised raised;
    int status = -1;
    TempDir dir;
    std::string path;

    std::size_t eventsAtReturn = 0;  // what the host saw before the slot returned

    explicit Import(
        const Bytes& file, bool prompt = false,
        const std::function<void(standin::RecordingManager&, const std::string&)>& script = {}) {
        path = dir.Write("picture.bmp", file);
        if (script) script(manager, path);
        auto filter = NewImportFilter(manager);
        raised = Catch([&] { status = filter->ImportFile(path.c_str(), prompt); });
        eventsAtReturn = manager.m_progress.size();
    }
    const standin::Image& Image() const { return *manager.m_imported.at(0); }
    std::vector<Bytes> Rows() const { return ImageRows(Image()); }
    int Count(Kind kind) const {
        return static_cast<int>(std::count_if(manager.m_progress.begin(), manager.m_progress.end(),
                                              [kind](const auto& e) { return e.kind == kind; }));
    }
};

Bytes TableBytes(const tagRGBQUAD* table) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(table);
    return Bytes(bytes, bytes + 256 * sizeof(tagRGBQUAD));
}

// Rows by index, no flags, and no colour table at the end.
bool PlainRowsByIndex(const standin::ImageCalls& calls) {
    return calls.lastOrder == orix::TrImage::RowsByIndex && calls.lastStartFlags == 0 &&
           calls.lastEndTableNull && calls.lastEndFlags == 0;
}

// ---- Pixels ------------------------------------------------------------------

struct PixelCase {
    const char* name;
    File file;
    tamb::ColorFormat format;
    std::vector<Bytes> rows;  // top first, the image's row size each
};

// 16 bits: 5-5-5 unless a mask names 5-6-5; the third byte always comes from
// the top bits, and the stored padding is not carried into the wider row.
// clang-format off
const PixelCase kPixelCases[] = {
    {"4 bits, top-down", File(5, -2, 4, {0x01, 0x23, 0x40, 0, 0xFE, 0xDC, 0xB0, 0}), tamb::ColorIndexed4,
     {{0x01, 0x23, 0x40, 0}, {0xFE, 0xDC, 0xB0, 0}}},
    {"8 bits keep the stored padding", File(3, 3, 8, {1, 2, 3, 0xE1, 4, 5, 6, 0xE2, 7, 8, 9, 0xE3}),
     tamb::ColorIndexed8, {{7, 8, 9, 0xE3}, {4, 5, 6, 0xE2}, {1, 2, 3, 0xE1}}},
    {"8 bits, core header", File(2, 2, 8, {10, 11, 0, 0, 12, 13, 0, 0}).Set([](BmpFields& f) { f.headerSize = 12; }),
     tamb::ColorIndexed8, {{12, 13, 0, 0}, {10, 11, 0, 0}}},
    {"124-byte header, pixel offset 0",
     File(1, 1, 8, {9, 8, 7, 0}).Set([](BmpFields& f) { f.headerSize = 124; f.offBits = 0; }),
     tamb::ColorIndexed8, {{9, 8, 7, 0}}},
    {"pixel offset past a gap", File(1, 1, 24, {9, 8, 7, 0}).Set([](BmpFields& f) { f.gap = 7; }),
     tamb::ColorBgr24, {{9, 8, 7, 0}}},
    {"4 bits, two colours named", File(1, 1, 4, {0x10, 0, 0, 0}).Set([](BmpFields& f) { f.clrUsed = 2; f.palette.resize(2); }),
     tamb::ColorIndexed4, {{0x10, 0, 0, 0}}},
    {"32-bit bit fields", File(1, 1, 32, {1, 2, 3, 4}).Masks(0xFF0000, 0xFF00, 0xFF), tamb::ColorBgra32,
     {{1, 2, 3, 4}}},
    {"16 bits, 5-6-5", File(3, 1, 16, {0x00, 0xF8, 0xE0, 0x07, 0x10, 0x84, 0xEE, 0xEE}).Masks(0xF800, 0x07E0, 0x1F),
     tamb::ColorBgr24, {{0, 0, 255, 0, 255, 0, 131, 129, 131, 0, 0, 0}}},
    {"16 bits, 5-6-5 by the blue mask", File(2, 1, 16, {0x20, 0, 1, 0}).Masks(0x1F, 0x07E0, 0xF800),
     tamb::ColorBgr24, {{0, 4, 0, 8, 0, 0, 0, 0}}},
    // Four pixels fill the 24-bit row exactly: nothing may land past it.
    {"16 bits, other masks", File(4, 1, 16, {0x20, 0, 0, 0, 1, 0, 0, 0x7C}).Masks(0x7C00, 0x03E0, 0x1F),
     tamb::ColorBgr24, {{0, 8, 0, 0, 0, 0, 8, 0, 0, 0, 0, 255}}},
};
// clang-format on

TEST(Import, RowsFormatTableAndResolution) {
    for (const PixelCase& c : kPixelCases) {
        SCOPED_TRACE(c.name);
        Import run(c.file);
        ASSERT_FALSE(run.raised.raised) << run.raised.message;
        EXPECT_EQ(run.status, 1);  // the leading flag is clear
        const standin::Image& image = run.Image();
        const bool core = c.file.f.headerSize == 12;
        EXPECT_EQ(image.GetColorFormat(), c.format);
        EXPECT_EQ(image.GetXPelsPerMeter(), core ? 0 : 0x12345678);
        EXPECT_EQ(image.GetYPelsPerMeter(), core ? 0 : 0x1A2B3C4D);
        EXPECT_EQ(run.Rows(), c.rows);
        EXPECT_EQ(run.manager.m_imageCalls.scanlineEnd, 1);
        EXPECT_TRUE(PlainRowsByIndex(run.manager.m_imageCalls));
        // The whole table: the entries the file gives, whole (a core entry
        // has no fourth byte), and zero after them in a fresh filter.
        std::vector<tagRGBQUAD> table(256, tagRGBQUAD{0, 0, 0, 0});
        std::copy(c.file.f.palette.begin(), c.file.f.palette.end(), table.begin());
        for (std::size_t i = 0; core && i < c.file.f.palette.size(); ++i) table[i].rgbReserved = 0;
        EXPECT_EQ(TableBytes(image.ColorTable()), TableBytes(table.data()));
    }
}

// Every 16-bit value, in both layouts, through both of the import's ways to
// expand them: eight pixels at a time, and one by one for a row's last few.
// At width 256 every value goes eight at a time, at width 7 one by one; at
// width 255 each row ends in seven single pixels. Pixel i of a picture holds
// value i mod 2^16; its channels must become c * 255 / 31 (5 bits) and
// c * 255 / 63 (6 bits), the fraction dropped, blue first. The stored rows'
// padding is set, so that a pixel expanded past a row's end shows in the
// image's padding, which must stay zero.
TEST(Import, EverySixteenBitValue) {
    for (const bool is565 : {false, true}) {
        Bytes bgr;  // what each value becomes, three bytes each
        for (std::uint32_t v = 0; v < 0x10000; ++v) {
            const std::uint32_t red = is565 ? v >> 11 : (v >> 10) & 0x1F;
            const std::uint32_t green = is565 ? (v >> 5) & 0x3F : (v >> 5) & 0x1F;
            bgr.insert(bgr.end(), {static_cast<std::uint8_t>((v & 0x1F) * 255 / 31),
                                   static_cast<std::uint8_t>(green * 255 / (is565 ? 63 : 31)),
                                   static_cast<std::uint8_t>(red * 255 / 31)});
        }
        for (const std::size_t width : {256, 7, 255}) {
            const std::size_t rows = (0x10000 + width - 1) / width;
            const std::size_t stride = (2 * width + 3) / 4 * 4, imageRow = (3 * width + 3) / 4 * 4;
            SCOPED_TRACE(std::string(is565 ? "5-6-5, " : "5-5-5, ") + std::to_string(width));
            Bytes pixels(stride * rows, 0xFF);
            std::vector<Bytes> expected(rows, Bytes(imageRow, 0));  // padding zero
            for (std::size_t i = 0; i < width * rows; ++i) {
                const std::size_t v = i & 0xFFFF, y = i / width, x = i % width;
                pixels[stride * y + 2 * x] = static_cast<std::uint8_t>(v);
                pixels[stride * y + 2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                std::copy_n(&bgr[3 * v], 3, &expected[y][3 * x]);
            }
            File file(static_cast<std::int32_t>(width), -static_cast<std::int32_t>(rows), 16,
                      pixels);
            if (is565) file.Masks(0xF800, 0x07E0, 0x1F);
            Import run(file);
            ASSERT_FALSE(run.raised.raised) << run.raised.message;
            const std::vector<Bytes> got = run.Rows();
            ASSERT_EQ(got.size(), rows);
            const auto differs = std::mismatch(got.begin(), got.end(), expected.begin()).first;
            EXPECT_EQ(differs - got.begin(), static_cast<std::ptrdiff_t>(rows)) << "first row off";
        }
    }
}

// ---- Run-length coding ---------------------------------------------------------

struct RleCase {
    const char* name;
    int bits, width, height;
    Bytes stream;
    std::vector<Bytes> rows;  // top first
    int codeBits = 0;         // the run-length code's depth; 0: the bit count's
};

// clang-format off
const RleCase kRleCases[] = {
    {"8: runs and an odd literal with its pad", 8, 6, 1, {2, 7, 0, 3, 1, 0, 3, 0, 1, 9, 0, 1},
     {{7, 7, 1, 0, 3, 9, 0, 0}}},
    {"8: end of bitmap ends only its row", 8, 2, 3, {2, 4, 0, 1, 2, 9},
     {{0, 0, 0, 0}, {9, 9, 0, 0}, {4, 4, 0, 0}}},
    {"8: a move of 0, then a literal cut short by the file's end", 8, 4, 1, {0, 2, 0, 0, 0, 4, 1, 2}, {{1, 2, 0, 0}}},
    {"8: a run and a literal clipped", 8, 3, 2, {5, 1, 0, 0, 0, 4, 2, 3, 4, 5, 0, 0},
     {{2, 3, 4, 0}, {1, 1, 1, 0}}},
    {"8: delta across, then down two rows", 8, 4, 4, {1, 1, 0, 2, 1, 0, 1, 2, 0, 2, 0, 2, 1, 3, 0, 0, 2, 4},
     {{4, 4, 0, 0}, {0, 0, 0, 3}, {0, 0, 0, 0}, {1, 0, 2, 0}}},
    // At 19 pixels the row's last byte is padding, which a run stored past
    // its end would reach.
    {"8: short runs in a wide row, then a line's end and a delta", 8, 19, 2,
     {1, 7, 0, 0, 1, 5, 0, 2, 3, 0, 1, 6, 0, 1},
     {{5, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"8: runs of 0 within a row", 8, 4, 2, {1, 5, 2, 0, 1, 7, 0, 0, 2, 0, 1, 6, 0, 1}, {{0, 0, 6, 0}, {5, 0, 0, 7}}},
    {"4: runs alternate nibbles, also from an odd column", 4, 7, 1, {3, 0x12, 4, 0x34, 0, 1},
     {{0x12, 0x13, 0x43, 0x40}}},
    {"4: literals of 3, 4 and 5 pixels, the last clipped, only it with a pad", 4, 11, 1,
     {0, 3, 0xAB, 0xC0, 0, 4, 0x12, 0x34, 0, 5, 0x56, 0x78, 0x90, 0, 0, 1}, {{0xAB, 0xC1, 0x23, 0x45, 0x67, 0x80, 0, 0}}},
    {"4: the spare nibble of an odd literal is dropped", 4, 5, 1, {0, 3, 0xAB, 0xCD, 0, 1}, {{0xAB, 0xC0, 0, 0}}},
    {"4: delta and clipped runs", 4, 5, 2, {0, 2, 3, 0, 9, 0x77, 2, 0x11, 0, 0, 0, 2, 0, 1, 1, 0xF0},
     {{0, 0, 0, 0}, {0, 0x07, 0x70, 0}}},
    // The 4-bit code at a wider bit count: its bytes land at the start of the
    // row; at 16 bits the rest is the row before it, as expanded. At 32 bits
    // the opaque pass reads the file again, from before the move down.
    {"4-bit code at 8 bits", 8, 5, 1, {3, 0x12, 0, 1}, {{0x12, 0x10, 0, 0, 0, 0, 0, 0}}, 4},
    {"4-bit code at 32 bits, read twice", 32, 1, 1, {1, 0x10, 0, 2, 0, 5}, {{0x10, 0, 0, 255}}, 4},
    {"4-bit code at 16 bits", 16, 2, 2, {2, 0xAB, 0, 0, 2, 0xCD, 0, 1},
     {{106, 115, 82, 0, 0, 0, 0, 0}, {90, 41, 0, 0, 0, 0, 0, 0}}, 4},
};
// clang-format on

TEST(Import, RunLengthRows) {
    // One filter for all the files, as a host keeps one: nothing of one
    // file's decoding may reach the next.
    TempDir dir;
    standin::RecordingManager manager;
    manager.m_warningAnswer = 6;  // opaque, for the 32-bit file without alpha
    auto filter = NewImportFilter(manager);
    for (const RleCase& c : kRleCases) {
        SCOPED_TRACE(c.name);
        const Bytes file =
            File(c.width, c.height, static_cast<std::uint16_t>(c.bits), c.stream).Rle(c.codeBits);
        const std::string path = dir.Write("rle.bmp", file);
        manager.m_imported.clear();
        const Raised raised = Catch([&] { filter->ImportFile(path.c_str(), true); });
        ASSERT_FALSE(raised.raised) << raised.message;
        EXPECT_EQ(ImageRows(*manager.m_imported.at(0)), c.rows);
    }
}

TEST(Import, RunLengthRoundTrip) {
    // The shared encoder's own codes, every kind of them (runs of 1 to 21,
    // literals, deltas over zeros, an early end), decode to the picture.
    const int w = 61, h = 12;
    for (int bits : {4, 8}) {
        std::vector<Bytes> picture;  // stored order; its two zero rows come last
        for (int y = h - 1; y >= 0; --y) {
            Bytes row;
            for (int x = 0; x < w; ++x) {
                const bool literal = y % 2 == 1 && x > 40 && x < 52;
                const int v = y < 2 || x % 29 < 5 ? 0 : literal ? x * 7 + y : x / (2 * y - 3) + y;
                row.push_back(static_cast<std::uint8_t>(v % (1 << bits)));
            }
            picture.push_back(row);
        }
        const auto depth = static_cast<std::uint16_t>(bits);
        Import run(File(w, h, depth, bmpbytes::EncodeRunLength(picture, bits, true)).Rle());
        ASSERT_FALSE(run.raised.raised) << run.raised.message;
        for (int y = 0; y < h; ++y) {
            Bytes expected = bmpbytes::PackRow(picture[static_cast<std::size_t>(h - 1 - y)], bits);
            expected.resize(bmpbytes::StrideFor(w, bits), 0);
            EXPECT_EQ(run.Rows()[static_cast<std::size_t>(y)], expected) << bits << " bits, " << y;
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

std::vector<ErrorCase> ErrorCases() {
    const Bytes eight = File(3, 2, 8, Bytes(8, 1));
    auto with = [](const std::function<void(BmpFields&)>& change) {
        return File(3, 2, 8, Bytes(8, 1)).Set(change);
    };
    const std::string end = "Premature end of file";
    // clang-format off
    return {
        {"file header cut short", Cut(eight, 13), 215, 8, {end}},
        {"header size field cut short", Cut(eight, 16), 225, 1, {}},
        {"information header cut short", Cut(eight, 53), 225, 1, {}},
        {"core header cut short", Cut(with([](BmpFields& f) { f.headerSize = 12; }), 25), 225, 1, {}},
        {"header size below 40", with([](BmpFields& f) { f.headerSize = 39; }), 221, 16, {}},
        {"width 0", with([](BmpFields& f) { f.width = 0; }), 221, 16, {}},
        {"height 0", with([](BmpFields& f) { f.height = 0; }), 221, 16, {}},
        // Refused by the import once the reader has accepted the headers.
        {"height -2^31", with([](BmpFields& f) { f.height = INT_MIN; }), 221, 16, {}},
        {"height -2^31, two planes", with([](BmpFields& f) { f.height = INT_MIN, f.planes = 2; }), 217, 16, {}},
        {"more than 256 colours", with([](BmpFields& f) { f.clrUsed = 257; }), 221, 16, {}},
        {"unknown compression", with([](BmpFields& f) { f.compression = 4; }), 217, 16, {}},
        {"4-bit run-length code at 2 bits", File(1, 1, 2).Rle(4), 217, 16, {}},
        {"4-bit run-length code at 5 bits", File(1, 1, 5).Rle(4), 285, 16, {}},
        {"masks cut short", Cut(File(1, 1, 16).Masks(0xF800, 0x07E0, 0x1F), 14 + 40 + 11), 215, 8, {end}},
        {"colour table cut short", Cut(eight, 14 + 40 + 4 * 256 - 1), 215, 8, {end}},
        {"core colour table cut short", Cut(with([](BmpFields& f) { f.headerSize = 12; }), 14 + 12 + 3 * 256 - 1),
         215, 8, {end}},
        {"pixel rows cut short", Cut(eight, eight.size() - 1), 325, 8, {end + "."}},
        // Rows whose bits leave 32 bits are refused at once; the bit count
        // counts as stored, 16 bits as the 24 they become.
        {"3 bits x 0x2AAAAAAA fits", File(0x2AAAAAAA, 1, 3), 285, 16, {}},
        {"3 bits x 0x2AAAAAAB", File(0x2AAAAAAB, 1, 3), 221, 16, {}},
        {"16 bits x 0x5555555 fits", File(0x5555555, 1, 16), 325, 8, {end + "."}},
        {"16 bits x 0x5555556", File(0x5555556, 1, 16), 221, 16, {}},
    };
    // clang-format on
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
        const int begun = run.Count(Kind::Begin);
        EXPECT_EQ(begun, c.line >= 285 ? 1 : 0);
        EXPECT_EQ(run.Count(Kind::End), begun);
        EXPECT_EQ(run.Count(Kind::Message), begun);
    }
}

// ---- Progress, stop and the transparency question ------------------------------

TEST(Import, ResultsAndStops) {
    const Bytes file = File(1, 4, 24, Bytes(16, 3));
    // Status 0 only for an image taken while the manager's leading flag is set.
    const struct {
        long stopAt;  // -1: no stop
        unsigned char flag;
        bool taken;
        int status;
    } cases[] = {{-1, 0, true, 1}, {-1, 1, true, 0}, {-1, 1, false, 1}, {0, 1, true, 1},
                 {1, 1, true, 1},  {2, 1, true, 1},  {3, 1, true, 1},   {4, 1, true, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stopAt << " " << int{c.flag} << " " << c.taken);
        Import run(file, false, [&c](standin::RecordingManager& m, auto&) {
            m.m_stopAtProportion = c.stopAt;
            m.m_leadingFlag = c.flag;
            m.m_importAnswer = c.taken;
        });
        EXPECT_FALSE(run.raised.raised);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.manager.m_importObjectCalls, c.stopAt < 0 ? 1 : 0);
        const std::vector<double> all = {0, 0.25, 0.5, 0.75, 1.0};
        EXPECT_EQ(
            run.manager.Proportions(),
            std::vector<double>(all.begin(), all.begin() + (c.stopAt < 0 ? 5 : c.stopAt + 1)));
        EXPECT_EQ(run.manager.Messages(),
                  std::vector<std::string>{"Importing BMP file picture.bmp"});
        EXPECT_EQ(run.Count(Kind::End), 1);
    }
}

const char kQuestion[] =
    "While importing the requested file, a 32 bit-per-pixel image was encountered that is either "
    "100% transparent or contains no valid transparency information.  This may render the image "
    "completely invisible when drawn on the screen. \n\nShould this image be converted to opaque "
    "instead of transparent? \n";

TEST(Import, TransparencyQuestion) {
    // Two rows of two pixels; a case may set one alpha byte (at a stored
    // byte offset). The host answers yes.
    const struct {
        const char* name;
        int alphaAt;  // -1: every alpha byte 0
        bool prompt;
        bool asked;
    } cases[] = {
        {"all alpha 0", -1, true, true},
        {"no question allowed", -1, false, false},
        {"one alpha byte in the last row", 15, true, false},
        {"one alpha byte in the first row", 3, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stored = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 1, 1, 1, 0};
        if (c.alphaAt >= 0) stored[static_cast<std::size_t>(c.alphaAt)] = 9;
        Import run(File(2, 2, 32, stored), c.prompt,
                   [](standin::RecordingManager& m, auto&) { m.m_warningAnswer = 6; });
        ASSERT_FALSE(run.raised.raised) << run.raised.message;
        // A yes reads the rows again with every alpha byte 255; that pass
        // reports from 0 again and ends without a final 1.0.
        for (std::size_t i = 3; c.asked && i < stored.size(); i += 4) stored[i] = 255;
        EXPECT_EQ(run.Rows(), (std::vector<Bytes>{Bytes(stored.begin() + 8, stored.end()),
                                                  Bytes(stored.begin(), stored.begin() + 8)}));
        ASSERT_EQ(run.manager.m_warnings.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(run.manager.m_warnings[0].style, 2);
            EXPECT_EQ(run.manager.m_warnings[0].text, kQuestion);
        }
        const std::vector<double> proportions =
            c.asked ? std::vector<double>{0, 0.5, 1.0, 0, 0.5} : std::vector<double>{0, 0.5, 1.0};
        EXPECT_EQ(run.manager.Proportions(), proportions);
        EXPECT_EQ(run.manager.m_imageCalls.scanlineStart, c.asked ? 2 : 1);
        EXPECT_EQ(run.manager.m_imageCalls.scanlineEnd, c.asked ? 2 : 1);
        EXPECT_TRUE(PlainRowsByIndex(run.manager.m_imageCalls));
    }
}

// ---- Every way out: the error, and the file closed before the display ends ----

TEST(Import, TheFileIsClosedBeforeTheDisplayEndsOnEveryWayOut) {
    using Script = std::function<void(standin::RecordingManager&, const std::string&)>;
    auto raiseAt = [](Kind kind) -> Script {
        return [kind](standin::RecordingManager& m, const std::string&) {
            m.m_progressHook = [kind](const standin::ProgressEvent& e) {
                if (e.kind == kind) throw std::runtime_error("host failure");
                return true;
            };
        };
    };
    // Larger than the file class's buffer, so that the second pass reads the
    // file again: it loses its last byte while the question is open.
    const Bytes clear = File(64, 300, 32, Bytes(64 * 4 * 300, 0));
    const Script shorten = [&clear](standin::RecordingManager& m, const std::string& path) {
        m.m_warningHook = [&clear, path](int, const std::string&) {
            std::filesystem::resize_file(path, clear.size() - 1);
            return 6;
        };
    };
    const Bytes small = File(2, 2, 24, Bytes(16, 1));
    // Managers made after the importing one and gone before the import leave
    // it the recorder of its thread: its log has the file's closing.
    const Script outOfOrder = [](standin::RecordingManager&, auto&) {
        auto b = std::make_unique<standin::RecordingManager>();
        auto c = std::make_unique<standin::RecordingManager>();
        b.reset();
        c.reset();
    };
    const Script elsewhere = [](standin::RecordingManager&, auto&) {
        auto b = std::make_unique<standin::RecordingManager>();
        std::thread([&b] { b.reset(); }).join();
    };
    constexpr int kHostFailure = -1;
    const std::vector<Kind> closedOnly = {Kind::FileClosed};
    const std::vector<Kind> closedThenEnded = {Kind::FileClosed, Kind::End};
    const std::vector<Kind> handedOver = {Kind::FileClosed, Kind::ImageHandedOver, Kind::End};
    const struct {
        const char* name;
        Bytes file;
        Script script;
        int line;                 // 0: no error; kHostFailure: the host's own, passed on
        std::vector<Kind> order;  // before the slot returned
    } cases[] = {
        {"image handed over", small, nullptr, 0, handedOver},
        {"later managers destroyed out of order", small, outOfOrder, 0, handedOver},
        {"a later manager destroyed on another thread", small, elsewhere, 0, handedOver},
        {"stopped", small, [](standin::RecordingManager& m, auto&) { m.m_stopAtProportion = 1; }, 0,
         closedThenEnded},
        {"bit count refused", File(1, 1, 2, Bytes(4, 0)), nullptr, 285, closedThenEnded},
        {"row cut short", Cut(small, small.size() - 1), nullptr, 325, closedThenEnded},
        {"second pass cut short", clear, shorten, 447, closedThenEnded},
        {"stopped in the second pass", File(1, 2, 32, Bytes(8, 0)),
         [](standin::RecordingManager& m, auto&) {
             m.m_warningAnswer = 6, m.m_stopAtProportion = 3;
         },
         0, closedThenEnded},
        {"a host call throws", small, raiseAt(Kind::Proportion), kHostFailure, closedThenEnded},
        {"the message throws", small, raiseAt(Kind::Message), kHostFailure, closedThenEnded},
        {"the display's start throws", small, raiseAt(Kind::Begin), kHostFailure, closedOnly},
        {"the display's end throws", small, raiseAt(Kind::End), kHostFailure, handedOver},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Import run(c.file, true, c.script);
        EXPECT_EQ(run.raised.raised, c.line != 0);
        EXPECT_EQ(run.raised.line, std::max(c.line, 0)) << run.raised.message;
        if (c.line == kHostFailure) {
            EXPECT_EQ(run.raised.message, "host failure");
        }
        // The file is closed before the image is handed over, before the
        // display ends, and before the slot returns.
        std::vector<Kind> order;
        for (std::size_t i = 0; i < run.eventsAtReturn; ++i) {
            const standin::ProgressEvent& e = run.manager.m_progress[i];
            if (e.kind == Kind::End || e.kind == Kind::ImageHandedOver ||
                (e.kind == Kind::FileClosed && e.text == run.path))
                order.push_back(e.kind);
        }
        EXPECT_EQ(order, c.order);
        EXPECT_EQ(run.manager.m_importObjectCalls, c.order == handedOver ? 1 : 0);
    }
}

TEST(Import, AnOverlappingCallOnTheSameFilterIsRefused) {
    // A host must not overlap calls on one filter. If it does, the reader,
    // still open, refuses the inner call and closes, and the outer one stops
    // at its next row.
    for (const bool inQuestion : {false, true}) {
        SCOPED_TRACE(inQuestion);
        TempDir dir;
        const std::string path = dir.Write("p.bmp", File(1, 2, 32, Bytes(8, 0)));
        standin::RecordingManager manager;
        auto filter = NewImportFilter(manager);
        Raised inner;
        auto overlap = [&] { inner = Catch([&] { filter->ImportFile(path.c_str(), false); }); };
        manager.m_progressHook = [&](const standin::ProgressEvent& e) {
            if (!inQuestion && e.kind == Kind::Message) overlap();
            return true;
        };
        manager.m_warningHook = [&](int, const std::string&) { return overlap(), 6; };
        const Raised outer = Catch([&] { filter->ImportFile(path.c_str(), true); });
        EXPECT_EQ(inner.line, 223);
        EXPECT_EQ(inner.code, 1);
        EXPECT_EQ(outer.line, inQuestion ? 449 : 327);
        EXPECT_EQ(outer.code, 1);
    }
}

// ---- Probe, description and files that cannot be opened --------------------------

TEST(Import, ProbeDescriptionAndFilesThatCannotBeOpened) {
    struct Case {
        const char* name;
        Bytes file;
        bool probed;
        const char* description;  // null: refused, text untouched
    };
    const File rle = File(300, -20, 8, {0, 1}).Rle();
    const Case cases[] = {
        {"8-bit top-down, 124-byte header", File(rle).Set([](BmpFields& f) { f.headerSize = 124; }),
         true,
         "Microsoft BMP Image\r\nWidth:  300\r\nHeight:  -20\r\nBit Depth:  8\r\n"
         "Color Format:  256 colors w/palette\r\n"},
        // Sizes the import refuses are described.
        {"height -2^31, 16-bit rows of 2^31 bits and more", File(100000000, INT_MIN, 16), true,
         "Microsoft BMP Image\r\nWidth:  100000000\r\nHeight:  -2147483648\r\nBit Depth:  16\r\n"
         "Color Format:  16-bit RGB\r\n"},
        {"header cut short", Cut(rle, 30), false, nullptr},
        {"height 0", File(rle).Set([](BmpFields& f) { f.height = 0; }), false, nullptr},
        // The probe looks at the headers only; the description reads them all.
        {"two planes", File(rle).Set([](BmpFields& f) { f.planes = 2; }), true, nullptr},
    };
    TempDir dir;
    standin::RecordingManager manager;
    auto filter = NewImportFilter(manager);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write("d.bmp", c.file);
        manager.m_seeks.clear();
        EXPECT_EQ(filter->IsFileSupported(path.c_str()), c.probed);
        std::string text = "kept";
        EXPECT_EQ(filter->GetFileDescription(path.c_str(), text), c.description != nullptr);
        EXPECT_EQ(text, c.description != nullptr ? c.description : "kept");
        // The probe skips nothing; the description only the tail of a larger header.
        EXPECT_EQ(std::count_if(manager.m_seeks.begin(), manager.m_seeks.end(),
                                [](const standin::SeekRecord& s) {
                                    return s.origin == tamb::CBufferedFile::FromCurrent;
                                }),
                  c.file[14] > 40 ? 1 : 0);
    }
    for (const auto& event : manager.m_progress)  // no progress display, only files closed
        EXPECT_EQ(event.kind, Kind::FileClosed);
    const std::string missing = dir.File("none/picture.bmp");
    EXPECT_FALSE(filter->IsFileSupported(missing.c_str()));
    const Raised r = Catch([&] { filter->ImportFile(missing.c_str(), false); });
    EXPECT_EQ(r.line, 213);
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.args, (std::vector<std::string>{
                          missing, tamb::FormatSystemErrorMsg(MissingDirectoryCode())}));
    // A header cut short sets no reason of its own: the last one is not reported again.
    const std::string cut = dir.Write("cut.bmp", Cut(File(1, 1, 24), 16));
    EXPECT_EQ(Catch([&] { filter->ImportFile(cut.c_str(), false); }).line, 225);
}

}  // namespace
