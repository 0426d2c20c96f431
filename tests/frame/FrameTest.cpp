#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "frame/IoProgressScope.h"
#include "orix/IoExportFilter.h"
#include "orix/IoImportFilter.h"
#include "orix/IoManager.h"
#include "orix/IoProgress.h"
#include "orix/TrImage.h"
#include "orix/TrInitGraphicsExp.h"
#include "support/DynamicLibrary.h"
#include "velk/Options.h"

namespace {

using ExportFactory = orix::IoExportFilter* (*)(orix::IoManager&);
using ImportFactory = orix::IoImportFilter* (*)(orix::IoManager&);

// The built plug-in, loaded as a host loads it.
class Module {
  public:
    Module() : m_library(BMPFILTER_MODULE_PATH) {}
    bool Loaded() const { return m_library.Loaded(); }
    const std::string& Error() const { return m_library.Error(); }
    ExportFactory Export() const {
        return reinterpret_cast<ExportFactory>(m_library.Symbol("ExportBMP"));
    }
    ImportFactory Import() const {
        return reinterpret_cast<ImportFactory>(m_library.Symbol("ImportBMP"));
    }
    void* Symbol(const char* name) const { return m_library.Symbol(name); }

  private:
    testsupport::DynamicLibrary m_library;
};

TEST(Module, ExportsExactlyTheTwoFactories) {
    EXPECT_EQ(testsupport::ExportedNames(BMPFILTER_MODULE_PATH),
              (std::set<std::string>{"ExportBMP", "ImportBMP"}));
    Module module;
    ASSERT_TRUE(module.Loaded()) << module.Error();
    EXPECT_NE(module.Export(), nullptr);
    EXPECT_NE(module.Import(), nullptr);
    for (const char* hidden : {"_Z9ImportBMPRN4orix9IoManagerE", "_ZN9BmpReaderC1Ev",
                               "_Z16ComputeRowStridePK16BITMAPINFOHEADER"})
        EXPECT_EQ(module.Symbol(hidden), nullptr) << hidden;
}

class Filters : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_module.Loaded()) << m_module.Error(); }
    std::unique_ptr<orix::IoExportFilter> MakeExport() {
        return std::unique_ptr<orix::IoExportFilter>(m_module.Export()(m_manager));
    }
    std::unique_ptr<orix::IoImportFilter> MakeImport() {
        return std::unique_ptr<orix::IoImportFilter>(m_module.Import()(m_manager));
    }
    Module m_module;
    orix::IoManager m_manager;
};

TEST_F(Filters, ExportConstructorRegistersFiveOptionsInOrder) {
    auto filter = MakeExport();
    ASSERT_NE(filter, nullptr);
    const char* expected[] = {"ExportImageFormatBGRA32", "ExportImageFormatBGR24",
                              "ExportImageFormatIndexed8", "ExportImageFormatIndexed4",
                              "ExportImageFormatIndexed1"};
    ASSERT_EQ(m_manager.m_options.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(m_manager.m_options[i].name, expected[i]);
        EXPECT_TRUE(m_manager.m_options[i].first);
        EXPECT_TRUE(m_manager.m_options[i].second);
    }
    auto importFilter = MakeImport();
    EXPECT_EQ(m_manager.m_options.size(), 5u) << "the import filter registers nothing";
}

TEST_F(Filters, CanHandleTypeComparesIdentities) {
    auto exporter = MakeExport();
    auto importer = MakeImport();
    const tamb::CTypeInfo other("other");
    struct Case {
        const tamb::CTypeInfo* type;
        bool exportAnswer;
        bool importAnswer;
    } cases[] = {
        {orix::TrImage::GetClassTypeId(), true, true},
        {orix::TrInitGraphicsExp::GetClassTypeId(), true, false},
        {orix::TrText::GetClassTypeId(), false, false},
        {&other, false, false},
        {nullptr, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(exporter->CanHandleType(c.type), c.exportAnswer)
            << (c.type ? c.type->GetName() : "null");
        EXPECT_EQ(importer->CanHandleType(c.type), c.importAnswer)
            << (c.type ? c.type->GetName() : "null");
    }
}

TEST_F(Filters, OptionsAreEmptyAndResetChangesNothing) {
    auto exporter = MakeExport();
    auto importer = MakeImport();
    for (orix::IoFilter* filter : {static_cast<orix::IoFilter*>(exporter.get()),
                                   static_cast<orix::IoFilter*>(importer.get())}) {
        EXPECT_EQ(filter->GetDefaultOptions(), "");
        for (int value : {0, 1, -1, 0x7FFFFFFF}) filter->ResetOptions(value);
        std::string ignored;
        filter->GetStringOption("a=1", "a", ignored);
        EXPECT_EQ(filter->GetDefaultOptions(), "");
        EXPECT_TRUE(filter->CanHandleType(orix::TrImage::GetClassTypeId()));
    }
    EXPECT_EQ(m_manager.m_options.size(), 5u);
    EXPECT_TRUE(m_manager.m_progress.empty());
}

TEST_F(Filters, GetStringOptionForwardsWithCommaSeparator) {
    auto exporter = MakeExport();
    auto importer = MakeImport();
    struct Case {
        const char* text1;
        const char* text2;
    } cases[] = {{"a=1,b=2", "b"}, {"a=1;b=2", "b"}, {"a=1;b=2", "a"}, {"x = y ,z=w", "x"},
                 {"", "a"},        {nullptr, "a"},   {"a=1", nullptr}};
    for (const Case& c : cases) {
        std::string expected = "untouched";
        const bool expectedResult = velk::CommonGetStringOption(c.text1, c.text2, ',', expected);
        for (orix::IoFilter* filter : {static_cast<orix::IoFilter*>(exporter.get()),
                                       static_cast<orix::IoFilter*>(importer.get())}) {
            std::string value = "untouched";
            EXPECT_EQ(filter->GetStringOption(c.text1, c.text2, value), expectedResult);
            EXPECT_EQ(value, expected);
        }
    }
    std::string value;
    EXPECT_TRUE(importer->GetStringOption("a=1,b=2", "b", value));
    EXPECT_EQ(value, "2");
}

TEST_F(Filters, EachFactoryCallMakesAnIndependentFilter) {
    auto first = MakeImport();
    auto second = MakeImport();
    auto third = MakeExport();
    auto fourth = MakeExport();
    EXPECT_NE(first.get(), second.get());
    EXPECT_NE(third.get(), fourth.get());
    first.reset();  // destroying one leaves the other usable
    EXPECT_TRUE(second->CanHandleType(orix::TrImage::GetClassTypeId()));
    third.reset();
    EXPECT_EQ(fourth->GetDefaultOptions(), "");
}

TEST(IoProgressScope, BeginsWhenMadeAndEndsExactlyOnce) {
    orix::IoManager manager;
    orix::IoProgress progress(manager);
    {
        IoProgressScope scope(&progress);
        EXPECT_TRUE(scope.IsActive());
        EXPECT_EQ(manager.m_activeProgress, 1);
    }
    EXPECT_EQ(manager.m_activeProgress, 0);
    {
        IoProgressScope scope(&progress);
        scope.EndEarly();
        EXPECT_FALSE(scope.IsActive());
        EXPECT_EQ(manager.m_activeProgress, 0);
        scope.EndEarly();
    }
    EXPECT_EQ(manager.m_activeProgress, 0);
    ASSERT_EQ(manager.m_progress.size(), 4u);
    EXPECT_EQ(manager.m_progress[0].kind, orix::ProgressEvent::Begin);
    EXPECT_EQ(manager.m_progress[0].text, "");
    EXPECT_EQ(manager.m_progress[3].kind, orix::ProgressEvent::End);
    { IoProgressScope none(nullptr); }
    EXPECT_EQ(manager.m_progress.size(), 4u);
}

}  // namespace
