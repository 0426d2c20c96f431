// Hostile files through the same model checks the fuzzers use (fuzz/FuzzChecks.h):
// each case must import, refuse or fail exactly as the model says, with every
// byte of the image compared. Inputs the fuzzers found go here too.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "faults/FaultSupport.h"
#include "support/BmpBuilder.h"

namespace {

using testsupport::BmpFields;
using testsupport::Bytes;

BmpFields Rle(int bits, std::int32_t width, std::int32_t height, Bytes stream) {
    BmpFields s;
    s.width = width;
    s.height = height;
    s.bitCount = static_cast<std::uint16_t>(bits);
    s.compression = bits == 4 ? 2 : 1;
    s.palette = testsupport::TestPalette(bits == 4 ? 16 : 256);
    s.pixels = std::move(stream);
    return s;
}

struct Case {
    const char* name;
    Bytes bytes;
    long stopAt = -1;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    auto add = [&](const char* name, const BmpFields& fields, long stopAt = -1) {
        cases.push_back({name, testsupport::BuildBmp(fields), stopAt});
    };
    Bytes longAbsolute = {0x00, 0xFF};
    for (int i = 0; i < 255; ++i) longAbsolute.push_back(static_cast<std::uint8_t>(i));
    longAbsolute.insert(longAbsolute.end(), {0x00, 0x02, 0x01, 0x00, 0x00});
    add("rle8 absolute run far past the row", Rle(8, 5, 3, longAbsolute));
    // A run after each absolute run shows whether the pad byte was taken.
    add("rle8 absolute runs of odd and even length",
        Rle(8, 8, 3, {0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x02, 0x07, 0x00, 0x00, 0x00,
                      0x04, 0x01, 0x02, 0x03, 0x04, 0x02, 0x07, 0x00, 0x00, 0x00, 0x05,
                      0x01, 0x02, 0x03, 0x04, 0x05, 0x00, 0x02, 0x07, 0x00, 0x00}));
    add("rle4 absolute runs of every pad class",
        Rle(4, 12, 6, {0x00, 0x05, 0x12, 0x34, 0x50, 0x00, 0x02, 0x77, 0x00, 0x00, 0x00, 0x06,
                       0x12, 0x34, 0x56, 0x00, 0x02, 0x77, 0x00, 0x00, 0x00, 0x03, 0x12, 0x30,
                       0x02, 0x77, 0x00, 0x00, 0x00, 0x04, 0x12, 0x34, 0x02, 0x77, 0x00, 0x00,
                       0x00, 0x09, 0x12, 0x34, 0x56, 0x78, 0x90, 0x00, 0x02, 0x77, 0x00, 0x00,
                       0x00, 0x0A, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x00, 0x02, 0x77, 0x00, 0x00}));
    add("rle8 delta past the last row, then runs",
        Rle(8, 4, 3, {0x02, 0x09, 0x00, 0x02, 0x01, 0xFF, 0x03, 0x07, 0x00, 0x00}));
    add("rle8 delta down that lands inside the image",
        Rle(8, 4, 5, {0x01, 0x01, 0x00, 0x02, 0x02, 0x02, 0x02, 0x03, 0x00, 0x00, 0x01, 0x04}));
    add("rle8 delta to the right past the row",
        Rle(8, 4, 2, {0x00, 0x02, 0xFF, 0x00, 0x03, 0x05, 0x00, 0x00, 0x02, 0x06}));
    add("rle8 end of bitmap is not remembered",
        Rle(8, 3, 3, {0x01, 0x01, 0x00, 0x01, 0x02, 0x02, 0x00, 0x01, 0x03, 0x03}));
    add("rle4 odd delta then an encoded run",
        Rle(4, 5, 2,
            {0x00, 0x02, 0x01, 0x00, 0x04, 0xAB, 0x00, 0x00, 0x00, 0x05, 0x12, 0x34, 0x50, 0x00}));
    add("rle4 absolute run past the row with pad",
        Rle(4, 3, 2, {0x00, 0x0A, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x00, 0x01, 0xC0}));
    add("rle4 stream ends inside an absolute run", Rle(4, 8, 2, {0x00, 0x08, 0x12, 0x34}));
    {
        BmpFields s = Rle(8, 4, 2, {0x04, 0x01, 0x00, 0x00});
        s.bitCount = 4;
        add("rle8 with 4 bits", s);
        s.bitCount = 1;
        add("rle8 with 1 bit", s);
    }
    {
        BmpFields s = Rle(4, 4, 2, {0x04, 0x12, 0x00, 0x00});
        s.bitCount = 8;
        s.palette = testsupport::TestPalette(256);
        add("rle4 with 8 bits", s);
    }
    {
        BmpFields s;
        s.width = 2;
        s.height = 1;
        s.bitCount = 8;
        s.clrUsed = 257;
        s.palette = testsupport::TestPalette(257);
        s.pixels = {0, 1, 0, 0};
        add("257 colours at 8 bits", s);
    }
    {
        BmpFields s;
        s.width = 1 << 30;
        s.height = 1;
        s.pixels.assign(64, 0);
        add("width 2^30 at 24 bits", s);
        s.width = 3;
        s.height = INT_MIN;
        add("height -2^31", s);
        s.height = 1;
        s.width = 0x7FFFFFFF;
        s.bitCount = 1;
        add("width 2^31-1 at 1 bit", s);
    }
    {
        BmpFields s;
        s.width = 2;
        s.height = 1;
        s.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
        Bytes bytes = testsupport::BuildBmp(s);
        bytes[10] = 0xF0;
        bytes[11] = 0xFF;
        bytes[12] = 0xFF;
        bytes[13] = 0xFF;
        cases.push_back({"pixel data offset far beyond the file", bytes});
    }
    {
        Bytes bytes = testsupport::BuildBmp(Rle(8, 2, 2, {0x02, 0x01, 0x00, 0x01}));
        bytes[14] = 0xFF;  // header size 0xFFFFFF28: skipped past the end of the file
        bytes[15] = 0xFF;
        bytes[16] = 0xFF;
        cases.push_back({"huge header size", bytes});
    }
    {
        BmpFields s;
        s.width = 2;
        s.height = 2;
        s.bitCount = 16;
        s.compression = 3;
        s.masks = {0x001F, 0x07E0, 0xF800};  // red and blue swapped: still 5-6-5
        s.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x10, 0x84};
        add("bit fields with 0xF800 as the blue mask", s);
        s.masks = {0x7C00, 0x03E0, 0x001F};
        add("bit fields 5-5-5", s);
    }
    {
        BmpFields s;
        s.width = 2;
        s.height = 3;
        s.bitCount = 32;
        s.pixels.assign(24, 0);
        s.pixels[0] = 9;
        add("32 bits, alpha all zero, question and second pass", s);
        add("32 bits, alpha all zero, stopped in the second pass", s, 5);
        s.pixels[23] = 1;
        add("32 bits, one alpha byte in the last row", s);
    }
    {
        BmpFields s;
        s.headerSize = 12;
        s.width = 3;
        s.height = 1;
        s.bitCount = 0;
        s.pixels = {0, 0, 0, 0};
        add("core header with no bits", s);
    }
    return cases;
}

TEST(HostileInput, ImportAndDescriptionFollowTheModel) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ("", fuzzcheck::CheckImport(c.bytes.data(), c.bytes.size(), c.stopAt));
        EXPECT_EQ("", fuzzcheck::CheckProbe(c.bytes.data(), c.bytes.size()));
    }
}

// Export inputs are the bytes the export fuzzer reads: format, width - 1,
// height - 1 (255: zero), control (bit 7: stop at report bits 0-2; bit 6:
// destroy the filter before EndExport), colour count, colour entries, rows.
TEST(HostileInput, ExportFollowsTheModel) {
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"zero width", {8, 255, 3, 0, 0}},
        {"format 0 cannot be converted", {0, 3, 3, 0, 0, 1, 2, 3}},
        {"format 11 cannot be converted", {11, 3, 3, 0, 0}},
        {"rgb565 converted", {4, 4, 2, 0, 0, 0xFF, 0xFF, 0x00, 0xF8, 0x1F, 0x00}},
        {"rgba converted", {5, 1, 1, 0, 0, 10, 20, 30, 40, 50, 60, 70, 80}},
        {"grey 4 bits", {2, 6, 0, 0, 0, 0x12, 0x34, 0x56, 0x78}},
        {"indexed 4 with 20 colours claimed", {7, 2, 2, 0, 20, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"stopped at the final report", {9, 0, 0, 0x81, 0, 1, 2, 3}},
        {"stopped at the first report", {10, 40, 40, 0x80, 0}},
        {"destroyed after the image", {6, 9, 9, 0x40, 2, 0, 0, 0, 0, 255, 255, 255, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ("", fuzzcheck::CheckExport(c.bytes.data(), c.bytes.size()));
    }
}

}  // namespace
