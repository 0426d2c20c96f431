// Export under real failures: writes that fail at every byte of the file,
// targets that cannot be created, stops at every progress report, and the
// filter destroyed in the middle. No partial file may ever remain, and each
// failure raises the error its stage lists.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

#include "faults/FaultSupport.h"
#include "orix/TrInitGraphicsExp.h"
#include "support/BmpBuilder.h"
#include "tamb/SystemError.h"

namespace {

using faults::PatternImage;
using testsupport::FileExists;
using testsupport::ReadFileBytes;
using testsupport::TempDir;

struct Case {
    const char* name;
    tamb::ColorFormat format;
    int colours;
    std::size_t tableBytes;  // colour table bytes the file carries
};

const Case kCases[] = {
    {"indexed1", tamb::ColorIndexed1, 2, 8},
    {"indexed4", tamb::ColorIndexed4, 16, 64},
    {"indexed8", tamb::ColorIndexed8, 10, 1024},
    {"grey8", tamb::ColorGray8, 0, 1024},
    {"bgr24", tamb::ColorBgr24, 0, 0},
    {"bgra32", tamb::ColorBgra32, 0, 0},
    {"rgb565 converted", tamb::ColorRgb565, 0, 0},
};

struct Outcome {
    bool raised = false;
    int line = 0;
    int code = 0;
    std::vector<std::string> args;
    int status = -1;
};

// One export as a host drives it, up to (not including) EndExport.
Outcome Export(orix::IoExportFilter& filter, orix::TrImage& image, const std::string& path) {
    Outcome out;
    try {
        filter.BeginExport(path.c_str(), false);
        out.status = filter.ExportObject(image);
    } catch (const orix::IoException& e) {
        out.raised = true;
        out.line = e.line;
        out.code = e.code;
        out.args = e.args;
    }
    return out;
}

// The file class writes straight through, so closing has nothing left to lose:
// the last stage that can fail is the last row, which the highest limit hits.
TEST(ExportFaults, WriteFailingAtEveryByteLeavesNoFileAndNamesTheStage) {
    TempDir dir;
    const std::string path = dir.File("out.bmp");
    const std::string tooLarge = tamb::FormatSystemErrorMsg(EFBIG);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        auto image = PatternImage(c.format, 5, 3, c.colours);
        // The whole file, written without a limit.
        std::size_t fileSize;
        {
            orix::IoManager manager;
            std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
            ASSERT_EQ(0, Export(*filter, *image, path).status);
            filter->EndExport();
            fileSize = ReadFileBytes(path).size();
        }
        const std::size_t headerBytes = 54 + c.tableBytes;
        ASSERT_GT(fileSize, headerBytes);
        for (std::size_t limit = 0; limit < fileSize; ++limit) {
            SCOPED_TRACE("file size limit " + std::to_string(limit));
            orix::IoManager manager;
            std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
            Outcome out;
            {
                faults::FileSizeLimit fsize(limit);
                const int fdBefore = fuzzcheck::LowestFreeFd();
                out = Export(*filter, *image, path);
                EXPECT_EQ(fdBefore, fuzzcheck::LowestFreeFd()) << "file left open";
            }
            ASSERT_TRUE(out.raised);
            EXPECT_FALSE(FileExists(path)) << "partial file left by the failure";
            EXPECT_EQ(9, out.code);
            if (limit < headerBytes) {
                // Headers and colour table go out when the file is created.
                EXPECT_EQ(249, out.line);
                EXPECT_EQ((std::vector<std::string>{path, tooLarge}), out.args);
            } else {
                EXPECT_EQ(278, out.line);
                EXPECT_EQ((std::vector<std::string>{path, "File write error"}), out.args);
            }
            EXPECT_EQ(orix::ExportDone, filter->EndExport());
            EXPECT_FALSE(FileExists(path));
            EXPECT_EQ(0, manager.m_activeProgress) << "progress display still open";
        }
        // And with exactly enough room the file is written whole.
        orix::IoManager manager;
        std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
        {
            faults::FileSizeLimit fsize(fileSize);
            EXPECT_EQ(0, Export(*filter, *image, path).status);
        }
        filter->EndExport();
        EXPECT_EQ(fileSize, ReadFileBytes(path).size());
        ::unlink(path.c_str());
    }
}

TEST(ExportFaults, TargetThatCannotBeCreatedRaisesTheOpenErrorAndCreatesNothing) {
    TempDir dir;
    const std::string missing = dir.File("no-such-dir/out.bmp");
    const std::string isDir = dir.path();
    const struct {
        std::string path;
        int error;
    } targets[] = {{missing, ENOENT}, {isDir, EISDIR}};
    for (const auto& t : targets) {
        SCOPED_TRACE(t.path);
        auto image = PatternImage(tamb::ColorBgr24, 4, 4);
        orix::IoManager manager;
        std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
        const Outcome out = Export(*filter, *image, t.path);
        ASSERT_TRUE(out.raised);
        EXPECT_EQ(247, out.line);
        EXPECT_EQ(5, out.code);
        EXPECT_EQ((std::vector<std::string>{t.path, tamb::FormatSystemErrorMsg(t.error)}),
                  out.args);
        EXPECT_EQ(orix::ExportDone, filter->EndExport());
        EXPECT_EQ(0, manager.m_activeProgress);
    }
    EXPECT_FALSE(FileExists(missing));
    EXPECT_TRUE(FileExists(isDir)) << "a directory in the way must survive";
}

TEST(ExportFaults, StopAtEveryProgressReportLeavesNoFileAndTheFilterStaysUsable) {
    TempDir dir;
    const std::string path = dir.File("out.bmp");
    // Reports: rows 0, 32, 64 ... and the last row, then the final 1.0.
    const struct {
        int height;
        int reports;
    } heights[] = {{1, 2}, {2, 3}, {32, 3}, {33, 3}, {34, 4}, {70, 5}};
    for (const auto& h : heights) {
        SCOPED_TRACE("height " + std::to_string(h.height));
        auto image = PatternImage(tamb::ColorIndexed8, 3, h.height, 256);
        std::vector<std::uint8_t> reference;
        {
            orix::IoManager manager;
            std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
            ASSERT_EQ(0, Export(*filter, *image, path).status);
            filter->EndExport();
            reference = ReadFileBytes(path);
            ASSERT_EQ(static_cast<long>(h.reports), manager.m_proportionCalls);
            ::unlink(path.c_str());
        }
        for (int k = 0; k < h.reports; ++k) {
            SCOPED_TRACE("stop at report " + std::to_string(k));
            orix::IoManager manager;
            manager.m_stopAtProportion = k;
            std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
            const Outcome out = Export(*filter, *image, path);
            EXPECT_FALSE(out.raised);
            EXPECT_EQ(orix::ExportStopped, out.status);
            EXPECT_EQ(k + 1, manager.m_proportionCalls) << "went on after the stop";
            EXPECT_EQ(0, manager.m_activeProgress) << "progress not ended at the stop";
            EXPECT_EQ(orix::ExportDone, filter->EndExport());
            EXPECT_FALSE(FileExists(path)) << "stopped export left its file";
            EXPECT_EQ(0, manager.m_activeProgress);
            // The same filter then writes the same image completely.
            manager.m_stopAtProportion = -1;
            EXPECT_EQ(0, Export(*filter, *image, path).status);
            filter->EndExport();
            EXPECT_EQ(reference, ReadFileBytes(path));
            ::unlink(path.c_str());
        }
    }
}

TEST(ExportFaults, FilterDestroyedMidExportLeavesNoFile) {
    TempDir dir;
    const std::string path = dir.File("out.bmp");
    auto image = PatternImage(tamb::ColorBgra32, 6, 40);
    enum Stage { AfterBegin, AfterImage, AfterStop, AfterWriteFailure, AfterOtherObject };
    for (Stage stage : {AfterBegin, AfterImage, AfterStop, AfterWriteFailure, AfterOtherObject}) {
        SCOPED_TRACE("stage " + std::to_string(stage));
        orix::IoManager manager;
        std::unique_ptr<orix::IoExportFilter> filter(ExportBMP(manager));
        const int fdBefore = fuzzcheck::LowestFreeFd();
        filter->BeginExport(path.c_str(), false);
        switch (stage) {
            case AfterBegin:
                break;
            case AfterImage:
                ASSERT_EQ(orix::ExportDone, filter->ExportObject(*image));
                ASSERT_TRUE(FileExists(path));
                break;
            case AfterStop:
                manager.m_stopAtProportion = 1;
                ASSERT_EQ(orix::ExportStopped, filter->ExportObject(*image));
                break;
            case AfterWriteFailure: {
                faults::FileSizeLimit fsize(300);
                EXPECT_THROW(filter->ExportObject(*image), orix::IoException);
                break;
            }
            case AfterOtherObject: {
                orix::TrInitGraphicsExp init;
                ASSERT_EQ(orix::ExportDone, filter->ExportObject(init));
                ASSERT_EQ(orix::ExportDone, filter->ExportObject(*image));
                break;
            }
        }
        filter.reset();
        EXPECT_FALSE(FileExists(path)) << "file left after the filter was destroyed";
        EXPECT_EQ(fdBefore, fuzzcheck::LowestFreeFd()) << "file left open";
        EXPECT_EQ(0, manager.m_activeProgress) << "progress display left open";
    }
}

}  // namespace
