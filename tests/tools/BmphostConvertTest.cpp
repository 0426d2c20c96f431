// bmphost convert: import, optional host-side format change, export through
// the module; the written file is read back through bmphost as well.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ToolTestSupport.h"

namespace {

using testsupport::BmpFields;
using testsupport::Bytes;
using testsupport::TempDir;
using tooltest::Bmphost;
using tooltest::HexOf;
using tooltest::ImportJson;
using tooltest::JsonValue;
using tooltest::ParseJson;
using tooltest::RunResult;
using tooltest::Texts;

// 4 x 2, three colours. Top row: red green blue red; bottom: blue blue green red.
BmpFields ThreeColours() {
    const Bytes r = {0x00, 0x00, 0xFF}, g = {0x00, 0xFF, 0x00}, b = {0xFF, 0x00, 0x00};
    BmpFields s;
    s.width = 4;
    s.height = 2;
    s.bitCount = 24;
    for (const Bytes* px : {&b, &b, &g, &r, &r, &g, &b, &r})  // stored bottom row first
        s.pixels.insert(s.pixels.end(), px->begin(), px->end());
    return s;
}

std::string GreyRamp(int entries) {
    std::string out;
    for (int i = 0; i < entries; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255 / (entries - 1));
        out += HexOf({v, v, v, 0});
    }
    return out + std::string(2048 - out.size(), '0');
}

struct FormatCase {
    const char* name;
    std::vector<std::string> options;
    int bitCount;  // of the written file
    int format;    // of the file read back
    std::vector<std::string> rows;
    std::string table;  // empty: not checked (direct colour)
};

// Cases show by name in test output.
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

const std::string kRgbTop = "0000ff00ff00ff00000000ff";
const std::string kRgbBottom = "ff0000ff000000ff000000ff";
const std::string kThreeEntries =
    "0000ff00"
    "00ff0000"
    "ff000000" +
    std::string(2048 - 24, '0');

std::vector<FormatCase> FormatCases() {
    return {
        {"as_imported", {}, 24, 9, {kRgbTop, kRgbBottom}, ""},
        {"bgr24", {"--format", "bgr24"}, 24, 9, {kRgbTop, kRgbBottom}, ""},
        {"bgra32",
         {"--format", "bgra32"},
         32,
         10,
         {"0000ffff00ff00ffff0000ff0000ffff", "ff0000ffff0000ff00ff00ff0000ffff"},
         ""},
        // Colours placed in the order met, top row first.
        {"indexed4", {"--format", "indexed4"}, 4, 7, {"01200000", "22100000"}, kThreeEntries},
        {"indexed8", {"--format", "indexed8"}, 8, 8, {"00010200", "02020100"}, kThreeEntries},
        // Luminance: red 76, green 150, blue 29.
        {"gray8", {"--format", "gray8"}, 8, 8, {"4c961d4c", "1d1d964c"}, GreyRamp(256)},
        {"gray4", {"--format", "gray4"}, 4, 7, {"49240000", "22940000"}, GreyRamp(16)},
        {"gray1", {"--format", "gray1"}, 1, 6, {"40000000", "20000000"}, GreyRamp(2)},
        // Formats only the host library's converter reads go out as 24-bit.
        {"rgb565", {"--format", "rgb565"}, 24, 9, {kRgbTop, kRgbBottom}, ""},
        {"rgba32", {"--format", "rgba32"}, 24, 9, {kRgbTop, kRgbBottom}, ""},
    };
}

class ConvertFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ConvertFormatTest, WritesTheFormatHandedToTheExporter) {
    const FormatCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.Write("in.bmp", BuildBmp(ThreeColours()));
    const std::string out = dir.File("out.bmp");
    std::vector<std::string> args = {"convert", in, out};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult run = Bmphost(args);
    ASSERT_EQ(run.status, 0) << run.err;

    const Bytes file = testsupport::ReadFileBytes(out);
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(file[28] | (file[29] << 8), c.bitCount);
    EXPECT_NE(run.out.find(std::to_string(file.size()) + " bytes"), std::string::npos) << run.out;

    const JsonValue back = ImportJson(out);
    ASSERT_TRUE(back.Has("image")) << back.members.size();
    EXPECT_EQ(back["image"]["width"].number, 4);
    EXPECT_EQ(back["image"]["height"].number, 2);
    EXPECT_EQ(back["image"]["format"].number, c.format);
    EXPECT_EQ(Texts(back["image"]["rows"]), c.rows);
    if (!c.table.empty()) {
        EXPECT_EQ(back["image"]["color_table"].text, c.table);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ConvertFormatTest, ::testing::ValuesIn(FormatCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Convert, IndexedTargetTooSmallForTheColoursIsRefused) {
    TempDir dir;
    const std::string in = dir.Write("in.bmp", BuildBmp(ThreeColours()));
    const std::string out = dir.File("out.bmp");
    const RunResult run = Bmphost({"convert", in, out, "--format", "indexed1"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("more than 2 colours"), std::string::npos) << run.err;
    EXPECT_FALSE(testsupport::FileExists(out));
}

TEST(Convert, JsonShowsEverySlotCallOfTheExport) {
    TempDir dir;
    const std::string in = dir.Write("in.bmp", BuildBmp(ThreeColours()));
    const std::string out = dir.File("out.bmp");
    const RunResult run = Bmphost({"convert", in, out, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const JsonValue json = ParseJson(run.out);
    EXPECT_EQ(json["input"].text, "bmp");
    EXPECT_EQ(json["import"]["result"].number, 0);
    EXPECT_EQ(json["format"].number, 9);
    const JsonValue& calls = json["export"]["calls"];
    ASSERT_EQ(calls.items.size(), 4u);
    const char* names[] = {"BeginExport", "ExportObject", "ExportObject", "EndExport"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(calls[i][0].text, names[i]);
        EXPECT_EQ(calls[i][1].number, 0);
    }
    EXPECT_EQ(Texts(json["export"]["messages"]),
              std::vector<std::string>{"Exporting BMP data to file out.bmp"});
    // Rows 0 and 1 (the last) are reported, then the end.
    std::vector<double> progress;
    for (const auto& p : json["export"]["progress"].items) progress.push_back(p.number);
    EXPECT_EQ(progress, (std::vector<double>{0.0, 0.5, 1.0}));
    EXPECT_TRUE(json["written"].boolean);
    EXPECT_EQ(json["bytes"].number, testsupport::ReadFileBytes(out).size());
}

struct StopCase {
    const char* name;
    int stopAt;  // counted over import (reports 0..2) and export (3..5)
    bool exportStopped;
};

// Cases show by name in test output.
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class ConvertStopTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(ConvertStopTest, AStopLeavesNoFile) {
    const StopCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.Write("in.bmp", BuildBmp(ThreeColours()));
    const std::string out = dir.File("out.bmp");
    const RunResult run =
        Bmphost({"convert", in, out, "--json", "--stop-at", std::to_string(c.stopAt)});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_FALSE(testsupport::FileExists(out));
    const JsonValue json = ParseJson(run.out);
    EXPECT_FALSE(json["written"].boolean);
    EXPECT_EQ(json.Has("export"), c.exportStopped);
    if (c.exportStopped) {
        EXPECT_EQ(json["export"]["calls"][2][1].number, 2);  // stopped
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ConvertStopTest,
                         ::testing::Values(StopCase{"during_import", 1, false},
                                           StopCase{"first_export_row", 3, true},
                                           StopCase{"final_export_report", 5, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Convert, ErrorOnImportWritesNothing) {
    TempDir dir;
    BmpFields cut = ThreeColours();
    cut.pixels.resize(12);  // one of two rows
    const std::string in = dir.Write("in.bmp", BuildBmp(cut));
    const std::string out = dir.File("out.bmp");
    const RunResult run = Bmphost({"convert", in, out});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("(.\\BmpImportFilter:325, code 8)"), std::string::npos) << run.err;
    EXPECT_FALSE(testsupport::FileExists(out));
}

TEST(Convert, ReplacesAnExistingRegularFile) {
    TempDir dir;
    const std::string in = dir.Write("in.bmp", BuildBmp(ThreeColours()));
    const std::string out = dir.Write("out.bmp", Bytes(5000, 0x55));
    ASSERT_EQ(Bmphost({"convert", in, out}).status, 0);
    EXPECT_EQ(testsupport::ReadFileBytes(out).size(), 54u + 2 * 12);
}

TEST(Convert, RefusesTargetsThatAreNotRegularFiles) {
    TempDir dir;
    const std::string in = dir.Write("in.bmp", BuildBmp(ThreeColours()));
    const std::string sub = dir.File("sub");
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    for (const std::string& target : {sub, std::string("/dev/null")}) {
        struct stat before;
        ASSERT_EQ(::stat(target.c_str(), &before), 0);
        const RunResult run = Bmphost({"convert", in, target});
        EXPECT_EQ(run.status, 2) << target;
        EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
        struct stat after;
        ASSERT_EQ(::stat(target.c_str(), &after), 0) << target << " is gone";
        EXPECT_EQ(before.st_mode, after.st_mode);
    }
}

// BMP -> PNG (what the host received) -> BMP through the module: the image
// read back is the one first imported.
struct RoundTripCase {
    const char* name;
    BmpFields fields;
};

// Cases show by name in test output.
void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

std::vector<RoundTripCase> RoundTripCases() {
    std::vector<RoundTripCase> cases;
    cases.push_back({"bgr24", ThreeColours()});
    {
        BmpFields s;
        s.width = 3;
        s.height = 2;
        s.bitCount = 32;
        s.pixels = {1,  2,  3,  4,   5,  6,  7,  8, 9,  10, 11, 12,
                    13, 14, 15, 255, 17, 18, 19, 0, 21, 22, 23, 128};
        cases.push_back({"bgra32", s});
    }
    {
        BmpFields s;
        s.width = 5;
        s.height = 2;
        s.bitCount = 8;
        s.palette = testsupport::TestPalette(256);
        s.pixels = {0, 7, 255, 128, 9, 0, 0, 0, 3, 3, 3, 3, 200, 0, 0, 0};
        cases.push_back({"indexed8", s});
    }
    {
        BmpFields s;
        s.width = 5;
        s.height = 1;
        s.bitCount = 4;
        s.palette = testsupport::TestPalette(16);
        s.pixels = {0x1F, 0xE2, 0x30, 0x00};
        cases.push_back({"indexed4", s});
    }
    {
        BmpFields s;
        s.width = 9;
        s.height = 1;
        s.bitCount = 1;
        s.palette = {{10, 20, 30, 0}, {200, 150, 100, 0}};
        s.pixels = {0xB5, 0x80, 0x00, 0x00};
        cases.push_back({"indexed1", s});
    }
    return cases;
}

class PngRoundTripTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(PngRoundTripTest, PngInputExportsTheSameImage) {
    const RoundTripCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.Write("in.bmp", BuildBmp(c.fields));
    const std::string png = dir.File("in.png");
    const std::string out = dir.File("out.bmp");
    RunResult run;
    const JsonValue first = ImportJson(in, {"--png", png, "--opaque", "no"}, &run);
    ASSERT_EQ(run.status, 0) << run.err;

    run = Bmphost({"convert", png, out, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const JsonValue json = ParseJson(run.out);
    EXPECT_EQ(json["input"].text, "png");
    EXPECT_FALSE(json.Has("import"));

    const JsonValue back = ImportJson(out, {"--opaque", "no"});
    ASSERT_TRUE(back.Has("image"));
    for (const char* key : {"width", "height", "format"})
        EXPECT_EQ(back["image"][key].number, first["image"][key].number) << key;
    EXPECT_EQ(Texts(back["image"]["rows"]), Texts(first["image"]["rows"]));
    EXPECT_EQ(back["image"]["color_table"].text, first["image"]["color_table"].text);
}

INSTANTIATE_TEST_SUITE_P(Cases, PngRoundTripTest, ::testing::ValuesIn(RoundTripCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Convert, UnreadableInputIsAnErrorAndWritesNothing) {
    TempDir dir;
    Bytes brokenPng = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0};
    const std::string in = dir.Write("in.png", brokenPng);
    const std::string out = dir.File("out.bmp");
    const RunResult run = Bmphost({"convert", in, out});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("error: ", 0), 0u) << run.err;
    EXPECT_FALSE(testsupport::FileExists(out));
}

TEST(Convert, PreviewIsWhatTheHostReceived) {
    TempDir dir;
    const std::string in = dir.Write("in.bmp", BuildBmp(ThreeColours()));
    ASSERT_EQ(Bmphost({"convert", in, dir.File("out.bmp"), "--png", dir.File("a.png")}).status, 0);
    ASSERT_EQ(Bmphost({"import", in, "--png", dir.File("b.png")}).status, 0);
    EXPECT_EQ(testsupport::ReadFileBytes(dir.File("a.png")),
              testsupport::ReadFileBytes(dir.File("b.png")));
}

TEST(Convert, PngOverThePixelLimitIsRefusedBeforeReading) {
    TempDir dir;
    const std::string in = dir.Write("in.bmp", BuildBmp(ThreeColours()));  // 4 x 2
    const std::string png = dir.File("in.png");
    ASSERT_EQ(Bmphost({"import", in, "--png", png}).status, 0);
    const std::string out = dir.File("out.bmp");
    const RunResult over = Bmphost({"--max-pixels", "7", "convert", png, out});
    EXPECT_EQ(over.status, 1);
    EXPECT_NE(over.err.find("pixel limit"), std::string::npos) << over.err;
    EXPECT_FALSE(testsupport::FileExists(out));
    EXPECT_EQ(Bmphost({"--max-pixels", "8", "convert", png, out}).status, 0);
}

}  // namespace
