#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "orix/IoException.h"
#include "orix/IoImportFilter.h"
#include "orix/IoManager.h"
#include "orix/IoProgress.h"
#include "orix/TrImage.h"
#include "orix/TrInitGraphicsExp.h"
#include "tamb/CPath.h"
#include "velk/Options.h"
#include "velk/PixelConvert.h"

namespace {

TEST(CPath, NamePartAcceptsBothSeparators) {
    struct Case {
        const char* path;
        const char* name;
    } cases[] = {{"a.bmp", "a.bmp"},
                 {"/tmp/x/a.bmp", "a.bmp"},
                 {"C:\\dir\\b.bmp", "b.bmp"},
                 {"C:c.bmp", "c.bmp"},
                 {"dir/sub\\d.bmp", "d.bmp"},
                 {"dir/", ""},
                 {"", ""}};
    for (const Case& c : cases) {
        const char* name = tamb::CPath::GetNamePtr(c.path);
        EXPECT_STREQ(name, c.name) << c.path;
        EXPECT_GE(name, c.path);  // a pointer into the given text
    }
}

TEST(CommonGetStringOption, LooksUpOneItem) {
    struct Case {
        const char* options;
        const char* name;
        char separator;
        bool found;
        const char* value;
    } cases[] = {
        {"a=1,b=2", "b", ',', true, "2"},     {"a=1, b = two words ", "b", ',', true, "two words"},
        {"a=1;b=2", "b", ',', false, "keep"}, {"a=1;b=2", "b", ';', true, "2"},
        {"ab=1", "a", ',', false, "keep"},    {"", "a", ',', false, "keep"},
        {"a=", "a", ',', true, ""},
    };
    for (const Case& c : cases) {
        std::string value = "keep";
        EXPECT_EQ(velk::CommonGetStringOption(c.options, c.name, c.separator, value), c.found)
            << c.options;
        EXPECT_EQ(value, c.value) << c.options;
    }
    std::string value = "keep";
    EXPECT_FALSE(velk::CommonGetStringOption(nullptr, "a", ',', value));
    EXPECT_FALSE(velk::CommonGetStringOption("a=1", nullptr, ',', value));
    EXPECT_EQ(value, "keep");
}

TEST(SimplePixelConvert, EveryReadableFormatBecomesBlueGreenRed) {
    const tagRGBQUAD palette[4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {10, 11, 12, 0}};
    struct Case {
        tamb::ColorFormat format;
        std::vector<std::uint8_t> source;
        const tagRGBQUAD* palette;
        std::vector<std::uint8_t> expected;  // two pixels
    } cases[] = {
        {tamb::ColorGray1, {0x40}, nullptr, {0, 0, 0, 255, 255, 255}},
        {tamb::ColorGray4, {0x1F}, nullptr, {17, 17, 17, 255, 255, 255}},
        {tamb::ColorGray8, {3, 200}, nullptr, {3, 3, 3, 200, 200, 200}},
        {tamb::ColorRgb565, {0x00, 0xF8, 0x1F, 0x00}, nullptr, {0, 0, 255, 255, 0, 0}},
        {tamb::ColorRgba32, {1, 2, 3, 4, 5, 6, 7, 8}, nullptr, {3, 2, 1, 7, 6, 5}},
        {tamb::ColorIndexed1, {0x40}, palette, {1, 2, 3, 4, 5, 6}},
        {tamb::ColorIndexed4, {0x32}, palette, {10, 11, 12, 7, 8, 9}},
        {tamb::ColorIndexed8, {1, 0}, palette, {4, 5, 6, 1, 2, 3}},
        {tamb::ColorIndexed8, {1, 0}, nullptr, {1, 1, 1, 0, 0, 0}},
        {tamb::ColorBgr24, {1, 2, 3, 4, 5, 6}, nullptr, {1, 2, 3, 4, 5, 6}},
        {tamb::ColorBgra32, {1, 2, 3, 4, 5, 6, 7, 8}, nullptr, {1, 2, 3, 5, 6, 7}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> out(7, 0xEE);
        ASSERT_TRUE(velk::SimplePixelConvert(2, c.source.data(), c.format, out.data(),
                                             tamb::ColorBgr24, 0, c.palette))
            << c.format;
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 6), c.expected)
            << "format " << c.format;
        EXPECT_EQ(out[6], 0xEE) << "wrote past two pixels, format " << c.format;
    }
}

TEST(SimplePixelConvert, RefusesWhatItCannotRead) {
    std::uint8_t in[8] = {}, out[8] = {};
    EXPECT_FALSE(
        velk::SimplePixelConvert(1, in, tamb::ColorNone, out, tamb::ColorBgr24, 0, nullptr));
    EXPECT_FALSE(velk::SimplePixelConvert(1, in, static_cast<tamb::ColorFormat>(11), out,
                                          tamb::ColorBgr24, 0, nullptr));
    EXPECT_FALSE(
        velk::SimplePixelConvert(1, in, tamb::ColorBgr24, out, tamb::ColorBgra32, 0, nullptr));
    EXPECT_FALSE(
        velk::SimplePixelConvert(-1, in, tamb::ColorBgr24, out, tamb::ColorBgr24, 0, nullptr));
}

TEST(TrImage, RowsByIndexWithZeroesForRowsNeverSet) {
    orix::TrImage image;
    tagRGBQUAD table[256] = {};
    table[5] = {9, 8, 7, 0};
    image.SetScanlineStart(3, 4, tamb::ColorBgr24, 2835, 1000, table, orix::TrImage::RowsByIndex,
                           0);
    EXPECT_EQ(image.GetRowBytes(), 12);
    EXPECT_EQ(image.GetWidth(), 3);
    EXPECT_EQ(image.GetHeight(), 4);
    EXPECT_EQ(image.GetYPelsPerMeter(), 1000);
    const std::uint8_t row[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    image.SetScanline(row, 3);
    std::uint8_t out[12];
    image.GetScanline(out, 3);
    EXPECT_EQ(std::memcmp(out, row, 12), 0);
    std::memset(out, 0xEE, sizeof out);
    image.GetScanline(out, 0);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[11], 0);
    EXPECT_THROW(image.SetScanline(row, 4), std::out_of_range);
    EXPECT_THROW(image.SetScanline(row, -1), std::out_of_range);
    tagRGBQUAD entry;
    image.GetColorTable(&entry, 5, 1);
    EXPECT_EQ(entry.rgbBlue, 9);
    // A copy is independent of its original.
    orix::TrImage copy(image);
    image.SetScanline(row + 0, 0);
    EXPECT_EQ(copy.Row(3)[0], 1);
    EXPECT_EQ(copy.Row(0)[0], 0);
}

TEST(TrImage, HugeImagesCostNothingUntilRowsArriveAndRespectTheLimit) {
    orix::TrImage image;
    const std::uint64_t limit = orix::TrImage::GetPixelLimit();
    image.SetScanlineStart(1, static_cast<int>(limit), tamb::ColorIndexed8, 0, 0, nullptr,
                           orix::TrImage::RowsByIndex, 0);
    EXPECT_EQ(image.Row(0), nullptr);
    const std::uint8_t row[4] = {7, 0, 0, 0};
    image.SetScanline(row, static_cast<int>(limit) - 1);
    EXPECT_EQ(image.Row(static_cast<int>(limit) - 1)[0], 7);
    EXPECT_THROW(image.SetScanlineStart(2, static_cast<int>(limit), tamb::ColorIndexed8, 0, 0,
                                        nullptr, orix::TrImage::RowsByIndex, 0),
                 std::bad_alloc);
    EXPECT_THROW(image.SetScanlineStart(0x7FFFFFFF, 1, tamb::ColorBgra32, 0, 0, nullptr,
                                        orix::TrImage::RowsByIndex, 0),
                 std::bad_alloc);
}

TEST(TypeIds, CompareByAddress) {
    orix::TrImage image;
    orix::TrInitGraphicsExp init;
    orix::TrText text;
    EXPECT_EQ(image.GetTypeId(), orix::TrImage::GetClassTypeId());
    EXPECT_EQ(init.GetTypeId(), orix::TrInitGraphicsExp::GetClassTypeId());
    EXPECT_EQ(text.GetTypeId(), orix::TrText::GetClassTypeId());
    EXPECT_NE(orix::TrImage::GetClassTypeId(), orix::TrInitGraphicsExp::GetClassTypeId());
    EXPECT_NE(orix::TrImage::GetClassTypeId(), orix::TrText::GetClassTypeId());
}

// A minimal filter to reach the framework's protected services.
class ProbeFilter : public orix::IoImportFilter {
  public:
    using orix::IoImportFilter::IoImportFilter;
    void ResetOptions(int) override {}
    std::string GetDefaultOptions() override { return ""; }
    bool CanHandleType(const tamb::CTypeInfo*) override { return false; }
    bool GetStringOption(const char*, const char*, std::string&) override { return false; }
    bool IsFileSupported(const char*) override { return false; }
    bool GetFileDescription(const char*, std::string&) override { return false; }
    orix::ImportStatus ImportFile(const char*, bool) override { return orix::ImportNotDone; }
};

TEST(IoFilter, ThrowErrorCarriesEverythingTheHostShows) {
    orix::IoManager manager;
    ProbeFilter filter(manager);
    struct Case {
        orix::ErrCode code;
        std::vector<std::string> args;
    } cases[] = {
        {orix::ErrUnexpected, {}},
        {orix::ErrCannotOpen, {"C:\\a.bmp", "No such file"}},
        {orix::ErrEndOfFile, {"a.bmp", "Premature end of file."}},
        {orix::ErrFormatNotExportable, {"BMP", "some formats", "out.bmp"}},
        {orix::ErrBadFile, {"a 100% bmp"}},
    };
    for (const Case& c : cases) {
        try {
            const auto arg = [&](std::size_t i) {
                return i < c.args.size() ? c.args[i].c_str() : "";
            };
            filter.ThrowError(".\\Src", 321, c.code, arg(0), arg(1), arg(2));
            FAIL() << "returned";
        } catch (const orix::IoException& error) {
            EXPECT_EQ(error.source, ".\\Src");
            EXPECT_EQ(error.line, 321);
            EXPECT_TRUE(error.hasCode);
            EXPECT_EQ(error.code, c.code);
            EXPECT_EQ(error.args, c.args);
            for (const std::string& arg : c.args)
                EXPECT_NE(error.message.find(arg), std::string::npos) << error.message;
        }
    }
    try {
        filter.ThrowError(".\\Src", 7, "Can't export %s.", "this");
        FAIL() << "returned";
    } catch (const orix::IoException& error) {
        EXPECT_FALSE(error.hasCode);
        EXPECT_EQ(error.message, "Can't export this.");
        EXPECT_TRUE(error.args.empty());
    }
}

TEST(IoFilter, WarningRecordsTextAndGivesScriptedAnswer) {
    orix::IoManager manager;
    ProbeFilter filter(manager);
    manager.m_warningAnswer = 6;
    EXPECT_EQ(filter.Warning(tamb::IError::WarnQuestion, "%s", "100% sure?"), 6);
    manager.m_warningHook = [](int style, const std::string&) { return style == 0 ? 1 : 7; };
    EXPECT_EQ(filter.Warning(tamb::IError::WarnNotice, "n=%d", 3), 1);
    ASSERT_EQ(manager.m_warnings.size(), 2u);
    EXPECT_EQ(manager.m_warnings[0].style, 2);
    EXPECT_EQ(manager.m_warnings[0].text, "100% sure?");
    EXPECT_EQ(manager.m_warnings[1].text, "n=3");
}

TEST(IoProgress, RecordsInOrderAndStopsAtTheScriptedReport) {
    orix::IoManager manager;
    manager.m_stopAtProportion = 2;
    orix::IoProgress progress(manager);
    progress.BeginProgress("", true, true);
    progress.MessageVA("Importing %s", "a.bmp");
    EXPECT_TRUE(progress.ProgressProportion(0.0));
    EXPECT_TRUE(progress.ProgressProportion(0.5));
    EXPECT_FALSE(progress.ProgressProportion(0.75));
    EXPECT_TRUE(progress.ProgressProportion(1.0));
    progress.EndProgress();
    ASSERT_EQ(manager.m_progress.size(), 7u);
    EXPECT_EQ(manager.m_progress.front().kind, orix::ProgressEvent::Begin);
    EXPECT_EQ(manager.m_progress.back().kind, orix::ProgressEvent::End);
    EXPECT_EQ(manager.Messages(), std::vector<std::string>{"Importing a.bmp"});
    EXPECT_EQ(manager.Proportions(), (std::vector<double>{0.0, 0.5, 0.75, 1.0}));
    EXPECT_EQ(manager.m_activeProgress, 0);
}

TEST(IoManager, LeadingFlagIsTheFirstByte) {
    orix::IoManager manager;
    manager.m_leadingFlag = 1;
    EXPECT_EQ(*reinterpret_cast<const unsigned char*>(&manager), 1);
    manager.m_leadingFlag = 0;
    EXPECT_EQ(*reinterpret_cast<const unsigned char*>(&manager), 0);
}

TEST(IoImportFilter, ImportObjectKeepsACopyAndGivesTheScriptedAnswer) {
    orix::IoManager manager;
    ProbeFilter filter(manager);
    {
        orix::TrImage image;
        image.SetScanlineStart(1, 1, tamb::ColorGray8, 0, 0, nullptr, orix::TrImage::RowsByIndex,
                               0);
        const std::uint8_t row[4] = {42, 0, 0, 0};
        image.SetScanline(row, 0);
        EXPECT_TRUE(filter.ImportObject(image));
        manager.m_importAnswer = false;
        EXPECT_FALSE(filter.ImportObject(image));
    }
    ASSERT_EQ(manager.m_imported.size(), 2u);
    EXPECT_EQ(manager.m_imported[0]->Row(0)[0], 42);
    EXPECT_EQ(manager.m_importObjectCalls, 2);
}

}  // namespace
