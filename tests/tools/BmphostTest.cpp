// bmphost run as a user runs it, one command at a time, on the main job's
// sample set: what it prints, its exit status and the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ToolRun.h"
#include "tamb/ColorFormat.h"

namespace {

using nlohmann::json;
using testsupport::Bytes;
using tooltest::Bmphost;
using tooltest::RunResult;

std::string S(const std::string& name) { return tooltest::SamplePath(name); }

TEST(Bmphost, ImportJsonIsWhatTheHostReceived) {
    const RunResult run = Bmphost({"import", S("rgb4.bmp"), "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = json::parse(run.out);
    EXPECT_EQ(doc["progress"].size(), 41u);  // before the first row and after each

    const json& image = doc["image"];
    EXPECT_EQ(image["width"], 63);
    EXPECT_EQ(image["height"], 40);
    EXPECT_EQ(image["format"], tamb::ColorIndexed4);
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

// A 16-bit grey PNG of one pixel, 40000 of 65535.
const char kGrey16Png[] =
    "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x01\0\0\0\x01\x10\0\0\0\0\x6a\xee\x47\x16"
    "\0\0\0\x0bIDAT\x78\x9c\x63\x98\xe3\0\0\x01\x7b\0\xdd\x40\xe6\x05\x81\0\0\0\0IEND"
    "\xae\x42\x60\x82";

// "@" stands for the target, "%" for its folder and "$" for the samples'.
std::string Fill(std::string text, const std::string& target, const std::string& folder) {
    for (auto at = text.find_first_of("@%$"); at != std::string::npos;
         at = text.find_first_of("@%$", at)) {
        const std::string with = text[at] == '@' ? target : text[at] == '%' ? folder : S("");
        text.replace(at, 1, with);
        at += with.size();
    }
    return text;
}

// Each case one run as a user types it: its exit status, what it prints, and
// the target's bytes before and after.
TEST(Bmphost, EachRunKeepsTheUsersFiles) {
    const tooltest::TempDir dir;
    std::filesystem::create_directory(dir.File("d.bmp"));
    dir.Write("grey16.png", Bytes(std::begin(kGrey16Png), std::end(kGrey16Png) - 1));
    // The error of importing "keep" from %/NAME, as JSON and as a line.
    const auto cut = [](const std::string& name) {
        return R"({"error":{"source":".\\BmpImportFilter","line":215,"code":8,"args":["%/)" + name +
               R"(","Premature end of file"],"message":"Unexpected end of the file \"%/)" + name +
               R"(\": Premature end of file"}})" + "\n";
    };
    const std::string cutLine =
        "error: Unexpected end of the file \"@\": Premature end of file (.\\BmpImportFilter:215, "
        "code 8)\n";
    // A run that succeeds with the target on its command line writes it.
    struct Case {
        std::string command;  // split at spaces
        int status;
        std::string out, err;
        std::string before = "";  // the target's bytes, "$NAME" a sample's; "": no file
        std::string target = "out.bmp";
        std::string shell = "";  // before the command, or "tty": on a terminal
        Bytes tail = {};         // of the written target
    } const cases[] = {
        {"probe $core1.bmp $depth2.bmp $not-bmp.bmp $none.bmp", 1,  // not all of them
         "$core1.bmp: supported\n$depth2.bmp: supported\n$not-bmp.bmp: not supported\n"
         "$none.bmp: not supported\n",
         ""},
        {"probe $rle4.bmp $v5-24-gap.bmp", 0, "$rle4.bmp: supported\n$v5-24-gap.bmp: supported\n",
         ""},
        {"describe $core4.bmp", 0,
         "Microsoft BMP Image\nWidth:  63\nHeight:  40\nBit Depth:  4\n"
         "Color Format:  16 colors w/palette\n",
         ""},
        {"describe $not-bmp.bmp", 1, "", "error: the module cannot describe $not-bmp.bmp\n"},
        {"convert $rgb8.bmp @ --stop-at 3", 3, "", "$rgb8.bmp: import stopped; nothing written\n"},
        {"convert $rgb24.bmp @ --format indexed8", 2, "",
         "error: the image has more than 256 colours; indexed8 holds 256\n"},
        {"convert $rgb8.bmp %/d.bmp", 2, "",
         "error: refusing to export to %/d.bmp: it exists and is not a regular file\n"},
        // Onto itself: a stop inside the export (the import reports 45 times,
        // 0 to 44 rows of 44) keeps the input.
        {"convert @ @ --stop-at 46", 3, "", "@: export stopped; nothing written\n", "$rgb8.bmp"},
        {"convert -- @ @", 0, "@ -> @: 66x44 8-bit indexed8, 4070 bytes\n", "", "$rgb8.bmp"},
        // Read-only: refused as the platform refuses it, even to root.
        {"convert $rgb8.bmp @", 1, "", "error: cannot overwrite @: it is read-only\n", "keep",
         "out.bmp", "chmod a-w @; "},
        // Past the file-size limit (two blocks of 512 bytes), inside the rows.
        {"convert $rgb24.bmp @", 1, "",
         "error: Unable to write the file \"@\": File write error (.\\BmpExportFilter:278, code "
         "9)\n",
         "keep", "out.bmp", "ulimit -f 2; "},
        // Names in JSON: UTF-8 as it was, other bytes replaced.
        {"import @ --json", 1, cut("café.bmp"), cutLine, "keep", "café.bmp"},
        {"import @ --json", 1, cut("caf\xEF\xBF\xBD.bmp"), cutLine, "keep", "caf\xE9.bmp"},
        // 16-bit samples by value: 40000 * 255 / 65535 rounds to 156.
        {"convert %/grey16.png @", 0, "%/grey16.png -> @: 1x1 8-bit gray8, 1082 bytes\n", "", "",
         "out.bmp", "", Bytes{156, 0, 0, 0}},
        {"import $rgba32-alpha0.bmp --png @", 0, "$rgba32-alpha0.bmp: 64x40 bgra32 (result 0)\n",
         "warning: not asked whether to make the fully transparent image opaque (stdin is not a "
         "terminal): answered no; --opaque yes makes it opaque\n",
         "", "out.png"},
        {"convert $rgb8.bmp @", 2, "",
         "error: refusing to export to @: its name does not end in .bmp\n", "keep", "b.PNG"},
        {"convert $rgba32.bmp @ --format=rgba32", 0,
         "$rgba32.bmp -> @: 64x40 24-bit, converted from rgba32, 7734 bytes\n", ""},
        {"describe $rgb8.bmp --png @", 2, "",
         "error: The following arguments were not expected: @ --png\n"
         "run 'bmphost describe --help' for usage\n"},
        {"-v", 0, "bmphost 0.1\nmodule: " BMPFILTER_MODULE_PATH "\n", ""},
        // On a terminal: a run this short draws no progress bar.
        {"import $rgb8.bmp", 0, "$rgb8.bmp: 66x44 indexed8 (result 0)\n", "", "", "out.bmp", "tty"},
    };
    for (const Case& c : cases) {
        const std::string target = dir.File(c.target);
        SCOPED_TRACE(c.command + " onto " + target);
        if (!c.before.empty())
            dir.Write(c.target, c.before[0] == '$'
                                    ? testsupport::ReadFileBytes(S(c.before.substr(1)))
                                    : Bytes(c.before.begin(), c.before.end()));
        const Bytes before = c.before.empty() ? Bytes() : testsupport::ReadFileBytes(target);
        std::vector<std::string> args;
        std::istringstream words(Fill(c.command, target, dir.path()));
        for (std::string word; words >> word;) args.push_back(word);
        RunResult run = Bmphost(args, Fill(c.shell, target, dir.path()));
        if (c.shell == "tty")
            run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, Fill(c.out, target, dir.path()));
        EXPECT_EQ(run.err, Fill(c.err, target, dir.path()));
        const bool written = c.status == 0 && c.command.find('@') != std::string::npos;
        const bool exists = std::filesystem::exists(target);
        EXPECT_EQ(exists, written || !c.before.empty());
        const Bytes after = exists ? testsupport::ReadFileBytes(target) : Bytes();
        if (!written) {
            EXPECT_EQ(after, before);
        }
        EXPECT_TRUE(after.size() >= c.tail.size() &&
                    std::equal(c.tail.rbegin(), c.tail.rend(), after.rbegin()));
        const auto files = std::distance(std::filesystem::directory_iterator(dir.path()), {});
        EXPECT_EQ(files, 2 + exists) << "a file was left behind";
        std::filesystem::remove(target);
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
