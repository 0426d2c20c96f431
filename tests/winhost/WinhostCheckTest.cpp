// The checks winhost makes of the Windows module: dialog template parsing and
// comparison, the PE reader, and the export and resource rules.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "DialogTemplate.h"
#include "ModuleCheck.h"
#include "PeImage.h"
#include "support/BmpBuilder.h"

namespace {

using testsupport::ByteWriter;
using winhost::Bytes;

struct ControlLayout {
    std::uint32_t style;
    std::int16_t x, y, cx, cy;
    std::uint32_t id;
    std::string title;
    bool classByOrdinal = true;  // false: the class as the text "BUTTON"
};

struct DialogLayout {
    std::uint16_t version = 1;
    std::uint32_t style = 0x80C800C8;
    std::int16_t x = 49, y = 44, cx = 229, cy = 55;
    std::string title = "Import Options";
    std::uint16_t pointSize = 8;
    std::uint16_t weight = 400;
    std::uint8_t charset = 1;
    std::string typeface = "MS Shell Dlg";
    std::vector<ControlLayout> controls = {{0x50010001, 176, 9, 44, 16, 1, "OK"},
                                           {0x50010000, 176, 31, 44, 16, 2, "Cancel"}};
};

void Text(ByteWriter& out, const std::string& text) {
    for (char c : text) out.U16(static_cast<std::uint8_t>(c));
    out.U16(0);
}

void Align(ByteWriter& out) {
    while (out.bytes().size() % 4 != 0) out.U8(0);
}

// An extended dialog template laid out field by field.
Bytes BuildDialog(const DialogLayout& d) {
    ByteWriter out;
    out.U16(d.version).U16(0xFFFF).U32(0).U32(0).U32(d.style);
    out.U16(static_cast<std::uint16_t>(d.controls.size()));
    out.U16(static_cast<std::uint16_t>(d.x)).U16(static_cast<std::uint16_t>(d.y));
    out.U16(static_cast<std::uint16_t>(d.cx)).U16(static_cast<std::uint16_t>(d.cy));
    out.U16(0).U16(0);  // no menu, the default class
    Text(out, d.title);
    out.U16(d.pointSize).U16(d.weight).U8(0).U8(d.charset);
    Text(out, d.typeface);
    for (const ControlLayout& c : d.controls) {
        Align(out);
        out.U32(0).U32(0).U32(c.style);
        out.U16(static_cast<std::uint16_t>(c.x)).U16(static_cast<std::uint16_t>(c.y));
        out.U16(static_cast<std::uint16_t>(c.cx)).U16(static_cast<std::uint16_t>(c.cy));
        out.U32(c.id);
        if (c.classByOrdinal)
            out.U16(0xFFFF).U16(0x0080);
        else
            Text(out, "BUTTON");
        Text(out, c.title);
        out.U16(0);  // no creation data
    }
    Align(out);
    return out.bytes();
}

const winhost::DialogTemplate& ExpectedImportDialog() {
    static const auto dialogs = winhost::ExpectedDialogs();
    return dialogs.at(0).dialog;
}

std::vector<std::string> Differences(const DialogLayout& fields) {
    winhost::DialogTemplate parsed;
    std::string error;
    EXPECT_TRUE(winhost::ParseDialogTemplate(BuildDialog(fields), parsed, error)) << error;
    return winhost::CompareDialogs(ExpectedImportDialog(), parsed);
}

TEST(DialogTemplate, TheImportDialogAsCompiledMatches) {
    const auto expected = winhost::ExpectedDialogs();
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(expected[0].id, 100u);
    EXPECT_EQ(expected[1].id, 101u);
    EXPECT_EQ(expected[1].dialog.title, "Export Options");
    EXPECT_EQ(Differences(DialogLayout()), std::vector<std::string>{});
}

TEST(DialogTemplate, EachDifferenceIsReported) {
    struct Case {
        const char* what;
        std::function<void(DialogLayout&)> change;
        std::string report;
    };
    const Case cases[] = {
        {"caption", [](DialogLayout& d) { d.title = "Import options"; },
         "caption: expected \"Import Options\", found \"Import options\""},
        {"style", [](DialogLayout& d) { d.style = 0x80C80048; },
         "style: expected 0x80C800C8, found 0x80C80048"},
        {"frame", [](DialogLayout& d) { d.cy = 56; }, "height: expected 55, found 56"},
        {"font size", [](DialogLayout& d) { d.pointSize = 9; }, "point size: expected 8, found 9"},
        {"weight", [](DialogLayout& d) { d.weight = 700; }, "weight: expected 400, found 700"},
        {"charset", [](DialogLayout& d) { d.charset = 0; }, "character set: expected 1, found 0"},
        {"typeface", [](DialogLayout& d) { d.typeface = "MS Sans Serif"; },
         "typeface: expected \"MS Shell Dlg\", found \"MS Sans Serif\""},
        {"button place", [](DialogLayout& d) { d.controls[1].y = 30; },
         "control 2 y: expected 31, found 30"},
        {"button id", [](DialogLayout& d) { d.controls[0].id = 3; },
         "control 1 id: expected 1, found 3"},
        {"button style", [](DialogLayout& d) { d.controls[0].style = 0x50030001; },
         "control 1 style: expected 0x50010001, found 0x50030001"},
        {"button text", [](DialogLayout& d) { d.controls[1].title = "Cancel "; },
         "control 2 text: expected \"Cancel\", found \"Cancel \""},
        {"class by name", [](DialogLayout& d) { d.controls[0].classByOrdinal = false; },
         "control 1 class: expected \"#128\", found \"BUTTON\""},
        {"missing button", [](DialogLayout& d) { d.controls.pop_back(); },
         "control count: expected 2, found 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DialogLayout fields;
        c.change(fields);
        EXPECT_EQ(Differences(fields), std::vector<std::string>{c.report});
    }
}

TEST(DialogTemplate, MalformedTemplatesAreRefused) {
    const Bytes good = BuildDialog(DialogLayout());
    winhost::DialogTemplate parsed;
    std::string error;
    // Every cut short of the whole; the last control's padding may go.
    for (std::size_t size = 0; size + 2 < good.size(); ++size) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(winhost::ParseDialogTemplate(cut, parsed, error)) << size;
    }
    DialogLayout plain;
    plain.version = 0;
    EXPECT_FALSE(winhost::ParseDialogTemplate(BuildDialog(plain), parsed, error));
    EXPECT_EQ(error, "not an extended dialog template");
    Bytes longer = good;
    longer.insert(longer.end(), {0, 0, 0, 0});
    EXPECT_FALSE(winhost::ParseDialogTemplate(longer, parsed, error));
    EXPECT_EQ(error, "bytes left after the last control");
}

// A minimal 32-bit DLL image: one section holding the export directory for
// `names` (ordinals from `base` in order) and one resource.
Bytes BuildPe(const std::vector<std::string>& names, std::uint32_t base,
              const winhost::PeResource& resource, std::uint16_t machine = 0x14C) {
    constexpr std::uint32_t kSectionRva = 0x1000, kSectionFile = 0x200, kResourceAt = 0x100;
    ByteWriter section;
    const auto count = static_cast<std::uint32_t>(names.size());
    const std::uint32_t functionsAt = 40, namesAt = functionsAt + 4 * count,
                        ordinalsAt = namesAt + 4 * count, stringsAt = ordinalsAt + 2 * count;
    section.U32(0).U32(0).U32(0).U32(0).U32(base).U32(count).U32(count);
    section.U32(kSectionRva + functionsAt).U32(kSectionRva + namesAt).U32(kSectionRva + ordinalsAt);
    for (std::uint32_t i = 0; i < count; ++i) section.U32(0x2000 + 0x10 * i);
    std::uint32_t stringAt = stringsAt;
    for (const std::string& name : names) {
        section.U32(kSectionRva + stringAt);
        stringAt += static_cast<std::uint32_t>(name.size()) + 1;
    }
    for (std::uint32_t i = 0; i < count; ++i) section.U16(static_cast<std::uint16_t>(i));
    for (const std::string& name : names) {
        for (char c : name) section.U8(static_cast<std::uint8_t>(c));
        section.U8(0);
    }
    section.Zeros(kResourceAt - section.bytes().size());
    // Type, id and language directories, one entry each, then the data entry.
    const std::uint32_t levels[] = {resource.type, resource.id, resource.language};
    for (std::uint32_t level = 0; level < 3; ++level) {
        section.U32(0).U32(0).U32(0).U16(0).U16(1);
        const std::uint32_t next = 24 * (level + 1);
        section.U32(levels[level]).U32(level < 2 ? (0x80000000u | next) : next);
    }
    section.U32(kSectionRva + kResourceAt + 72 + 16)
        .U32(static_cast<std::uint32_t>(resource.data.size()))
        .U32(0)
        .U32(0);
    section.Raw(resource.data);

    ByteWriter file;
    file.U16(0x5A4D).Zeros(0x3A).U32(0x40);
    file.U32(0x4550).U16(machine).U16(1).U32(0).U32(0).U32(0).U16(224).U16(0x2102);
    ByteWriter optional;
    optional.U16(0x10B).Zeros(90).U32(16);
    optional.U32(kSectionRva).U32(40);                 // exports
    optional.U32(0).U32(0);                            // imports
    optional.U32(kSectionRva + kResourceAt).U32(100);  // resources
    optional.Zeros(224 - optional.bytes().size());
    file.Raw(optional.bytes());
    const auto size = static_cast<std::uint32_t>(section.bytes().size());
    file.U32(0x7461642E).U32(0).U32(size).U32(kSectionRva).U32(size).U32(kSectionFile);
    file.Zeros(16);
    file.Zeros(kSectionFile - file.bytes().size());
    file.Raw(section.bytes());
    return file.bytes();
}

winhost::PeResource Dialog100() {
    winhost::PeResource r;
    r.type = 5;
    r.id = 100;
    r.language = 0x0409;
    r.data = BuildDialog(DialogLayout());
    return r;
}

TEST(PeImage, ReadsExportsAndResourcesOfABuiltImage) {
    const Bytes file = BuildPe({"ExportBMP", "ImportBMP"}, 1, Dialog100());
    winhost::PeImage image;
    std::string error;
    ASSERT_TRUE(winhost::ParsePeImage(file, image, error)) << error;
    EXPECT_EQ(image.machine, 0x14C);
    EXPECT_EQ(image.characteristics, 0x2102);
    EXPECT_EQ(image.exportBase, 1u);
    ASSERT_EQ(image.exports.size(), 2u);
    EXPECT_EQ(image.exports[0].name, "ExportBMP");
    EXPECT_EQ(image.exports[0].ordinal, 1u);
    EXPECT_EQ(image.exports[0].rva, 0x2000u);
    EXPECT_EQ(image.exports[1].name, "ImportBMP");
    EXPECT_EQ(image.exports[1].ordinal, 2u);
    ASSERT_EQ(image.resources.size(), 1u);
    EXPECT_EQ(image.resources[0].type, 5u);
    EXPECT_EQ(image.resources[0].id, 100u);
    EXPECT_EQ(image.resources[0].language, 0x0409u);
    EXPECT_EQ(image.resources[0].data, Dialog100().data);
}

TEST(PeImage, DamagedImagesAreRefused) {
    const Bytes good = BuildPe({"ExportBMP"}, 1, Dialog100());
    winhost::PeImage image;
    std::string error;
    EXPECT_FALSE(winhost::ParsePeImage(Bytes(good.begin(), good.begin() + 0x100), image, error));
    EXPECT_FALSE(winhost::ParsePeImage(Bytes(good.begin(), good.end() - 8), image, error));
    EXPECT_EQ(error, "truncated resource data");
    Bytes noSignature = good;
    noSignature[0x40] = 'X';
    EXPECT_FALSE(winhost::ParsePeImage(noSignature, image, error));
    EXPECT_EQ(error, "no PE signature");
    Bytes wide = good;
    wide[0x58] = 0x0B;
    wide[0x59] = 0x02;  // the 64-bit optional header
    EXPECT_FALSE(winhost::ParsePeImage(wide, image, error));
    EXPECT_EQ(error, "not a 32-bit (PE32) image");
}

// The module's rules on a parsed image: what passes and what each fault gives.
winhost::PeImage GoodModule() {
    winhost::PeImage image;
    image.machine = 0x14C;
    image.characteristics = 0x2102;
    image.optionalMagic = 0x10B;
    image.exportBase = 1;
    image.exportFunctionCount = 2;
    image.exports = {{"ExportBMP", 1, 0x1AA0}, {"ImportBMP", 2, 0x1AF0}};
    winhost::PeResource import = Dialog100();
    winhost::PeResource exportDialog = import;
    exportDialog.id = 101;
    DialogLayout fields;
    fields.x = 28;
    fields.cx = 190;
    fields.cy = 51;
    fields.title = "Export Options";
    fields.controls = {{0x50030001, 138, 7, 41, 16, 1, "OK"},
                       {0x50010000, 138, 29, 41, 16, 2, "Cancel"}};
    exportDialog.data = BuildDialog(fields);
    image.resources = {import, exportDialog};
    return image;
}

TEST(ModuleRules, TheExpectedModulePasses) {
    std::ostringstream out;
    EXPECT_EQ(winhost::CheckImage(GoodModule(), out), 0) << out.str();
}

TEST(ModuleRules, EachFaultFails) {
    struct Case {
        const char* what;
        std::function<void(winhost::PeImage&)> change;
        std::string report;
    };
    const Case cases[] = {
        {"swapped ordinals",
         [](winhost::PeImage& m) { std::swap(m.exports[0].name, m.exports[1].name); },
         "FAIL: ExportBMP at ordinal 2, expected 1"},
        {"a third export",
         [](winhost::PeImage& m) {
             m.exports.push_back({"DllMain", 3, 0x1B00});
         },
         "FAIL: expected exactly 2 exports, found 3"},
        {"an export by ordinal only", [](winhost::PeImage& m) { m.exports[1].name.clear(); },
         "FAIL: ImportBMP is not exported by name"},
        {"not a DLL", [](winhost::PeImage& m) { m.characteristics = 0x0102; }, "FAIL: not a DLL"},
        {"64-bit machine", [](winhost::PeImage& m) { m.machine = 0x8664; },
         "FAIL: not an i386 image"},
        {"neutral language", [](winhost::PeImage& m) { m.resources[1].language = 0; },
         "FAIL: dialog 101 has language 0, expected 1033 (0x0409)"},
        {"missing dialog", [](winhost::PeImage& m) { m.resources.pop_back(); },
         "FAIL: dialog 101 is missing"},
        {"a string table", [](winhost::PeImage& m) { m.resources[0].type = 6; },
         "FAIL: unexpected resource type 6"},
        {"dialog swapped",
         [](winhost::PeImage& m) { std::swap(m.resources[0].id, m.resources[1].id); },
         "FAIL: dialog 100 caption: expected \"Import Options\", found \"Export Options\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        winhost::PeImage image = GoodModule();
        c.change(image);
        std::ostringstream out;
        EXPECT_GT(winhost::CheckImage(image, out), 0);
        EXPECT_NE(out.str().find(c.report + "\n"), std::string::npos) << out.str();
    }
}

#if defined(_WIN32)
// The module this build made, as a host's loader sees it.
TEST(BuiltModule, PassesEveryCheck) {
    std::ostringstream out;
    EXPECT_EQ(winhost::CheckModule(BMPFILTER_MODULE_PATH, out), 0) << out.str();
}
#endif

}  // namespace
