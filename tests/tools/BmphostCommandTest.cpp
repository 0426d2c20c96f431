// bmphost's command line: probing, describing, usage and module loading.
#include <gtest/gtest.h>

#include "ToolTestSupport.h"

namespace {

using testsupport::BmpFields;
using testsupport::Bytes;
using testsupport::TempDir;
using tooltest::Bmphost;
using tooltest::ParseJson;
using tooltest::RunResult;

BmpFields Rgb24(std::int32_t w, std::int32_t h) {
    BmpFields s;
    s.width = w;
    s.height = h;
    s.pixels.assign(testsupport::StrideFor(w, 24) * static_cast<std::size_t>(std::abs(h)), 0x33);
    return s;
}

TEST(Probe, OneLinePerFileAndSuccessOnlyWhenAllAreSupported) {
    TempDir dir;
    const std::string good = dir.Write("good.bmp", BuildBmp(Rgb24(2, 2)));
    const std::string text = dir.Write("text.bmp", Bytes{'h', 'e', 'l', 'l', 'o'});
    const std::string absent = dir.File("absent.bmp");

    const RunResult one = Bmphost({"probe", good});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, good + ": supported\n");

    const RunResult mixed = Bmphost({"probe", good, text, absent});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_EQ(mixed.out,
              good + ": supported\n" + text + ": not supported\n" + absent + ": not supported\n");
}

struct DescribeCase {
    const char* name;
    BmpFields fields;
    std::string text;
};

// Cases show by name in test output.
void PrintTo(const DescribeCase& c, std::ostream* os) { *os << c.name; }

std::vector<DescribeCase> DescribeCases() {
    std::vector<DescribeCase> cases;
    cases.push_back({"bottom_up_24", Rgb24(640, 3),
                     "Microsoft BMP Image\r\nWidth:  640\r\nHeight:  3\r\nBit Depth:  24\r\n"
                     "Color Format:  24-bit RGB\r\n"});
    cases.push_back({"top_down_24", Rgb24(5, -4),
                     "Microsoft BMP Image\r\nWidth:  5\r\nHeight:  -4\r\nBit Depth:  24\r\n"
                     "Color Format:  24-bit RGB\r\n"});
    BmpFields two = Rgb24(4, 1);
    two.bitCount = 2;
    two.palette = testsupport::TestPalette(4);
    two.pixels = {0, 0, 0, 0};
    cases.push_back({"two_bit", two,
                     "Microsoft BMP Image\r\nWidth:  4\r\nHeight:  1\r\nBit Depth:  2\r\n"
                     "Color Format:  Unknown\r\n"});
    BmpFields core = Rgb24(3, 2);
    core.headerSize = 12;
    core.bitCount = 8;
    core.palette = testsupport::TestPalette(256);
    core.pixels.assign(8, 1);
    cases.push_back({"core_header_8", core,
                     "Microsoft BMP Image\r\nWidth:  3\r\nHeight:  2\r\nBit Depth:  8\r\n"
                     "Color Format:  256 colors w/palette\r\n"});
    return cases;
}

class DescribeTest : public ::testing::TestWithParam<DescribeCase> {};

TEST_P(DescribeTest, PrintsTheModulesText) {
    const DescribeCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.Write("f.bmp", BuildBmp(c.fields));

    const RunResult json = Bmphost({"describe", path, "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(ParseJson(json.out)["description"].text, c.text);

    // The plain form is the same text with terminal line ends.
    std::string lines;
    for (const char ch : c.text)
        if (ch != '\r') lines += ch;
    const RunResult plain = Bmphost({"describe", path});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, lines);
}

INSTANTIATE_TEST_SUITE_P(Cases, DescribeTest, ::testing::ValuesIn(DescribeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Describe, RefusalIsNullAndFails) {
    TempDir dir;
    const std::string path = dir.Write("x.bmp", Bytes{'G', 'I', 'F', '8', '9', 'a'});
    const RunResult json = Bmphost({"describe", path, "--json"});
    EXPECT_NE(json.status, 0);
    EXPECT_EQ(ParseJson(json.out)["description"].kind, tooltest::JsonValue::Null);
    const RunResult plain = Bmphost({"describe", path});
    EXPECT_NE(plain.status, 0);
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(plain.err.rfind("error: ", 0), 0u) << plain.err;
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
};

// Cases show by name in test output.
void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class UsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageTest, BadCommandLinesFailWithStatusTwo) {
    const RunResult run = Bmphost(GetParam().args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("error: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("usage: bmphost"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsageTest,
    ::testing::Values(UsageCase{"no_command", {}}, UsageCase{"unknown_command", {"show", "a"}},
                      UsageCase{"unknown_option", {"import", "a.bmp", "--fast"}},
                      UsageCase{"bad_opaque", {"import", "a.bmp", "--opaque", "maybe"}},
                      UsageCase{"bad_stop_at", {"import", "a.bmp", "--stop-at", "-1"}},
                      UsageCase{"missing_value", {"import", "a.bmp", "--png"}},
                      UsageCase{"import_two_files", {"import", "a.bmp", "b.bmp"}},
                      UsageCase{"convert_one_file", {"convert", "a.bmp"}},
                      UsageCase{"unknown_format",
                                {"convert", "a.bmp", "b.bmp", "--format", "cmyk"}},
                      UsageCase{"bad_max_pixels", {"--max-pixels", "many", "probe", "a.bmp"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Usage, HelpSucceedsOnStdout) {
    const RunResult run = Bmphost({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("usage: bmphost"), std::string::npos);
    EXPECT_EQ(run.err, "");
}

TEST(ModuleLoading, AModuleThatCannotBeLoadedIsAnError) {
    TempDir dir;
    const std::string fake = dir.Write("libFake.so", Bytes{'n', 'o', 't', ' ', 'E', 'L', 'F'});
    for (const std::string& module : {fake, dir.File("absent.so")}) {
        const RunResult run = tooltest::Run({BMPHOST_PATH, "--module", module, "probe", fake});
        EXPECT_EQ(run.status, 1) << module;
        EXPECT_EQ(run.err.rfind("error: cannot load the module " + module, 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(ModuleLoading, DefaultIsTheModuleBuiltBesideIt) {
    TempDir dir;
    const std::string path = dir.Write("good.bmp", BuildBmp(Rgb24(2, 2)));
    const RunResult run = tooltest::Run({BMPHOST_PATH, "probe", path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, path + ": supported\n");
}

}  // namespace
