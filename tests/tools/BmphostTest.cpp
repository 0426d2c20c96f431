// bmphost run as a user runs it, one command at a time, on the main job's
// sample set: what it prints, its exit status and the files it leaves.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "ToolRun.h"
#include "tamb/ColorFormat.h"

namespace {

using nlohmann::json;
using tooltest::Bmphost;
using tooltest::RunResult;

std::string S(const std::string& name) { return tooltest::SamplePath(name); }

TEST(Bmphost, ProbeNamesTheFilesTheModuleTakes) {
    const RunResult run =
        Bmphost({"probe", S("core1.bmp"), S("depth2.bmp"), S("not-bmp.bmp"), S("none.bmp")});
    EXPECT_EQ(run.status, 1);  // not all of them
    EXPECT_EQ(run.out, S("core1.bmp") + ": supported\n" + S("depth2.bmp") + ": supported\n" +
                           S("not-bmp.bmp") + ": not supported\n" + S("none.bmp") +
                           ": not supported\n");
    EXPECT_EQ(Bmphost({"probe", S("rle4.bmp"), S("v5-24-gap.bmp")}).status, 0);
}

TEST(Bmphost, DescribeShowsTheModulesLines) {
    struct Case {
        std::string file;
        int status;
        std::string out, err;
    } const cases[] = {
        {"core4.bmp", 0,
         "Microsoft BMP Image\nWidth:  63\nHeight:  40\nBit Depth:  4\n"
         "Color Format:  16 colors w/palette\n",
         ""},
        {"not-bmp.bmp", 1, "", "error: the module cannot describe " + S("not-bmp.bmp") + "\n"},
    };
    for (const Case& c : cases) {
        const RunResult run = Bmphost({"describe", S(c.file)});
        EXPECT_EQ(run.status, c.status) << c.file;
        EXPECT_EQ(run.out, c.out) << c.file;
        EXPECT_EQ(run.err, c.err) << c.file;
    }
}

TEST(Bmphost, ImportJsonIsWhatTheHostReceived) {
    const RunResult run = Bmphost({"import", S("rgb4.bmp"), "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = json::parse(run.out);
    EXPECT_EQ(doc["result"], 0);
    EXPECT_EQ(doc["question_asked"], false);
    EXPECT_EQ(doc["messages"], json({"Importing BMP file rgb4.bmp"}));
    EXPECT_EQ(doc["progress"].size(), 41u);  // before the first row and after each

    const json& image = doc["image"];
    EXPECT_EQ(image["width"], 63);
    EXPECT_EQ(image["height"], 40);
    EXPECT_EQ(image["format"], tamb::ColorIndexed4);
    EXPECT_EQ(image["xppm"], 2835);
    // Blue, green, red, 0: black, dark red, dark green.
    EXPECT_EQ(image["color_table"].get<std::string>().substr(0, 24), "000000000000800000800000");
    ASSERT_EQ(image["rows"].size(), 40u);
    // Top row first: the white corner block (index 15) is at the top left.
    EXPECT_EQ(image["rows"][0].get<std::string>().substr(0, 8), "ffffff12");

    // The transparency question, answered by the command line.
    const json clear =
        json::parse(Bmphost({"import", S("rgba32-alpha0.bmp"), "--json", "--opaque", "yes"}).out);
    EXPECT_EQ(clear["question_asked"], true);
    EXPECT_EQ(clear["image"]["rows"][0].get<std::string>().substr(6, 2), "ff");
}

// Each case one convert run; the target is left only when it succeeds.
TEST(Bmphost, ConvertWritesOnlyWhatItFinished) {
    const tooltest::TempDir dir;
    const std::string out = dir.File("out.bmp"), rgb8 = S("rgb8.bmp"), depth2 = S("depth2.bmp");
    const std::string refused = "error: The file \"" + depth2 +
                                "\" is damaged or in an unsupported format. "
                                "(.\\BmpImportFilter:285, code 16)\n";
    const std::string refusedJson =
        R"({"error":{"source":".\\BmpImportFilter","line":285,"code":16,"args":[")" + depth2 +
        R"("],"message":"The file \")" + depth2 +
        R"(\" is damaged or in an unsupported format."}})";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } const cases[] = {
        {{rgb8, out}, 0, rgb8 + " -> " + out + ": 66x44 indexed8, 4070 bytes\n", ""},
        {{depth2, out}, 1, "", refused},
        {{depth2, out, "--json"}, 1, refusedJson + "\n", refused},
        {{S("truncated24.bmp"), out},
         1,
         "",
         "error: Unexpected end of the file \"" + S("truncated24.bmp") +
             "\": Premature end of file. (.\\BmpImportFilter:325, code 8)\n"},
        // The import reports 45 times (0 to 44 rows of 44), then the export.
        {{rgb8, out, "--stop-at", "3"}, 3, "", rgb8 + ": import stopped; nothing written\n"},
        {{rgb8, out, "--stop-at", "46"}, 3, "", out + ": export stopped; nothing written\n"},
        {{S("rgb24.bmp"), out, "--format", "indexed8"},
         2,
         "",
         "error: the image has more than 256 colours; indexed8 holds 256\n"},
        {{rgb8, dir.File("")},
         2,
         "",
         "error: refusing to export to " + dir.File("") +
             ": it exists and is not a regular file\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"convert"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult run = Bmphost(args);
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(std::filesystem::exists(out), c.status == 0);
        std::remove(out.c_str());
    }
}

// What the independent reader makes of two images: "" when they show the
// same pixels (alpha only where both carry one), else the first difference.
std::string Difference(const tooltest::PillowImage& a, const tooltest::PillowImage& b) {
    if (!a.read || !b.read) return "Pillow cannot read it";
    if (a.width != b.width || a.height != b.height) return "the sizes differ";
    const bool alpha = a.mode.back() == 'A' && b.mode.back() == 'A';
    for (std::size_t i = 0; i < a.rgba.size() && i < b.rgba.size(); ++i)
        if (a.rgba[i] != b.rgba[i] && (alpha || i % 4 != 3))
            return "pixel " + std::to_string(i / 4 % a.width) + ", " +
                   std::to_string(i / 4 / a.width) + " differs";
    return a.rgba.size() == b.rgba.size() ? "" : "the pixel data differ in length";
}

// Every sample converted as the main job does it; Pillow, reading each file
// on its own, sees in the sample, in bmphost's preview (what the module handed
// the host) and in the exported file the same pixels.
TEST(Bmphost, PillowSeesWhatTheModuleReadAndWrote) {
    const tooltest::TempDir dir;
    std::vector<std::string> names, paths;
    for (const auto& sample : tooltest::Samples()) {
        const std::string exported = dir.File(sample.name), preview = exported + ".png";
        const RunResult run = Bmphost(
            {"convert", S(sample.name), exported, "--png", preview, "--opaque", "yes", "--json"});
        SCOPED_TRACE(sample.name + ": " + sample.label);
        if (sample.expectation.rfind("error ", 0) == 0) {
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find(":" + sample.expectation.substr(6) + ", code "),
                      std::string::npos)
                << run.err;
            EXPECT_FALSE(std::filesystem::exists(exported));
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        const json report = json::parse(run.out);
        EXPECT_EQ(report["import"]["question_asked"], sample.expectation == "question");
        EXPECT_EQ(report["written"], true);
        names.push_back(sample.name);
        paths.insert(paths.end(), {S(sample.name), preview, exported});
    }
    const auto pillow = tooltest::ReadWithPillow(paths);
    int judged = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& source = pillow.at(paths[3 * i]);
        const auto& preview = pillow.at(paths[3 * i + 1]);
        EXPECT_EQ(Difference(pillow.at(paths[3 * i + 2]), preview), "") << names[i] << " exported";
        // Debian's Pillow (9.4) reads the two bytes after a run-length delta
        // code twice, so it cannot judge run-length files.
        if (!source.read || source.compression == 1 || source.compression == 2) continue;
        EXPECT_EQ(Difference(source, preview), "") << names[i];
        ++judged;
    }
    EXPECT_GE(judged, 18);
}

}  // namespace
