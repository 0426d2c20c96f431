// Exports that run out of room on disk for real: each runs in a child process
// whose files may not grow past a limit, so the system's write fails (EFBIG).
#include <gtest/gtest.h>

#include <cerrno>

#include "ExportSupport.h"
#include "frame/BmpExportFilter.h"
#include "support/BmpBuilder.h"

namespace {

using exporttest::Describe;
using exporttest::MakeImage;
using exporttest::RunWithFileSizeLimit;
using testsupport::Bytes;
using testsupport::FileExists;
using testsupport::TempDir;

// Exports one image under the limit; reports the error raised and whether a
// file was left at the target after EndExport.
std::string ExportUnderLimit(long limit, const std::string& path, tamb::ColorFormat format,
                             int width, const std::vector<Bytes>& rows) {
    return RunWithFileSizeLimit(limit, [&] {
        auto image = MakeImage(width, format, rows, testsupport::TestPalette(256));
        orix::IoManager manager;
        BmpExportFilter filter(manager);
        filter.BeginExport(path.c_str(), false);
        const auto error = exporttest::CaptureError([&] { filter.ExportObject(*image); });
        const bool leftBeforeEnd = FileExists(path);
        filter.EndExport();
        std::string out = error ? Describe(*error) : std::string("no error");
        out += leftBeforeEnd ? "; file left" : "; no file";
        out += FileExists(path) ? "; file after end" : "; none after end";
        return out;
    });
}

TEST(BmpExportWriteFailures, HeadersThatCannotBeWritten) {
    struct Case {
        const char* name;
        long limit;
        tamb::ColorFormat format;
    };
    // An 8-bit file needs 1078 bytes before its pixels; a 24-bit one 54.
    const Case cases[] = {
        {"inside the colour table", 600, tamb::ColorIndexed8},
        {"inside the file header", 10, tamb::ColorBgr24},
        {"inside the information header", 30, tamb::ColorBgr24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("h.bmp");
        const int width = c.format == tamb::ColorBgr24 ? 1 : 3;
        const std::string got = ExportUnderLimit(c.limit, path, c.format, width, {{1, 2, 3}});
        EXPECT_EQ(got, ".\\BmpExportFilter 249 code 9 [" + path + "|" +
                           exporttest::SystemText(EFBIG) + "]; no file; none after end");
        EXPECT_FALSE(FileExists(path));
    }
}

TEST(BmpExportWriteFailures, RowThatCannotBeWritten) {
    struct Case {
        const char* name;
        long limit;
        tamb::ColorFormat format;
        int width, height;
    };
    const Case cases[] = {
        {"first row, 24 bits", 54 + 6, tamb::ColorBgr24, 2, 3},  // rows of 8 bytes
        {"third row, 24 bits", 54 + 16, tamb::ColorBgr24, 2, 3},
        {"converted row", 54 + 8, tamb::ColorRgba32, 2, 3},
        {"last row, 1 bit", 62 + 4 * 39, tamb::ColorGray1, 9, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("r.bmp");
        const std::vector<Bytes> rows(static_cast<std::size_t>(c.height), Bytes{7, 7});
        const std::string got = ExportUnderLimit(c.limit, path, c.format, c.width, rows);
        EXPECT_EQ(got, ".\\BmpExportFilter 278 code 9 [" + path +
                           "|File write error]; no file; none after end");
        EXPECT_FALSE(FileExists(path));
    }
}

TEST(BmpExportWriteFailures, ExactFitSucceeds) {
    // The limit that breaks a file one byte short lets the whole file through.
    TempDir dir;
    const std::string path = dir.File("fit.bmp");
    const std::string got = RunWithFileSizeLimit(54 + 24, [&] {
        auto image = MakeImage(2, tamb::ColorBgr24, {Bytes(6, 1), Bytes(6, 2), Bytes(6, 3)});
        orix::IoManager manager;
        BmpExportFilter filter(manager);
        filter.BeginExport(path.c_str(), false);
        const auto status = filter.ExportObject(*image);
        filter.EndExport();
        return "status " + std::to_string(static_cast<int>(status)) + " size " +
               std::to_string(FileExists(path) ? testsupport::ReadFileBytes(path).size() : 0);
    });
    EXPECT_EQ(got, "status 0 size 78");
}

}  // namespace
