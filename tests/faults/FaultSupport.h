#pragma once
// Helpers of the fault tests: a real limit on file size, images to export, and
// a check that no file was left open.
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "orix/TrImage.h"

namespace faults {

// While it lives, files this process writes cannot grow past `bytes`: a
// write beyond fails with EFBIG, as a full disk fails with ENOSPC.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
};

// An image of the given host format whose bytes are a recognisable pattern;
// indexed formats use `colours` entries of a made-up table.
inline std::unique_ptr<orix::TrImage> PatternImage(tamb::ColorFormat format, int width, int height,
                                                   int colours = 0) {
    auto image = std::make_unique<orix::TrImage>();
    tagRGBQUAD table[256] = {};
    for (int i = 0; i < 256; ++i)
        table[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 3),
                    static_cast<std::uint8_t>(255 - i), 0};
    image->SetScanlineStart(width, height, format, 2835, 2835, table, orix::TrImage::RowsByIndex,
                            0);
    if (colours > 0) image->SetNumColorTableEntriesUsed(colours);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(image->GetRowBytes()));
    for (int y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < row.size(); ++x)
            row[x] = static_cast<std::uint8_t>(x * 7 + y * 31 + 1);
        image->SetScanline(row.data(), y);
    }
    image->SetScanlineEnd(nullptr, 0);
    return image;
}

}  // namespace faults
