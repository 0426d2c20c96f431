// The module as the host finds it: two exports, and the slots both filters
// share.
#include <gtest/gtest.h>

#include "orix/TrInitGraphicsExp.h"
#include "support/Plugin.h"

namespace {

using namespace testsupport;

TEST(Frame, ExportsExactlyTheTwoFactories) {
    const Module& module = LoadedModule();
    ASSERT_NE(module.importBmp, nullptr) << module.error;
    ASSERT_NE(module.exportBmp, nullptr) << module.error;
#if !defined(_WIN32)
    EXPECT_EQ(ExportedNames(), (std::vector<std::string>{"ExportBMP", "ImportBMP"}));
#endif
}

TEST(Frame, SharedSlots) {
    standin::RecordingManager manager;
    auto importer = NewImportFilter(manager);
    auto exporter = NewExportFilter(manager);
    orix::IoFilter* filters[] = {importer.get(), exporter.get()};
    const tamb::CTypeInfo* image = orix::TrImage::GetClassTypeId();
    const tamb::CTypeInfo* init = orix::TrInitGraphicsExp::GetClassTypeId();
    for (orix::IoFilter* filter : filters) {
        const bool exports = filter == exporter.get();
        EXPECT_TRUE(filter->CanHandleType(image));
        EXPECT_EQ(filter->CanHandleType(init), exports);
        EXPECT_FALSE(filter->CanHandleType(nullptr));
        // Option queries go to the host's library with ',' between items.
        std::string value = "old";
        EXPECT_TRUE(filter->GetStringOption("a=1,depth = 8", "depth", value));
        EXPECT_EQ(value, "8");
        EXPECT_FALSE(filter->GetStringOption("a=1;depth=8", "depth", value));
        EXPECT_EQ(value, "8");
    }
}

// A manager of the host's own making, not the stand-in's, is refused at the
// first call that needs it (the export's options, the import's progress),
// and so is one destroyed while its filters live; ending a display, which a
// filter does in its destructor, reports that once on stderr and throws
// nothing.
TEST(Frame, AManagerTheStandInDidNotMakeOrThatIsGoneIsNamed) {
    TempDir dir;
    BmpFields fields;
    fields.pixels = Bytes(4, 0);
    const std::string path = dir.Write("p.bmp", BuildBmp(fields));
    struct HostManager : orix::IoManager {
    } foreign;
    EXPECT_EQ(Catch([&] { NewExportFilter(foreign); }).message, standin::kForeignManager);
    auto importer = NewImportFilter(foreign);
    EXPECT_TRUE(importer->IsFileSupported(path.c_str()));
    EXPECT_EQ(Catch([&] { importer->ImportFile(path.c_str(), false); }).message,
              standin::kForeignManager);

    auto gone = std::make_unique<standin::Manager>();
    importer = NewImportFilter(*gone);
    std::unique_ptr<orix::IoExportFilter> exporters[] = {NewExportFilter(*gone),
                                                         NewExportFilter(*gone)};
    const std::string target = dir.File("open.bmp");
    for (auto& exporter : exporters) exporter->BeginExport(target.c_str(), false);
    gone.reset();
    EXPECT_EQ(Catch([&] { importer->ImportFile(path.c_str(), false); }).message,
              standin::kDestroyedManager);
    testing::internal::CaptureStderr();
    for (auto& exporter : exporters) exporter.reset();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string("standin: ") + standin::kDestroyedManager + "\n");
}

}  // namespace
