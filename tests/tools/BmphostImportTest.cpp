// bmphost import, run as a user runs it: what it prints must be exactly what
// the module handed the host.
#include <gtest/gtest.h>

#include "ToolTestSupport.h"

namespace {

using testsupport::BmpFields;
using testsupport::Bytes;
using testsupport::TempDir;
using tooltest::Bmphost;
using tooltest::HexOf;
using tooltest::ImportJson;
using tooltest::JsonValue;
using tooltest::RunResult;
using tooltest::Texts;

std::string ZeroTable() { return std::string(2048, '0'); }

std::vector<double> Numbers(const JsonValue& list) {
    std::vector<double> out;
    for (const auto& item : list.items) out.push_back(item.number);
    return out;
}

struct ImportCase {
    const char* name;
    BmpFields fields;
    std::vector<std::string> options;
    int format;
    std::vector<std::string> rows;  // hex, top row first
    std::string table;              // hex of all 256 entries
    bool question;
    std::vector<double> progress;
};

// Cases show by name in test output.
void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.name; }

BmpFields Fields(std::int32_t w, std::int32_t h, std::uint16_t bits, Bytes pixels) {
    BmpFields s;
    s.width = w;
    s.height = h;
    s.bitCount = bits;
    s.pixels = std::move(pixels);
    return s;
}

std::vector<ImportCase> ImportCases() {
    std::vector<ImportCase> cases;
    // Bottom-up: the second stored row is the top one; stored padding shows.
    cases.push_back({"bgr24_bottom_up",
                     Fields(2, 2, 24,
                            {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xAA, 0xBB,  //
                             0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0xCC, 0xDD}),
                     {},
                     9,
                     {"111213141516ccdd", "010203040506aabb"},
                     ZeroTable(),
                     false,
                     {0.0, 0.5, 1.0}});
    cases.push_back({"bgr24_top_down",
                     Fields(2, -2, 24,
                            {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00, 0x00,  //
                             0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x00, 0x00}),
                     {},
                     9,
                     {"0102030405060000", "1112131415160000"},
                     ZeroTable(),
                     false,
                     {0.0, 0.5, 1.0}});
    {
        BmpFields s = Fields(3, 1, 8, {0x00, 0x01, 0x03, 0x00});
        s.palette = testsupport::TestPalette(4);
        s.clrUsed = 4;
        std::string table;
        for (const auto& e : s.palette)
            table += HexOf({e.rgbBlue, e.rgbGreen, e.rgbRed, e.rgbReserved});
        table += std::string(2048 - table.size(), '0');
        cases.push_back({"indexed8_short_table", s, {}, 8, {"00010300"}, table, false, {0.0, 1.0}});
    }
    {
        BmpFields s = Fields(7, 1, 4, {0x03, 0x12, 0x00, 0x03, 0x34, 0x50, 0x00, 0x00, 0x00, 0x01});
        s.compression = 2;  // run-length, 4 bits
        s.palette = testsupport::TestPalette(16);
        std::string table;
        for (const auto& e : s.palette)
            table += HexOf({e.rgbBlue, e.rgbGreen, e.rgbRed, e.rgbReserved});
        table += std::string(2048 - table.size(), '0');
        cases.push_back({"rle4_runs", s, {}, 7, {"12134500"}, table, false, {0.0, 1.0}});
    }
    {
        BmpFields s = Fields(10, 1, 1, {0xA5, 0xC0, 0x00, 0x00});
        s.palette = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        cases.push_back({"indexed1",
                         s,
                         {},
                         6,
                         {"a5c00000"},
                         "00000000ffffff00" + std::string(2032, '0'),
                         false,
                         {0.0, 1.0}});
    }
    // 16-bit words: 0x7FFF, 0x8000, 0x7C00 (5-5-5, bit 15 ignored).
    cases.push_back({"rgb555_expanded",
                     Fields(3, 1, 16, {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x7C, 0x00, 0x00}),
                     {},
                     9,
                     {"ffffff0000000000ff000000"},
                     ZeroTable(),
                     false,
                     {0.0, 1.0}});
    {
        BmpFields s = Fields(3, 1, 16, {0x00, 0xF8, 0xE0, 0x07, 0x10, 0x84, 0x00, 0x00});
        s.compression = 3;
        s.masks = {0xF800, 0x07E0, 0x001F};
        cases.push_back({"rgb565_bitfields",
                         s,
                         {},
                         9,
                         {"0000ff00ff00838183000000"},
                         ZeroTable(),
                         false,
                         {0.0, 1.0}});
    }
    cases.push_back({"bgra32_with_alpha",
                     Fields(1, 1, 32, {0x10, 0x20, 0x30, 0x40}),
                     {},
                     10,
                     {"10203040"},
                     ZeroTable(),
                     false,
                     {0.0, 1.0}});
    const Bytes clear = {0x10, 0x20, 0x30, 0x00, 0x40, 0x50, 0x60, 0x00};
    // After a yes the rows are read again with alpha 255, without a final 1.0.
    cases.push_back({"bgra32_clear_made_opaque",
                     Fields(2, 1, 32, clear),
                     {"--opaque", "yes"},
                     10,
                     {"102030ff405060ff"},
                     ZeroTable(),
                     true,
                     {0.0, 1.0, 0.0}});
    cases.push_back({"bgra32_clear_kept",
                     Fields(2, 1, 32, clear),
                     {"--opaque", "no"},
                     10,
                     {"1020300040506000"},
                     ZeroTable(),
                     true,
                     {0.0, 1.0}});
    cases.push_back({"bgra32_clear_no_prompt",
                     Fields(2, 1, 32, clear),
                     {"--opaque", "yes", "--no-prompt"},
                     10,
                     {"1020300040506000"},
                     ZeroTable(),
                     false,
                     {0.0, 1.0}});
    // Not a terminal: "ask" cannot ask and answers no.
    cases.push_back({"bgra32_clear_ask_without_terminal",
                     Fields(2, 1, 32, clear),
                     {},
                     10,
                     {"1020300040506000"},
                     ZeroTable(),
                     true,
                     {0.0, 1.0}});
    cases.push_back({"four_rows_progress",
                     Fields(1, 4, 24, {1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0, 4, 4, 4, 0}),
                     {},
                     9,
                     {"04040400", "03030300", "02020200", "01010100"},
                     ZeroTable(),
                     false,
                     {0.0, 0.25, 0.5, 0.75, 1.0}});
    return cases;
}

class ImportJsonTest : public ::testing::TestWithParam<ImportCase> {};

TEST_P(ImportJsonTest, PrintsWhatTheModuleHandedOver) {
    const ImportCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.Write(std::string(c.name) + ".bmp", BuildBmp(c.fields));
    RunResult run;
    const JsonValue json = ImportJson(path, c.options, &run);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(json["result"].number, 0);
    EXPECT_EQ(json["question_asked"].boolean, c.question);
    EXPECT_EQ(Texts(json["messages"]),
              std::vector<std::string>{"Importing BMP file " + std::string(c.name) + ".bmp"});
    EXPECT_EQ(Numbers(json["progress"]), c.progress);
    ASSERT_TRUE(json.Has("image"));
    const JsonValue& image = json["image"];
    EXPECT_EQ(image["width"].number, c.fields.width);
    EXPECT_EQ(image["height"].number, std::abs(c.fields.height));
    EXPECT_EQ(image["format"].number, c.format);
    EXPECT_EQ(image["xppm"].number, 2835);
    EXPECT_EQ(image["yppm"].number, 2835);
    EXPECT_EQ(image["color_table"].text, c.table);
    EXPECT_EQ(Texts(image["rows"]), c.rows);
}

INSTANTIATE_TEST_SUITE_P(Cases, ImportJsonTest, ::testing::ValuesIn(ImportCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct ErrorCase {
    const char* name;
    Bytes file;  // empty: the file does not exist
    int line;
    int code;
    bool pathArgument;
    std::string detail;  // second argument, when there is one
};

// Cases show by name in test output.
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

std::vector<ErrorCase> ErrorCases() {
    std::vector<ErrorCase> cases;
    // Two rows announced, one stored.
    cases.push_back({"rows_cut_short", BuildBmp(Fields(2, 2, 24, Bytes(8, 0x11))), 325, 8, true,
                     "Premature end of file."});
    {
        BmpFields s = Fields(4, 1, 2, {0x1B, 0, 0, 0});
        s.palette = testsupport::TestPalette(4);
        cases.push_back({"two_bit_depth", BuildBmp(s), 285, 16, true, ""});
    }
    {
        BmpFields s = Fields(1, 1, 24, {1, 2, 3, 0});
        s.signature = 0x424D;  // "MB"
        cases.push_back({"wrong_signature", BuildBmp(s), 221, 16, true, ""});
    }
    {
        BmpFields s = Fields(1, 1, 24, {1, 2, 3, 0});
        s.planes = 2;
        cases.push_back({"two_planes", BuildBmp(s), 217, 16, true, ""});
    }
    {
        Bytes cut = BuildBmp(Fields(1, 1, 24, {1, 2, 3, 0}));
        cut.resize(24);  // inside the information header
        cases.push_back({"header_cut_short", cut, 225, 1, false, ""});
    }
    cases.push_back({"missing_file", {}, 213, 5, true, "No such file or directory"});
    return cases;
}

class ImportErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ImportErrorTest, ReportsTheRaisedErrorAndFails) {
    const ErrorCase& c = GetParam();
    TempDir dir;
    const std::string path =
        c.file.empty() ? dir.File("absent.bmp") : dir.Write(std::string(c.name) + ".bmp", c.file);
    RunResult run;
    const JsonValue json = ImportJson(path, {}, &run);
    EXPECT_EQ(run.status, 1);
    ASSERT_TRUE(json.Has("error")) << run.out;
    const JsonValue& error = json["error"];
    EXPECT_EQ(error["source"].text, ".\\BmpImportFilter");
    EXPECT_EQ(error["line"].number, c.line);
    EXPECT_EQ(error["code"].number, c.code);
    std::vector<std::string> args;
    if (c.pathArgument) args.push_back(path);
    if (!c.detail.empty()) args.push_back(c.detail);
    EXPECT_EQ(Texts(error["args"]), args);
    EXPECT_FALSE(error["message"].text.empty());
    // One line for people, naming the source line and the code.
    EXPECT_EQ(run.err, "error: " + error["message"].text + " (.\\BmpImportFilter:" +
                           std::to_string(c.line) + ", code " + std::to_string(c.code) + ")\n");

    // Without --json the same line, and nothing on stdout.
    const RunResult plain = Bmphost({"import", path});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.err, run.err);
    EXPECT_EQ(plain.out, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, ImportErrorTest, ::testing::ValuesIn(ErrorCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct StopCase {
    int stopAt;
    std::vector<double> progress;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << "stop at " << c.stopAt; }

class ImportStopTest : public ::testing::TestWithParam<StopCase> {};

// The host answers "stop" at its K-th report: no image is handed over.
TEST_P(ImportStopTest, StopHandsOverNoImage) {
    const StopCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.Write("four.bmp", BuildBmp(Fields(1, 4, 24, Bytes(16, 0x42))));
    RunResult run;
    const JsonValue json =
        ImportJson(path, {"--stop-at", std::to_string(c.stopAt), "--png", dir.File("p.png")}, &run);
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(json["result"].number, 1);
    EXPECT_FALSE(json.Has("image"));
    EXPECT_EQ(Numbers(json["progress"]), c.progress);
    EXPECT_FALSE(testsupport::FileExists(dir.File("p.png")));
}

INSTANTIATE_TEST_SUITE_P(Cases, ImportStopTest,
                         ::testing::Values(StopCase{0, {0.0}}, StopCase{2, {0.0, 0.25, 0.5}},
                                           StopCase{4, {0.0, 0.25, 0.5, 0.75, 1.0}}));

TEST(ImportPixelLimit, RefusesAnImageOverTheHostLimit) {
    TempDir dir;
    const std::string path = dir.Write("wide.bmp", BuildBmp(Fields(4, 2, 24, Bytes(32, 7))));
    const RunResult over = Bmphost({"--max-pixels", "7", "import", path});
    EXPECT_EQ(over.status, 1);
    EXPECT_NE(over.err.find("error: "), std::string::npos);
    EXPECT_EQ(Bmphost({"--max-pixels", "8", "import", path}).status, 0);
}

}  // namespace
