// A file imported by the module and exported again must read back to the
// same pixels; a file already in the exporter's own form comes back byte for
// byte.
#include <gtest/gtest.h>

#include <cstring>

#include "ExportSupport.h"
#include "frame/BmpExportFilter.h"
#include "support/BmpBuilder.h"

extern "C" orix::IoImportFilter* ImportBMP(orix::IoManager& manager);

namespace {

using testsupport::BmpFields;
using testsupport::Bytes;
using testsupport::ReadFileBytes;
using testsupport::TempDir;

// Imports a file through the module's import factory; null with a failure
// recorded when the import does not deliver an image.
std::unique_ptr<orix::TrImage> Import(const std::string& path) {
    orix::IoManager manager;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    if (!filter) {
        ADD_FAILURE() << "ImportBMP made no filter";
        return nullptr;
    }
    const auto error = exporttest::CaptureError([&] { filter->ImportFile(path.c_str(), false); });
    if (error) {
        ADD_FAILURE() << "importing " << path << " raised " << exporttest::Describe(*error) << " ("
                      << error->message << ")";
        return nullptr;
    }
    if (manager.m_imported.size() != 1) {
        ADD_FAILURE() << "importing " << path << " handed over " << manager.m_imported.size()
                      << " images";
        return nullptr;
    }
    return std::move(manager.m_imported[0]);
}

void Export(orix::TrImage& image, const std::string& path) {
    orix::IoManager manager;
    BmpExportFilter filter(manager);
    filter.BeginExport(path.c_str(), false);
    ASSERT_EQ(filter.ExportObject(image), orix::ExportDone);
    filter.EndExport();
}

void ExpectSamePixels(const orix::TrImage& a, const orix::TrImage& b) {
    ASSERT_EQ(a.GetWidth(), b.GetWidth());
    ASSERT_EQ(a.GetHeight(), b.GetHeight());
    ASSERT_EQ(a.GetColorFormat(), b.GetColorFormat());
    ASSERT_EQ(a.GetRowBytes(), b.GetRowBytes());
    EXPECT_EQ(a.GetXPelsPerMeter(), b.GetXPelsPerMeter());
    EXPECT_EQ(a.GetYPelsPerMeter(), b.GetYPelsPerMeter());
    for (int y = 0; y < a.GetHeight(); ++y) {
        ASSERT_NE(a.Row(y), nullptr) << "row " << y;
        ASSERT_NE(b.Row(y), nullptr) << "row " << y;
        const Bytes rowA(a.Row(y), a.Row(y) + a.GetRowBytes());
        const Bytes rowB(b.Row(y), b.Row(y) + b.GetRowBytes());
        EXPECT_EQ(rowA, rowB) << "row " << y;
    }
    const int format = a.GetColorFormat();
    if (format >= tamb::ColorIndexed1 && format <= tamb::ColorIndexed8) {
        const int entries = 1 << tamb::BitsPerPixel(a.GetColorFormat());
        EXPECT_EQ(std::memcmp(a.ColorTable(), b.ColorTable(), 4u * entries), 0)
            << "colour tables differ";
    }
}

Bytes Varied(std::size_t count, unsigned seed) {
    Bytes out;
    for (std::size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        out.push_back(static_cast<std::uint8_t>(seed >> 24));
    }
    return out;
}

// A file in exactly the form the exporter writes.
BmpFields Canonical(std::int32_t width, std::int32_t height, std::uint16_t bits, unsigned seed) {
    BmpFields s;
    s.width = width;
    s.height = height;
    s.bitCount = bits;
    s.xPelsPerMeter = 3780;
    s.yPelsPerMeter = 2000;
    const std::size_t stride = testsupport::StrideFor(width, bits);
    const std::size_t rows = static_cast<std::size_t>(height < 0 ? -height : height);
    s.sizeImage = static_cast<std::uint32_t>(stride * rows);
    if (bits <= 8) {
        s.palette = testsupport::TestPalette(1 << bits);
        s.clrUsed = s.clrImportant = 1u << bits;
    }
    // Whole bytes of pixels, the pad bytes of each row left zero.
    const std::size_t used = (static_cast<std::size_t>(width) * bits + 7) / 8;
    std::vector<Bytes> rowBytes;
    for (std::size_t r = 0; r < rows; ++r) {
        Bytes row = Varied(used, seed + static_cast<unsigned>(r));
        const unsigned spareBits =
            static_cast<unsigned>(used * 8 - static_cast<std::size_t>(width) * bits);
        if (spareBits != 0) row.back() &= static_cast<std::uint8_t>(0xFF << spareBits);
        rowBytes.push_back(row);
    }
    s.pixels = testsupport::PadRows(rowBytes, stride);
    return s;
}

TEST(BmpRoundTrip, ExportersOwnFormComesBackByteForByte) {
    struct Case {
        const char* name;
        std::int32_t width, height;
        std::uint16_t bits;
    };
    const Case cases[] = {
        {"1 bit", 13, 4, 1},   {"4 bits", 7, 3, 4},   {"8 bits", 5, 3, 8},
        {"24 bits", 5, 3, 24}, {"32 bits", 3, 2, 32}, {"1 bit, 40 rows", 33, 40, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        BmpFields fields = Canonical(c.width, c.height, c.bits, 7);
        if (c.bits == 32)  // opaque pixels, so the import keeps them as they are
            for (std::size_t i = 3; i < fields.pixels.size(); i += 4) fields.pixels[i] = 255;
        const Bytes original = testsupport::BuildBmp(fields);
        const std::string in = dir.Write("in.bmp", original);
        auto first = Import(in);
        ASSERT_TRUE(first);
        const std::string out = dir.File("out.bmp");
        Export(*first, out);
        EXPECT_EQ(ReadFileBytes(out), original);
        auto second = Import(out);
        ASSERT_TRUE(second);
        ExpectSamePixels(*first, *second);
    }
}

TEST(BmpRoundTrip, OtherStoredFormsKeepTheirPixels) {
    struct Case {
        const char* name;
        BmpFields fields;
    };
    BmpFields topDown = Canonical(5, -3, 24, 11);
    BmpFields sixteen = Canonical(3, 2, 16, 12);
    BmpFields masks = Canonical(3, 2, 16, 13);
    masks.compression = 3;
    masks.masks = {0xF800, 0x07E0, 0x001F};
    BmpFields core = Canonical(6, 2, 8, 14);
    core.headerSize = 12;
    BmpFields rle8 = Canonical(4, 2, 8, 15);
    rle8.compression = 1;
    // Row 0: a run of three 5s and one 9; row 1: an absolute run 1, 2, 3, 4.
    rle8.pixels = {3, 5, 1, 9, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1};
    rle8.sizeImage = static_cast<std::uint32_t>(rle8.pixels.size());
    BmpFields fewColours = Canonical(4, 2, 8, 16);
    fewColours.palette.resize(10);
    fewColours.clrUsed = fewColours.clrImportant = 10;
    for (auto& p : fewColours.pixels) p %= 10;
    const Case cases[] = {
        {"top-down 24 bits", topDown}, {"16 bits 5-5-5", sixteen}, {"16 bits 5-6-5 masks", masks},
        {"core header", core},         {"run-length 8", rle8},     {"10 colours", fewColours},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string in = dir.Write("in.bmp", testsupport::BuildBmp(c.fields));
        auto first = Import(in);
        ASSERT_TRUE(first);
        const std::string out = dir.File("out.bmp");
        Export(*first, out);
        auto second = Import(out);
        ASSERT_TRUE(second);
        ExpectSamePixels(*first, *second);
    }
}

}  // namespace
