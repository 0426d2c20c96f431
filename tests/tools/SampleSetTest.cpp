// The main job's sample set, run through bmphost as a user runs it, checked
// against the module loaded in this process and against Pillow.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "ToolTestSupport.h"
#include "orix/IoException.h"
#include "orix/IoImportFilter.h"
#include "orix/IoManager.h"
#include "orix/TrImage.h"

namespace {

using testsupport::TempDir;
using tooltest::Bmphost;
using tooltest::HexOf;
using tooltest::ImportJson;
using tooltest::JsonValue;
using tooltest::RunResult;

struct Entry {
    std::string name;
    std::string expectation;
    std::string label;
};

// The samples, made once for all tests of this file.
class SampleSetTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir();
        const RunResult run = tooltest::Run({BMPSAMPLES_PATH, s_dir->path()});
        ASSERT_EQ(run.status, 0) << run.err;
        std::ifstream manifest(s_dir->File("MANIFEST.tsv"));
        std::string line;
        while (std::getline(manifest, line)) {
            std::istringstream fields(line);
            Entry e;
            std::getline(fields, e.name, '\t');
            std::getline(fields, e.expectation, '\t');
            std::getline(fields, e.label);
            s_entries.push_back(e);
        }
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
        s_entries.clear();
    }
    static std::string Path(const Entry& e) { return s_dir->File(e.name); }

    static TempDir* s_dir;
    static std::vector<Entry> s_entries;
};

TempDir* SampleSetTest::s_dir = nullptr;
std::vector<Entry> SampleSetTest::s_entries;

// The module as a host loads it, in this process: the reference for what
// bmphost must print.
struct Reference {
    bool raised = false;
    int line = 0;
    int result = -1;
    std::unique_ptr<orix::TrImage> image;
};

Reference ImportInProcess(const std::string& path) {
    using Factory = orix::IoImportFilter* (*)(orix::IoManager&);
    static void* handle = dlopen(BMPFILTER_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    Reference out;
    if (handle == nullptr) return out;
    const auto factory = reinterpret_cast<Factory>(dlsym(handle, "ImportBMP"));
    orix::IoManager manager;
    manager.m_leadingFlag = 1;
    manager.m_warningAnswer = 6;  // as --opaque yes
    std::unique_ptr<orix::IoImportFilter> filter(factory(manager));
    try {
        out.result = filter->ImportFile(path.c_str(), true);
    } catch (const orix::IoException& e) {
        out.raised = true;
        out.line = e.line;
    }
    if (!manager.m_imported.empty()) out.image = std::move(manager.m_imported.back());
    return out;
}

std::vector<std::string> RowsOf(const orix::TrImage& image) {
    std::vector<std::string> rows;
    for (int y = 0; y < image.GetHeight(); ++y) {
        const unsigned char* row = image.Row(y);
        testsupport::Bytes bytes(static_cast<std::size_t>(image.GetRowBytes()), 0);
        if (row != nullptr) bytes.assign(row, row + bytes.size());
        rows.push_back(HexOf(bytes));
    }
    return rows;
}

TEST_F(SampleSetTest, CoversEveryDepthCompressionAndHeaderForm) {
    ASSERT_GE(s_entries.size(), 20u);
    std::set<int> depths, compressions, headers;
    for (const auto& e : s_entries) {
        ASSERT_TRUE(testsupport::FileExists(Path(e))) << e.name;
        if (e.expectation.rfind("error", 0) == 0) continue;
        const testsupport::Bytes b = testsupport::ReadFileBytes(Path(e));
        const std::uint32_t size = b[14] | (b[15] << 8) | (b[16] << 16) | (b[17] << 24);
        headers.insert(static_cast<int>(size));
        depths.insert(size == 12 ? b[24] | (b[25] << 8) : b[28] | (b[29] << 8));
        if (size != 12) compressions.insert(b[30]);
    }
    EXPECT_EQ(depths, (std::set<int>{1, 4, 8, 16, 24, 32}));
    EXPECT_EQ(compressions, (std::set<int>{0, 1, 2, 3}));
    EXPECT_EQ(headers, (std::set<int>{12, 40, 108, 124}));
}

TEST_F(SampleSetTest, ImportJsonIsExactlyWhatTheModuleHandsOver) {
    for (const auto& e : s_entries) {
        SCOPED_TRACE(e.name + " (" + e.label + ")");
        RunResult run;
        const JsonValue json = ImportJson(Path(e), {"--opaque", "yes"}, &run);
        const Reference ref = ImportInProcess(Path(e));
        if (e.expectation.rfind("error ", 0) == 0) {
            const int line = std::stoi(e.expectation.substr(6));
            EXPECT_EQ(run.status, 1);
            ASSERT_TRUE(json.Has("error"));
            EXPECT_EQ(json["error"]["line"].number, line);
            EXPECT_TRUE(ref.raised);
            EXPECT_EQ(ref.line, line);
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(json["question_asked"].boolean, e.expectation == "question");
        EXPECT_EQ(json["result"].number, ref.result);
        ASSERT_TRUE(ref.image != nullptr);
        const JsonValue& image = json["image"];
        EXPECT_EQ(image["width"].number, ref.image->GetWidth());
        EXPECT_EQ(image["height"].number, ref.image->GetHeight());
        EXPECT_EQ(image["format"].number, ref.image->GetColorFormat());
        EXPECT_EQ(image["xppm"].number, ref.image->GetXPelsPerMeter());
        EXPECT_EQ(image["yppm"].number, ref.image->GetYPelsPerMeter());
        EXPECT_EQ(image["color_table"].text,
                  HexOf(testsupport::Bytes(
                      reinterpret_cast<const std::uint8_t*>(ref.image->ColorTable()),
                      reinterpret_cast<const std::uint8_t*>(ref.image->ColorTable() + 256))));
        EXPECT_EQ(Texts(image["rows"]), RowsOf(*ref.image));
    }
}

TEST_F(SampleSetTest, ConvertWritesWhatWasImported) {
    TempDir out;
    for (const auto& e : s_entries) {
        SCOPED_TRACE(e.name);
        const std::string target = out.File(e.name);
        const RunResult run = Bmphost({"convert", Path(e), target, "--opaque", "yes"});
        if (e.expectation.rfind("error", 0) == 0) {
            EXPECT_EQ(run.status, 1);
            EXPECT_FALSE(testsupport::FileExists(target));
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        const Reference first = ImportInProcess(Path(e));
        const Reference again = ImportInProcess(target);
        ASSERT_TRUE(first.image && again.image);
        EXPECT_EQ(again.image->GetColorFormat(), first.image->GetColorFormat());
        EXPECT_EQ(again.image->GetWidth(), first.image->GetWidth());
        EXPECT_EQ(again.image->GetHeight(), first.image->GetHeight());
        EXPECT_EQ(RowsOf(*again.image), RowsOf(*first.image));
    }
}

// Pillow reads the source files and the previews on its own. It is left out
// where it reads a file differently from the format as the module reads it:
// run-length files with deltas, and a pixel offset of 0.
TEST_F(SampleSetTest, PreviewsMatchPillowsReadingOfTheSamples) {
    if (tooltest::PillowPython().empty()) GTEST_SKIP() << "no python3 with Pillow";
    TempDir previews;
    int compared = 0;
    for (const auto& e : s_entries) {
        if (e.expectation.rfind("error", 0) == 0 || e.name.find("rle") != std::string::npos ||
            e.name.find("offbits0") != std::string::npos)
            continue;
        SCOPED_TRACE(e.name);
        const std::string png = previews.File(e.name + ".png");
        const RunResult run = Bmphost({"import", Path(e), "--png", png, "--opaque", "no"});
        ASSERT_EQ(run.status, 0) << run.err;
        tooltest::PillowImage source, preview;
        std::string error;
        ASSERT_TRUE(tooltest::ReadWithPillow(Path(e), source, error)) << error;
        ASSERT_TRUE(tooltest::ReadWithPillow(png, preview, error)) << error;
        ASSERT_EQ(preview.width, source.width);
        ASSERT_EQ(preview.height, source.height);
        ASSERT_EQ(preview.rgba.size(), source.rgba.size());
        // Pillow widens 5-bit channels by bit copying, the module by scaling:
        // they may differ by a little, never more.
        const int tolerance = e.name.find("16") != std::string::npos ? 4 : 0;
        int worst = 0;
        for (std::size_t i = 0; i < source.rgba.size(); ++i) {
            if (i % 4 == 3) continue;  // Pillow drops the alpha of 32-bit BI_RGB files
            worst = std::max(worst, std::abs(source.rgba[i] - preview.rgba[i]));
        }
        EXPECT_LE(worst, tolerance);
        ++compared;
    }
    EXPECT_GE(compared, 15);
}

}  // namespace
