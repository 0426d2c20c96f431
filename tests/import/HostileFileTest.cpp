// Damaged files: valid files of every form with bytes overwritten or cut
// off. Whatever the damage, an import either delivers an image or raises the
// framework's error (or the host's allocation failure for a size it will not
// take), and always ends its progress display. The sanitizer build checks
// every memory access on the way.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "ImportTestSupport.h"
#include "orix/IoException.h"
#include "orix/IoManager.h"
#include "orix/TrImage.h"

namespace {

using testsupport::BmpFields;
using testsupport::BuildBmp;
using testsupport::Bytes;
using testsupport::TempDir;
using testsupport::TestPalette;

std::vector<Bytes> Seeds() {
    std::vector<Bytes> seeds;
    auto add = [&seeds](std::int32_t w, std::int32_t h, std::uint16_t bits,
                        std::uint32_t compression, std::uint32_t headerSize, Bytes pixels) {
        BmpFields s;
        s.width = w;
        s.height = h;
        s.bitCount = bits;
        s.compression = compression;
        s.headerSize = headerSize;
        if (bits <= 8) s.palette = TestPalette(1 << bits);
        if (compression == 3) s.masks = {0xF800, 0x07E0, 0x001F};
        s.pixels = std::move(pixels);
        seeds.push_back(BuildBmp(s));
    };
    add(9, 3, 1, 0, 40, Bytes(12, 0x5A));
    add(5, -2, 4, 0, 12, Bytes(8, 0x12));
    add(6, 2, 8, 1, 40,
        {0x03, 0x01, 0x00, 0x03, 0x02, 0x03, 0x04, 0x00, 0x00, 0x02, 0x01, 0x01, 0x02, 0x05, 0x00,
         0x00, 0x00, 0x01});
    add(7, 2, 4, 2, 40,
        {0x03, 0x12, 0x00, 0x05, 0x34, 0x56, 0x70, 0x00, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x02,
         0x9A, 0x00, 0x01});
    add(3, 2, 16, 3, 124, Bytes(16, 0xA5));
    add(3, 2, 24, 0, 108, Bytes(24, 0x3C));
    add(2, 2, 32, 0, 40, Bytes(16, 0x00));
    return seeds;
}

TEST(HostileFiles, DamagedFilesImportOrFailCleanly) {
    const std::uint64_t limit = orix::TrImage::GetPixelLimit();
    orix::TrImage::SetPixelLimit(1 << 14);
    TempDir dir;
    std::uint32_t seed = 2024;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int imported = 0, refused = 0, tooLarge = 0;
    const std::vector<Bytes> seeds = Seeds();
    for (int round = 0; round < 700; ++round) {
        Bytes file = seeds[static_cast<std::size_t>(round) % seeds.size()];
        const int edits = 1 + static_cast<int>(next() % 4);
        for (int e = 0; e < edits; ++e) {
            // Headers are where damage matters most: aim half the edits there.
            const std::size_t span =
                (next() & 1) ? std::min<std::size_t>(file.size(), 70) : file.size();
            const std::uint32_t kind = next() % 8;
            const std::size_t at = next() % span;
            if (kind == 0) {
                file.resize(at);
                if (file.empty()) break;
            } else if (kind == 1) {
                file[at] = 0xFF;
            } else if (kind == 2) {
                file[at] = 0x00;
            } else {
                file[at] = static_cast<std::uint8_t>(next());
            }
        }
        const std::string path = dir.Write("damaged.bmp", file);
        orix::IoManager manager;
        manager.m_warningAnswer = 6;
        BmpImportFilter filter(manager);
        try {
            filter.ImportFile(path.c_str(), true);
            ++imported;
        } catch (const orix::IoException& e) {
            EXPECT_EQ(e.source, ".\\BmpImportFilter");
            ++refused;
        } catch (const std::bad_alloc&) {
            ++tooLarge;
        }
        ASSERT_EQ(manager.m_activeProgress, 0) << "round " << round;
        // Also the probe and the description take the file in their stride.
        std::string text;
        filter.IsFileSupported(path.c_str());
        filter.GetFileDescription(path.c_str(), text);
    }
    orix::TrImage::SetPixelLimit(limit);
    // The sweep must exercise both outcomes to mean anything.
    EXPECT_GT(imported, 50);
    EXPECT_GT(refused, 50);
    RecordProperty("imported", imported);
    RecordProperty("refused", refused);
    RecordProperty("tooLarge", tooLarge);
}

}  // namespace
