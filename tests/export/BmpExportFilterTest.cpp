#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "ExportSupport.h"
#include "frame/BmpExportFilter.h"
#include "support/BmpBuilder.h"

namespace {

using exporttest::CaptureError;
using exporttest::Describe;
using exporttest::ExpectedExport;
using exporttest::GreyRamp;
using exporttest::MakeImage;
using testsupport::Bytes;
using testsupport::FileExists;
using testsupport::ReadFileBytes;
using testsupport::TempDir;

const std::string kSource = ".\\BmpExportFilter";

// A small image of a given format whose export is known to succeed.
std::unique_ptr<orix::TrImage> SmallImage(int height = 2) {
    std::vector<Bytes> rows;
    for (int y = 0; y < height; ++y)
        rows.push_back({static_cast<std::uint8_t>(y), 2, 3, 4, 5, 6, 7, 8, 9});
    return MakeImage(3, tamb::ColorBgr24, rows);
}

int CountEvents(const orix::IoManager& manager, orix::ProgressEvent::Kind kind) {
    int n = 0;
    for (const auto& event : manager.m_progress) n += event.kind == kind;
    return n;
}

TEST(BmpExportFilterSetup, RegistersTheFiveFormatOptions) {
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    const char* expected[] = {"ExportImageFormatBGRA32", "ExportImageFormatBGR24",
                              "ExportImageFormatIndexed8", "ExportImageFormatIndexed4",
                              "ExportImageFormatIndexed1"};
    ASSERT_EQ(manager.m_options.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(manager.m_options[i].name, expected[i]);
        EXPECT_TRUE(manager.m_options[i].first);
        EXPECT_TRUE(manager.m_options[i].second);
    }
    EXPECT_TRUE(manager.m_progress.empty());
}

// Every colour format, exported from a 3 x 2 image and compared whole.
TEST(BmpExportFilterFormats, EachColourFormatGivesItsFile) {
    const auto palette = testsupport::TestPalette(256);
    auto first = [&](int n) {
        return std::vector<tagRGBQUAD>(palette.begin(), palette.begin() + n);
    };
    std::vector<tagRGBQUAD> tenThenZeros = first(10);
    tenThenZeros.resize(256, tagRGBQUAD{0, 0, 0, 0});

    struct Case {
        const char* name;
        tamb::ColorFormat format;
        std::vector<Bytes> topDown;  // the image's rows as it holds them
        int coloursUsed;             // -1: as the image announces them
        int bitCount;
        std::vector<tagRGBQUAD> table;
        std::vector<Bytes> stored;  // rows as the file holds them, bottom row first
    };
    const std::vector<Case> cases = {
        {"grey 1", tamb::ColorGray1, {{0xA0}, {0x40}}, -1, 1, GreyRamp(2), {{0x40}, {0xA0}}},
        {"grey 4",
         tamb::ColorGray4,
         {{0x0F, 0x50}, {0xA3, 0xC0}},
         -1,
         4,
         GreyRamp(16),
         {{0xA3, 0xC0}, {0x0F, 0x50}}},
        {"grey 8",
         tamb::ColorGray8,
         {{0, 128, 255}, {7, 8, 9}},
         -1,
         8,
         GreyRamp(256),
         {{7, 8, 9}, {0, 128, 255}}},
        {"indexed 1", tamb::ColorIndexed1, {{0x60}, {0x80}}, -1, 1, first(2), {{0x80}, {0x60}}},
        {"indexed 4",
         tamb::ColorIndexed4,
         {{0x12, 0x30}, {0xEF, 0xD0}},
         -1,
         4,
         first(16),
         {{0xEF, 0xD0}, {0x12, 0x30}}},
        {"indexed 8",
         tamb::ColorIndexed8,
         {{1, 2, 3}, {250, 251, 252}},
         -1,
         8,
         first(256),
         {{250, 251, 252}, {1, 2, 3}}},
        {"indexed 8 using 10 colours",
         tamb::ColorIndexed8,
         {{1, 2, 3}, {9, 8, 7}},
         10,
         8,
         tenThenZeros,
         {{9, 8, 7}, {1, 2, 3}}},
        {"indexed 4 claiming 200 colours",
         tamb::ColorIndexed4,
         {{0x12, 0x30}, {0xEF, 0xD0}},
         200,
         4,
         first(16),
         {{0xEF, 0xD0}, {0x12, 0x30}}},
        {"indexed 1 using none",
         tamb::ColorIndexed1,
         {{0x60}, {0x80}},
         0,
         1,
         std::vector<tagRGBQUAD>(2, tagRGBQUAD{0, 0, 0, 0}),
         {{0x80}, {0x60}}},
        {"blue green red",
         tamb::ColorBgr24,
         {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {9, 8, 7, 6, 5, 4, 3, 2, 1}},
         -1,
         24,
         {},
         {{9, 8, 7, 6, 5, 4, 3, 2, 1}, {1, 2, 3, 4, 5, 6, 7, 8, 9}}},
        {"blue green red alpha",
         tamb::ColorBgra32,
         {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
          {21, 22, 23, 0, 25, 26, 27, 255, 29, 30, 31, 32}},
         -1,
         32,
         {},
         {{21, 22, 23, 0, 25, 26, 27, 255, 29, 30, 31, 32},
          {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}},
        // 5-6-5 words: pure red, green, blue; black, white, mid grey.
        {"5-6-5 converted",
         tamb::ColorRgb565,
         {{0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00}, {0x00, 0x00, 0xFF, 0xFF, 0x10, 0x84}},
         -1,
         24,
         {},
         {{0, 0, 0, 255, 255, 255, 131, 129, 131}, {0, 0, 255, 0, 255, 0, 255, 0, 0}}},
        {"red green blue alpha converted",
         tamb::ColorRgba32,
         {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
          {21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32}},
         -1,
         24,
         {},
         {{23, 22, 21, 27, 26, 25, 31, 30, 29}, {3, 2, 1, 7, 6, 5, 11, 10, 9}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("out.bmp");
        auto image = MakeImage(3, c.format, c.topDown, palette, 3780, 1234);
        if (c.coloursUsed >= 0) image->SetNumColorTableEntriesUsed(c.coloursUsed);
        orix::IoManager manager;
        BmpExportFilter filter(manager);
        ASSERT_EQ(filter.BeginExport(path.c_str(), false), orix::ExportDone);
        ASSERT_EQ(filter.ExportObject(*image), orix::ExportDone);
        ASSERT_EQ(filter.EndExport(), orix::ExportDone);
        EXPECT_EQ(ReadFileBytes(path),
                  ExpectedExport(3, 2, c.bitCount, c.table, c.stored, 3780, 1234));
        EXPECT_EQ(image->m_getScanlineStartCalls, 1);
        EXPECT_EQ(image->m_getScanlineEndCalls, 1);
    }
}

TEST(BmpExportFilterFormats, GreyRampsAreEvenSteps) {
    // 4 bits: 0, 17, 34 ... 255 in blue, green and red.
    TempDir dir;
    const std::string path = dir.File("ramp.bmp");
    auto image = MakeImage(2, tamb::ColorGray4, {{0x0F}});
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    filter.BeginExport(path.c_str(), false);
    ASSERT_EQ(filter.ExportObject(*image), orix::ExportDone);
    filter.EndExport();
    const Bytes file = ReadFileBytes(path);
    ASSERT_EQ(file.size(), 54u + 64 + 4);
    for (int i = 0; i < 16; ++i) {
        const Bytes entry(file.begin() + 54 + 4 * i, file.begin() + 58 + 4 * i);
        const auto v = static_cast<std::uint8_t>(17 * i);
        EXPECT_EQ(entry, (Bytes{v, v, v, 0})) << "entry " << i;
    }
}

TEST(BmpExportFilterFormats, RowsWiderThanOneByteArePaddedAndBottomUp) {
    // 5 x 3 at 24 bits: stride 16, one pad byte a row.
    std::vector<Bytes> rows;
    for (int y = 0; y < 3; ++y) {
        Bytes row;
        for (int x = 0; x < 15; ++x) row.push_back(static_cast<std::uint8_t>(16 * y + x));
        rows.push_back(row);
    }
    TempDir dir;
    const std::string path = dir.File("wide.bmp");
    auto image = MakeImage(5, tamb::ColorBgr24, rows);
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    filter.BeginExport(path.c_str(), false);
    ASSERT_EQ(filter.ExportObject(*image), orix::ExportDone);
    filter.EndExport();
    EXPECT_EQ(ReadFileBytes(path), ExpectedExport(5, 3, 24, {}, {rows[2], rows[1], rows[0]}));
}

// Formats the host cannot convert: the file opened for them goes at the end.
TEST(BmpExportFilterErrors, UnconvertibleFormatRaisesAndLeavesNoFile) {
    for (int format : {0, 11, 99}) {
        SCOPED_TRACE(format);
        TempDir dir;
        const std::string path = dir.File("bad.bmp");
        auto image =
            MakeImage(3, static_cast<tamb::ColorFormat>(format), {Bytes(12, 1), Bytes(12, 2)});
        orix::IoManager manager;
        BmpExportFilter filter(manager);
        filter.BeginExport(path.c_str(), false);
        const auto error = CaptureError([&] { filter.ExportObject(*image); });
        ASSERT_TRUE(error);
        EXPECT_EQ(Describe(*error),
                  kSource +
                      " 273 text: Image color format incompatible with BMP file format.  "
                      "Can't export.");
        EXPECT_EQ(image->m_getScanlineEndCalls, 0);
        EXPECT_EQ(filter.EndExport(), orix::ExportDone);
        EXPECT_FALSE(FileExists(path));
    }
}

TEST(BmpExportFilterErrors, EmptyImageRaisesBeforeAnyFile) {
    struct Case {
        const char* name;
        int width, height;
    };
    for (const Case& c : {Case{"width 0", 0, 2}, Case{"height 0", 3, 0}, Case{"both 0", 0, 0}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("empty.bmp");
        auto image = std::make_unique<orix::TrImage>();
        image->SetScanlineStart(c.width, c.height, tamb::ColorGray8, 0, 0, nullptr,
                                orix::TrImage::RowsByIndex, 0);
        orix::IoManager manager;
        BmpExportFilter filter(manager);
        filter.BeginExport(path.c_str(), false);
        const auto error = CaptureError([&] { filter.ExportObject(*image); });
        ASSERT_TRUE(error);
        EXPECT_EQ(Describe(*error),
                  kSource +
                      " 213 code 14 [BMP|exporting of color formats other than 1, 4, 8, 24, "
                      "or 32 bits per pixel.|" +
                      path + "]");
        EXPECT_FALSE(FileExists(path));
        EXPECT_EQ(image->m_getScanlineStartCalls, 0);
        filter.EndExport();
        EXPECT_FALSE(FileExists(path));
    }
}

TEST(BmpExportFilterErrors, TargetThatCannotBeCreated) {
    TempDir dir;
    const std::string path = dir.File("missing/dir/out.bmp");
    auto image = SmallImage();
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    filter.BeginExport(path.c_str(), false);
    const auto error = CaptureError([&] { filter.ExportObject(*image); });
    ASSERT_TRUE(error);
    EXPECT_EQ(Describe(*error),
              kSource + " 247 code 5 [" + path + "|" +
                  exporttest::SystemText(static_cast<int>(testsupport::MissingDirectoryCode())) +
                  "]");
    EXPECT_EQ(image->m_getScanlineStartCalls, 1);
    EXPECT_EQ(image->m_getScanlineEndCalls, 0);
    filter.EndExport();
    EXPECT_FALSE(FileExists(path));
}

// A writer left open by a stopped image cannot open for the next one.
TEST(BmpExportFilterErrors, ImageAfterAStopInTheSameExport) {
    TempDir dir;
    const std::string path = dir.File("stopped.bmp");
    auto image = SmallImage();
    orix::IoManager manager;
    manager.m_stopAtProportion = 0;
    BmpExportFilter filter(manager);
    filter.BeginExport(path.c_str(), false);
    ASSERT_EQ(filter.ExportObject(*image), orix::ExportStopped);
    ASSERT_TRUE(FileExists(path));
    const auto error = CaptureError([&] { filter.ExportObject(*image); });
    ASSERT_TRUE(error);
    EXPECT_EQ(Describe(*error), kSource + " 253 code 1 []");
    EXPECT_FALSE(FileExists(path));
    filter.EndExport();
    EXPECT_FALSE(FileExists(path));
}

TEST(BmpExportFilterErrors, EndWithoutBegin) {
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    auto error = CaptureError([&] { filter.EndExport(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(Describe(*error), kSource + " 357 code 15 []");

    // Ended once, an export cannot end again.
    TempDir dir;
    filter.BeginExport(dir.File("x.bmp").c_str(), false);
    EXPECT_EQ(filter.EndExport(), orix::ExportDone);
    error = CaptureError([&] { filter.EndExport(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, 357);
    EXPECT_EQ(manager.m_activeProgress, 0);
}

TEST(BmpExportFilterProgress, ReportsEveryThirtySecondAndLastRowThenOne) {
    struct Case {
        int height;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {1, {0.0, 1.0}},
        {2, {0.0, 0.5, 1.0}},
        {32, {0.0, 31.0 / 32, 1.0}},
        {33, {0.0, 32.0 / 33, 1.0}},
        {65, {0.0, 32.0 / 65, 64.0 / 65, 1.0}},
        {100, {0.0, 0.32, 0.64, 0.96, 0.99, 1.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height);
        TempDir dir;
        auto image = SmallImage(c.height);
        orix::IoManager manager;
        BmpExportFilter filter(manager);
        filter.BeginExport(dir.File("p.bmp").c_str(), false);
        ASSERT_EQ(filter.ExportObject(*image), orix::ExportDone);
        const auto got = manager.Proportions();
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_DOUBLE_EQ(got[i], c.expected[i]) << i;
    }
}

TEST(BmpExportFilterProgress, DisplayOpensAtBeginAndClosesAtEnd) {
    TempDir dir;
    const std::string path = dir.File("sub/../named file.bmp");
    testsupport::MakeDirectory(dir.File("sub"));
    auto image = SmallImage(1);
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    filter.BeginExport(path.c_str(), false);
    EXPECT_EQ(manager.m_activeProgress, 1);
    filter.ExportObject(*image);
    EXPECT_EQ(manager.m_activeProgress, 1);
    filter.EndExport();
    EXPECT_EQ(manager.m_activeProgress, 0);
    using K = orix::ProgressEvent;
    std::vector<K::Kind> kinds;
    for (const auto& event : manager.m_progress) kinds.push_back(event.kind);
    EXPECT_EQ(kinds,
              (std::vector<K::Kind>{K::Begin, K::Message, K::Proportion, K::Proportion, K::End}));
    EXPECT_EQ(manager.m_progress[0].text, "");
    EXPECT_EQ(manager.Messages(),
              std::vector<std::string>{"Exporting BMP data to file named file.bmp"});
}

TEST(BmpExportFilterProgress, SecondBeginReplacesTheDisplay) {
    TempDir dir;
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    filter.BeginExport(dir.File("a.bmp").c_str(), false);
    filter.BeginExport(dir.File("b.bmp").c_str(), false);
    using K = orix::ProgressEvent;
    std::vector<K::Kind> kinds;
    for (const auto& event : manager.m_progress) kinds.push_back(event.kind);
    EXPECT_EQ(kinds, (std::vector<K::Kind>{K::Begin, K::Message, K::Begin, K::End, K::Message}));
    EXPECT_EQ(manager.m_activeProgress, 1);
    filter.EndExport();
    EXPECT_EQ(manager.m_activeProgress, 0);
}

TEST(BmpExportFilterStop, StopDuringRowsRemovesTheFileAtEnd) {
    struct Case {
        const char* name;
        int height;
        long stopAt;  // zero-based proportion call that answers false
        int rowsRead;
        int scanlineEnds;
    };
    const Case cases[] = {
        {"first row", 100, 0, 1, 0},
        {"row 32", 100, 1, 33, 0},
        {"last row", 100, 4, 100, 0},
        {"final report", 100, 5, 100, 1},
        {"final report of one row", 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("stop.bmp");
        auto image = SmallImage(c.height);
        orix::IoManager manager;
        manager.m_stopAtProportion = c.stopAt;
        BmpExportFilter filter(manager);
        filter.BeginExport(path.c_str(), false);
        EXPECT_EQ(filter.ExportObject(*image), orix::ExportStopped);
        EXPECT_EQ(image->m_getScanlineEndCalls, c.scanlineEnds);
        EXPECT_EQ(manager.m_activeProgress, 0) << "a stop ends the display at once";
        EXPECT_EQ(manager.Proportions().size(), static_cast<std::size_t>(c.stopAt + 1));
        // The rows so far are on disk until the export ends.
        ASSERT_TRUE(FileExists(path));
        EXPECT_EQ(ReadFileBytes(path).size(), 54u + 12u * static_cast<std::size_t>(c.rowsRead));
        EXPECT_EQ(filter.EndExport(), orix::ExportDone);
        EXPECT_FALSE(FileExists(path));
        EXPECT_EQ(CountEvents(manager, orix::ProgressEvent::End), 1);
    }
}

// A new export begun over a stopped one: the stopped file is still open in
// the writer, so the next image cannot open; that failure removes the old file.
TEST(BmpExportFilterStop, ExportBegunOverAStoppedOneRemovesTheOldFile) {
    TempDir dir;
    const std::string first = dir.File("first.bmp");
    const std::string second = dir.File("second.bmp");
    auto image = SmallImage(40);
    orix::IoManager manager;
    manager.m_stopAtProportion = 1;
    BmpExportFilter filter(manager);
    filter.BeginExport(first.c_str(), false);
    ASSERT_EQ(filter.ExportObject(*image), orix::ExportStopped);
    filter.BeginExport(second.c_str(), false);
    EXPECT_TRUE(FileExists(first));
    const auto error = CaptureError([&] { filter.ExportObject(*image); });
    ASSERT_TRUE(error);
    EXPECT_EQ(Describe(*error), kSource + " 253 code 1 []");
    EXPECT_FALSE(FileExists(first));
    filter.EndExport();
    EXPECT_FALSE(FileExists(first));
    EXPECT_FALSE(FileExists(second));
}

TEST(BmpExportFilterObjects, OnlyTheFirstImageIsWrittenAndOneWarningEver) {
    const std::string warning =
        "An attempt was made to export a document containing more than one image.  The BMP file "
        "format only supports one image (one bitmap) per file.  Ignoring additional images.";
    TempDir dir;
    const std::string path = dir.File("multi.bmp");
    auto firstImage = MakeImage(1, tamb::ColorGray8, {{42}});
    auto otherImage = MakeImage(1, tamb::ColorGray8, {{99}});
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    filter.BeginExport(path.c_str(), false);
    EXPECT_EQ(filter.ExportObject(*firstImage), orix::ExportDone);
    EXPECT_EQ(filter.ExportObject(*otherImage), orix::ExportNotExported);
    EXPECT_EQ(filter.ExportObject(*otherImage), orix::ExportNotExported);
    filter.EndExport();
    ASSERT_EQ(manager.m_warnings.size(), 1u);
    EXPECT_EQ(manager.m_warnings[0].style, 0);
    EXPECT_EQ(manager.m_warnings[0].text, warning);
    EXPECT_EQ(otherImage->m_getScanlineStartCalls, 0);
    EXPECT_EQ(ReadFileBytes(path), ExpectedExport(1, 1, 8, GreyRamp(256), {{42}}));

    // A later export by the same filter warns no more.
    const std::string next = dir.File("next.bmp");
    filter.BeginExport(next.c_str(), false);
    EXPECT_EQ(filter.ExportObject(*otherImage), orix::ExportDone);
    EXPECT_EQ(filter.ExportObject(*firstImage), orix::ExportNotExported);
    filter.EndExport();
    EXPECT_EQ(manager.m_warnings.size(), 1u);
    EXPECT_EQ(ReadFileBytes(next), ExpectedExport(1, 1, 8, GreyRamp(256), {{99}}));
    EXPECT_EQ(ReadFileBytes(path), ExpectedExport(1, 1, 8, GreyRamp(256), {{42}}));
}

TEST(BmpExportFilterObjects, GraphicsStartIsPreparedAndOtherObjectsIgnored) {
    TempDir dir;
    const std::string path = dir.File("objects.bmp");
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    filter.BeginExport(path.c_str(), false);
    orix::TrInitGraphicsExp init;
    init.m_originX = 17;
    init.m_originY = -5;
    EXPECT_EQ(filter.ExportObject(init), orix::ExportDone);
    EXPECT_EQ(init.m_originX, 0);
    EXPECT_EQ(init.m_originY, 0);
    EXPECT_TRUE(init.m_rasterOutput);
    orix::TrText text;
    EXPECT_EQ(filter.ExportObject(text), orix::ExportNotExported);
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(manager.Proportions().empty());
    EXPECT_TRUE(manager.m_warnings.empty());
    filter.EndExport();
    EXPECT_FALSE(FileExists(path));
}

TEST(BmpExportFilterFiles, ExportWithoutImageRemovesWhatWasThere) {
    TempDir dir;
    const std::string path = dir.Write("old.bmp", Bytes{1, 2, 3});
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    filter.BeginExport(path.c_str(), false);
    EXPECT_TRUE(FileExists(path)) << "beginning creates and removes nothing";
    filter.EndExport();
    EXPECT_FALSE(FileExists(path));
}

TEST(BmpExportFilterFiles, DestroyedDuringAnExportLeavesNoFile) {
    struct Case {
        const char* name;
        bool preexisting;
        int images;
        long stopAt;
    };
    const Case cases[] = {
        {"begun only", false, 0, -1},
        {"begun over an old file", true, 0, -1},
        {"image written", false, 1, -1},
        {"image stopped", false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = c.preexisting ? dir.Write("d.bmp", Bytes{9}) : dir.File("d.bmp");
        orix::IoManager manager;
        manager.m_stopAtProportion = c.stopAt;
        auto image = SmallImage(3);
        {
            BmpExportFilter filter(manager);
            filter.BeginExport(path.c_str(), false);
            if (c.images > 0) filter.ExportObject(*image);
            EXPECT_EQ(FileExists(path), c.preexisting || c.images > 0);
        }
        EXPECT_FALSE(FileExists(path));
        EXPECT_EQ(manager.m_activeProgress, 0);
    }
}

TEST(BmpExportFilterFiles, EndedExportOutlivesTheFilter) {
    TempDir dir;
    const std::string path = dir.File("kept.bmp");
    orix::IoManager manager;
    auto image = SmallImage();
    {
        BmpExportFilter filter(manager);
        filter.BeginExport(path.c_str(), false);
        filter.ExportObject(*image);
        filter.EndExport();
    }
    EXPECT_EQ(ReadFileBytes(path).size(), 78u);
}

TEST(BmpExportFilterFiles, LongTargetPath) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows' runtime file calls stop at 260 characters";
#endif
    TempDir dir;
    const std::string path =
        exporttest::MakeLongDirectory(dir.path()) + "/" + std::string(100, 'q') + ".bmp";
    ASSERT_GT(path.size(), 400u);
    auto image = SmallImage(40);
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    filter.BeginExport(path.c_str(), false);
    ASSERT_EQ(filter.ExportObject(*image), orix::ExportDone);
    filter.EndExport();
    EXPECT_EQ(ReadFileBytes(path).size(), 54u + 40 * 12);
    EXPECT_EQ(manager.Messages(), std::vector<std::string>{"Exporting BMP data to file " +
                                                           std::string(100, 'q') + ".bmp"});

    manager.m_stopAtProportion = manager.m_proportionCalls + 1;
    filter.BeginExport(path.c_str(), false);
    EXPECT_EQ(filter.ExportObject(*image), orix::ExportStopped);
    filter.EndExport();
    EXPECT_FALSE(FileExists(path));
}

}  // namespace
