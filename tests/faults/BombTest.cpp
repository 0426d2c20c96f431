// Decompression bombs: a run-length file of a few dozen bytes can describe
// more rows than any host wants, and an uncompressed file can claim sizes far
// beyond its bytes. The host's image refuses pixel counts beyond its policy
// limit as an allocation failure; the module must let that pass with its full
// clean-up, and below the limit it must simply stream.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>

#include "faults/FaultSupport.h"
#include "support/BmpBuilder.h"

namespace {

using testsupport::BmpFields;
using testsupport::Bytes;

// Restores the host's pixel limit when a test ends.
class PixelLimit {
  public:
    explicit PixelLimit(std::uint64_t pixels) : m_saved(orix::TrImage::GetPixelLimit()) {
        orix::TrImage::SetPixelLimit(pixels);
    }
    ~PixelLimit() { orix::TrImage::SetPixelLimit(m_saved); }

  private:
    std::uint64_t m_saved;
};

Bytes RleBomb(std::int32_t width, std::int32_t height) {
    BmpFields s;
    s.width = width;
    s.height = height;
    s.bitCount = 8;
    s.compression = 1;
    s.palette = testsupport::TestPalette(2);
    s.clrUsed = 2;
    s.pixels = {0x04, 0x01, 0x00, 0x00, 0x00, 0x01};  // one short row, then the end
    return testsupport::BuildBmp(s);
}

Bytes ClaimingFile(std::int32_t width, std::int32_t height) {
    BmpFields s;
    s.width = width;
    s.height = height;
    s.pixels.assign(36, 0x7F);
    return testsupport::BuildBmp(s);
}

struct BombRun {
    bool badAlloc = false;
    bool raised = false;
    int line = 0;
    bool leakedFile = false;
    long imports = 0;
    int activeProgress = 0;
    int begins = 0;
    std::unique_ptr<orix::TrImage> image;
};

BombRun Import(const std::string& path) {
    BombRun r;
    orix::IoManager manager;
    std::unique_ptr<orix::IoImportFilter> filter(ImportBMP(manager));
    const int fdBefore = fuzzcheck::LowestFreeFd();
    try {
        filter->ImportFile(path.c_str(), false);
    } catch (const std::bad_alloc&) {
        r.badAlloc = true;
    } catch (const orix::IoException& e) {
        r.raised = true;
        r.line = e.line;
    }
    r.leakedFile = fuzzcheck::LowestFreeFd() != fdBefore;
    r.imports = manager.m_importObjectCalls;
    r.activeProgress = manager.m_activeProgress;
    for (const auto& event : manager.m_progress)
        r.begins += event.kind == orix::ProgressEvent::Begin;
    if (!manager.m_imported.empty()) r.image = std::move(manager.m_imported[0]);
    return r;
}

TEST(Bombs, FilesBeyondTheHostLimitFailAsAnAllocationWithFullCleanUp) {
    testsupport::TempDir dir;
    ASSERT_EQ(std::uint64_t(1) << 28, orix::TrImage::GetPixelLimit()) << "the host's default";
    const struct {
        const char* name;
        Bytes bytes;
    } bombs[] = {
        {"run-length, 2^30 rows", RleBomb(1, 1 << 30)},
        {"run-length, 2^30 rows top-down", RleBomb(1, -(1 << 30))},
        {"run-length, 65536 x 65536", RleBomb(65536, 65536)},
        {"uncompressed claiming 20000 x 20000", ClaimingFile(20000, 20000)},
    };
    for (const auto& bomb : bombs) {
        SCOPED_TRACE(bomb.name);
        EXPECT_LT(bomb.bytes.size(), 1200u);
        const BombRun r = Import(dir.Write("bomb.bmp", bomb.bytes));
        EXPECT_TRUE(r.badAlloc) << (r.raised ? "raised line " + std::to_string(r.line) : "");
        EXPECT_FALSE(r.leakedFile);
        EXPECT_EQ(1, r.begins);
        EXPECT_EQ(0, r.activeProgress) << "progress display not ended";
        EXPECT_EQ(0, r.imports);
    }
}

TEST(Bombs, LimitIsExactAndBelowItRunLengthFilesStreamToZeros) {
    testsupport::TempDir dir;
    PixelLimit limit(64 * 1024);
    // Exactly at the limit: the image is made and every row beyond the first is zero.
    const BombRun at = Import(dir.Write("at.bmp", RleBomb(16, 4096)));
    ASSERT_FALSE(at.badAlloc);
    ASSERT_FALSE(at.raised) << at.line;
    ASSERT_TRUE(at.image);
    EXPECT_EQ(4096, at.image->GetHeight());
    const std::uint8_t* bottom = at.image->Row(4095);
    ASSERT_NE(nullptr, bottom);
    EXPECT_EQ((Bytes{1, 1, 1, 1, 0, 0}), Bytes(bottom, bottom + 6));
    for (int y = 0; y < 4095; ++y) {
        const std::uint8_t* row = at.image->Row(y);
        if (row == nullptr) continue;  // never written, reads as zeros
        for (int x = 0; x < 16; ++x) ASSERT_EQ(0, row[x]) << "row " << y;
    }
    // One row more: refused by the host, cleaned up by the module.
    const BombRun over = Import(dir.Write("over.bmp", RleBomb(16, 4097)));
    EXPECT_TRUE(over.badAlloc);
    EXPECT_FALSE(over.leakedFile);
    EXPECT_EQ(0, over.activeProgress);
    EXPECT_EQ(0, over.imports);
}

TEST(Bombs, UncompressedClaimWithinTheLimitStopsAtTheMissingRows) {
    testsupport::TempDir dir;
    PixelLimit limit(64 * 1024);
    // 256 x 256 claimed, 36 bytes present: the first row is already short.
    const BombRun r = Import(dir.Write("claim.bmp", ClaimingFile(256, 256)));
    EXPECT_FALSE(r.badAlloc);
    EXPECT_TRUE(r.raised);
    EXPECT_EQ(325, r.line);
    EXPECT_FALSE(r.leakedFile);
    EXPECT_EQ(0, r.activeProgress);
    EXPECT_EQ(0, r.imports);
}

}  // namespace
