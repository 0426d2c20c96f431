// Import of representative files cut short at every byte offset: each either
// imports (run-length files end their rows quietly) or raises exactly the
// error of the stage where the bytes ran out, with the file closed and the
// progress display ended once.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "faults/FaultSupport.h"
#include "support/BmpBuilder.h"

namespace {

using testsupport::BmpFields;
using testsupport::Bytes;

struct Sample {
    const char* name;
    Bytes bytes;
    std::size_t headerEnd;  // end of the information header (as far as it is read)
    std::size_t tablesEnd;  // end of masks and colour table
    bool runLength;
};

std::vector<Sample> Samples() {
    std::vector<Sample> out;
    {
        BmpFields s;  // 8 bits, four colours, bottom-up
        s.width = 5;
        s.height = 3;
        s.bitCount = 8;
        s.clrUsed = 4;
        s.palette = testsupport::TestPalette(4);
        s.pixels = testsupport::PadRows({{1, 2, 3, 0, 1}, {2, 2, 2, 2, 2}, {3, 0, 1, 2, 3}}, 8);
        out.push_back({"indexed8", testsupport::BuildBmp(s), 54, 54 + 16, false});
    }
    {
        BmpFields s;  // 24 bits, top-down
        s.width = 3;
        s.height = -2;
        s.pixels =
            testsupport::PadRows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {9, 8, 7, 6, 5, 4, 3, 2, 1}}, 12);
        out.push_back({"bgr24 top-down", testsupport::BuildBmp(s), 54, 54, false});
    }
    {
        BmpFields s;  // core header, 4 bits, three-byte entries
        s.headerSize = 12;
        s.width = 4;
        s.height = 2;
        s.bitCount = 4;
        s.palette = testsupport::TestPalette(16);
        s.pixels = {0x01, 0x23, 0, 0, 0x45, 0x67, 0, 0};
        out.push_back({"core indexed4", testsupport::BuildBmp(s), 26, 26 + 48, false});
    }
    {
        BmpFields s;  // 124-byte header, 5-6-5 bit fields
        s.headerSize = 124;
        s.width = 2;
        s.height = 2;
        s.bitCount = 16;
        s.compression = 3;
        s.masks = {0xF800, 0x07E0, 0x001F};
        s.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x10, 0x84};
        // Only the first 40 bytes of a larger header are needed to go on.
        out.push_back({"bitfields 124", testsupport::BuildBmp(s), 54, 14 + 124 + 12, false});
    }
    {
        BmpFields s;  // 32 bits with alpha
        s.width = 2;
        s.height = 2;
        s.bitCount = 32;
        s.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        out.push_back({"bgra32", testsupport::BuildBmp(s), 54, 54, false});
    }
    {
        BmpFields s;  // RLE8: encoded and absolute runs, a delta down, end of bitmap
        s.width = 6;
        s.height = 4;
        s.bitCount = 8;
        s.compression = 1;
        s.palette = testsupport::TestPalette(8);
        s.clrUsed = 8;
        s.pixels = {0x03, 0x05, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00,
                    0x02, 0x02, 0x01, 0x02, 0x07, 0x00, 0x00, 0x06, 0x04, 0x00, 0x01};
        out.push_back({"rle8", testsupport::BuildBmp(s), 54, 54 + 32, true});
    }
    {
        BmpFields s;  // RLE4: odd columns, absolute runs with and without pad
        s.width = 7;
        s.height = 3;
        s.bitCount = 4;
        s.compression = 2;
        s.palette = testsupport::TestPalette(16);
        s.pixels = {0x03, 0x12, 0x00, 0x03, 0x34, 0x50, 0x00, 0x00, 0x00, 0x05,
                    0x12, 0x34, 0x50, 0x00, 0x00, 0x00, 0x07, 0xAB, 0x00, 0x01};
        out.push_back({"rle4", testsupport::BuildBmp(s), 54, 54 + 64, true});
    }
    return out;
}

struct Result {
    bool raised = false;
    int line = 0, code = 0;
    std::vector<std::string> args;
    int begins = 0, ends = 0;
    bool leakedFile = false;
    std::unique_ptr<orix::TrImage> image;
};

Result Import(const std::string& path) {
    Result r;
    orix::IoManager manager;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    const int fdBefore = fuzzcheck::LowestFreeFd();
    try {
        filter->ImportFile(path.c_str(), false);
    } catch (const orix::IoException& e) {
        r.raised = true;
        r.line = e.line;
        r.code = e.code;
        r.args = e.args;
    }
    // The filter's own reader must have closed the file before the call ended.
    r.leakedFile = fuzzcheck::LowestFreeFd() != fdBefore;
    for (const auto& event : manager.m_progress) {
        r.begins += event.kind == orix::ProgressEvent::Begin;
        r.ends += event.kind == orix::ProgressEvent::End;
    }
    if (!manager.m_imported.empty()) r.image = std::move(manager.m_imported[0]);
    return r;
}

TEST(ImportTruncation, EveryCutRaisesItsStageErrorOrImports) {
    testsupport::TempDir dir;
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.name);
        // The whole file first, every byte of its image checked against the model.
        EXPECT_EQ("", fuzzcheck::CheckImport(sample.bytes.data(), sample.bytes.size()));
        const std::string fullPath = dir.Write("full.bmp", sample.bytes);
        const Result full = Import(fullPath);
        ASSERT_FALSE(full.raised) << "line " << full.line;
        ASSERT_TRUE(full.image);
        const std::size_t size = sample.bytes.size();
        for (std::size_t n = 0; n < size; ++n) {
            SCOPED_TRACE("cut at " + std::to_string(n) + " of " + std::to_string(size));
            const Bytes cut(sample.bytes.begin(), sample.bytes.begin() + static_cast<long>(n));
            const std::string path = dir.Write("cut.bmp", cut);
            const Result r = Import(path);
            EXPECT_FALSE(r.leakedFile);
            EXPECT_EQ(r.begins, r.ends) << "progress display not ended exactly once";
            EXPECT_LE(r.begins, 1);
            if (n < 14) {
                // The file header itself.
                EXPECT_TRUE(r.raised);
                EXPECT_EQ(215, r.line);
                EXPECT_EQ(8, r.code);
                EXPECT_EQ((std::vector<std::string>{path, "Premature end of file"}), r.args);
                EXPECT_EQ(0, r.begins);
            } else if (n < sample.headerEnd) {
                // The header size or the information header: no status, generic error.
                EXPECT_TRUE(r.raised);
                EXPECT_EQ(225, r.line);
                EXPECT_EQ(1, r.code);
                EXPECT_TRUE(r.args.empty());
                EXPECT_EQ(0, r.begins);
            } else if (n < sample.tablesEnd) {
                // Masks or colour table.
                EXPECT_TRUE(r.raised);
                EXPECT_EQ(215, r.line);
                EXPECT_EQ((std::vector<std::string>{path, "Premature end of file"}), r.args);
                EXPECT_EQ(0, r.begins);
            } else if (!sample.runLength) {
                // Inside the pixel rows.
                EXPECT_TRUE(r.raised);
                EXPECT_EQ(325, r.line);
                EXPECT_EQ(8, r.code);
                EXPECT_EQ((std::vector<std::string>{path, "Premature end of file."}), r.args);
                EXPECT_EQ(1, r.begins);
            } else {
                // A cut run-length stream ends its rows quietly: what was decoded
                // stays, the rest is zero.
                EXPECT_FALSE(r.raised) << "line " << r.line;
                ASSERT_TRUE(r.image);
                ASSERT_EQ(full.image->GetHeight(), r.image->GetHeight());
                const auto rowBytes = static_cast<std::size_t>(full.image->GetRowBytes());
                for (int y = 0; y < full.image->GetHeight(); ++y) {
                    const std::uint8_t* want = full.image->Row(y);
                    const std::uint8_t* got = r.image->Row(y);
                    for (std::size_t x = 0; x < rowBytes && got != nullptr; ++x) {
                        const bool highOk =
                            (got[x] & 0xF0) == 0 || (got[x] & 0xF0) == (want[x] & 0xF0);
                        const bool lowOk =
                            (got[x] & 0x0F) == 0 || (got[x] & 0x0F) == (want[x] & 0x0F);
                        EXPECT_TRUE(highOk && lowOk) << "row " << y << " byte " << x;
                    }
                }
            }
        }
    }
}

}  // namespace
