// bmphost run as a user runs it, one command at a time, on the main job's
// sample set: what it prints, its exit status and the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "BmpBytes.h"
#include "ToolRun.h"
#include "tamb/ColorFormat.h"

namespace {

using nlohmann::json;
using testsupport::Bytes;
using tooltest::Bmphost;
using tooltest::RunResult;

std::string S(const std::string& name) { return tooltest::SamplePath(name); }

TEST(Bmphost, ImportJsonIsWhatTheHostReceived) {
    const RunResult run = Bmphost({"import", S("rgb4.bmp"), "--json", "--pixels"});
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
    const json clear = json::parse(
        Bmphost({"import", S("rgba32-alpha0.bmp"), "--json", "--opaque", "yes", "--pixels"}).out);
    EXPECT_EQ(clear["question_asked"], true);
    EXPECT_EQ(clear["image"]["rows"][0].get<std::string>().substr(6, 2), "ff");
    // The pixels only when asked for.
    EXPECT_FALSE(json::parse(Bmphost({"import", S("rgb4.bmp"), "--json"}).out)["image"].contains(
        "color_table"));

    // The preview shows the host's 32-bit pixels, alpha included (the
    // sample's alpha runs through 64 levels), as Pillow reads the PNG.
    const tooltest::TempDir dir;
    const std::string png = dir.File("alpha.png");
    const json alpha =
        json::parse(Bmphost({"import", S("rgba32.bmp"), "--json", "--pixels", "--png", png}).out);
    const tooltest::PillowImage preview = tooltest::ReadWithPillow({png}).at(png);
    ASSERT_EQ(preview.mode, "RGBA");
    std::string shown;  // the preview's pixels as the host's rows: blue, green, red, alpha
    for (std::size_t i = 0; i < preview.rgba.size(); i += 4)
        for (const std::size_t channel : {i + 2, i + 1, i, i + 3}) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", preview.rgba[channel]);
            shown += hex;
        }
    std::string rows;
    for (const json& row : alpha["image"]["rows"]) rows += row.get<std::string>();
    EXPECT_EQ(shown, rows);
}

// Every member name of a document and of the objects inside it.
void CollectKeys(const json& doc, std::set<std::string>& keys) {
    if (doc.is_array())
        for (const json& item : doc) CollectKeys(item, keys);
    if (!doc.is_object()) return;
    for (const auto& [key, value] : doc.items()) {
        keys.insert(key);
        CollectKeys(value, keys);
    }
}

std::vector<std::string> TopKeys(const json& doc) {
    std::vector<std::string> keys;
    for (const auto& item : doc.items()) keys.push_back(item.key());
    return keys;
}

// Each document carries the schema version and names only fields that
// tools/README.md describes; import and convert print one shape, and every
// warning given, bmphost's own and its automatic answers too, is in it.
TEST(Bmphost, JsonDocumentsShareOneDocumentedShape) {
    const tooltest::TempDir dir;
    const auto doc = [](const std::vector<std::string>& args) {
        return json::parse(Bmphost(args).out);
    };
    // Not const: a member a document lacks reads as null.
    json imported = doc({"import", S("rgba32-alpha0.bmp"), "--json", "--pixels"});
    json converted = doc({"convert", S("bitfields16-565.bmp"), dir.File("o.bmp"), "--json"});
    Bmphost({"import", S("rgb8.bmp"), "--png", dir.File("o.png")});
    json fromPng = doc({"convert", dir.File("o.png"), dir.File("o.bmp"), "--json"});
    EXPECT_EQ(fromPng["input"], "png");
    std::vector<json> docs = {imported,
                              converted,
                              fromPng,
                              doc({"describe", S("rgb8.bmp"), "--json"}),
                              doc({"probe", S("rgb8.bmp"), "--json"})[0],
                              doc({"import", S("not-bmp.bmp"), "--json"})};
    std::set<std::string> keys;
    for (json& d : docs) {
        EXPECT_EQ(d["schema"], 1) << d.dump();
        CollectKeys(d, keys);
    }
    EXPECT_EQ(TopKeys(imported), TopKeys(converted));
    EXPECT_EQ(TopKeys(imported), TopKeys(fromPng));
    EXPECT_EQ(imported["warnings"],
              json::array({"not asked whether to make the fully transparent image opaque (stdin "
                           "is not a terminal): answered no; --opaque yes makes it opaque"}));
    EXPECT_EQ(imported["import"]["result"], imported["result"]);
    json warned = doc(
        {"convert", S("rgb8.bmp"), dir.File("o.bmp"), "--json", "--opaque", "no", "--no-prompt"});
    EXPECT_EQ(warned["warnings"].size(), 1u) << warned.dump();
    const std::string readme = tooltest::ReadText(BMP_SOURCE_DIR "/tools/README.md");
    for (const std::string& key : keys)
        EXPECT_NE(readme.find("`" + key + "`"), std::string::npos) << key << " is not described";
}

// Two runs onto the same BMP target and preview at once: the two files
// always come from the same run (rgb8.bmp is 66 pixels wide, rgb4.bmp 63).
TEST(Bmphost, TwoRunsOntoOnePairNeverMix) {
    const tooltest::TempDir dir;
    const std::string bmp = dir.File("pair.bmp"), png = dir.File("pair.png");
    const auto run = [&](const std::string& sample) {
        return tooltest::ShellWords({BMPHOST_PATH, "--module", BMPFILTER_MODULE_PATH, "convert",
                                     S(sample), bmp, "--png", png});
    };
    for (int i = 0; i < 20; ++i) {
        const RunResult both =
            tooltest::Run({"/bin/sh", "-c", run("rgb8.bmp") + "& " + run("rgb4.bmp") + "; wait"});
        ASSERT_EQ(both.status, 0) << both.err;
        const Bytes b = testsupport::ReadFileBytes(bmp), p = testsupport::ReadFileBytes(png);
        ASSERT_TRUE(b.size() > 22 && p.size() > 20);
        EXPECT_EQ(b[18], p[19]) << "the BMP of one run, the preview of the other";
    }
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

// Every entry of the folder but the target, with the bytes of each file.
std::map<std::filesystem::path, Bytes> Entries(const std::string& folder,
                                               const std::string& target) {
    std::map<std::filesystem::path, Bytes> out;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path() != target)
            out[entry.path()] = entry.is_regular_file() && !entry.is_symlink()
                                    ? testsupport::ReadFileBytes(entry.path())
                                    : Bytes();
    return out;
}

// A file with BI_BITFIELDS at `bits` and these masks, after a 40-byte header
// or inside a larger one.
Bytes BitFields(std::uint16_t bits, std::vector<std::uint32_t> masks, std::uint32_t header = 40) {
    bmpbytes::BmpFields f;
    f.width = f.height = 2;
    f.bitCount = bits;
    f.compression = 3;
    f.headerSize = header;
    (header > 40 ? f.headerMasks : f.masks) = std::move(masks);
    f.palette.resize(bits == 1 ? 2 : 0);
    f.pixels.assign(bmpbytes::StrideFor(2, bits) * 2, 0x55);
    f.gap = 12;  // what the module reads as masks after a larger header
    return bmpbytes::BuildBmp(f);
}

// 1 x 1 pixel at 16 bits with bit-field masks inside a 124-byte header, the
// pixels right after it, as several programs write them.
Bytes TinyBitFields() {
    bmpbytes::BmpFields f;
    f.bitCount = 16;
    f.compression = 3;
    f.headerSize = 124;
    f.headerMasks = {0x7C00, 0x3E0, 0x1F};
    f.pixels.assign(4, 0xFF);
    return bmpbytes::BuildBmp(f);
}

// A core header of this size, without pixels.
Bytes CoreFile(std::int32_t width, std::int32_t height) {
    bmpbytes::BmpFields f;
    f.headerSize = 12;
    f.width = width;
    f.height = height;
    return bmpbytes::BuildBmp(f);
}

// Each case one run as a user types it: its exit status, what it prints, and
// the bytes of the target and of every other file before and after.
TEST(Bmphost, EachRunKeepsTheUsersFiles) {
    const tooltest::TempDir dir;
    std::filesystem::create_directory(dir.File("d.png"));
    std::filesystem::create_symlink(dir.File("out.bmp"), dir.File("link.png"));
    dir.Write("grey16.png", Bytes(std::begin(kGrey16Png), std::end(kGrey16Png) - 1));
    tooltest::Run({"/usr/bin/python3", "-c",
                   "import sys\nfrom PIL import Image\n"
                   "Image.new('RGB', (3, 2), (9, 99, 199)).save(sys.argv[1], dpi=(300, 150))",
                   dir.File("dpi.png")});
    dir.Write("4444.bmp", BitFields(16, {0xF00, 0xF0, 0xF}));
    dir.Write("101010.bmp", BitFields(32, {0x3FF00000, 0xFFC00, 0x3FF}));
    dir.Write("bf1.bmp", BitFields(1, {0, 0, 0}));
    dir.Write("v5-565.bmp", BitFields(16, {0xF800, 0x7E0, 0x1F}, 124));
    dir.Write("1555.bmp", BitFields(16, {0x7C00, 0x3E0, 0x1F, 0x8000}, 124));
    dir.Write("v5-tiny.bmp", TinyBitFields());
    dir.Write("core40000.bmp", CoreFile(2, 40000));
    Bytes cutHeader = bmpbytes::BuildBmp(bmpbytes::BmpFields());
    cutHeader.resize(28);  // inside the information header
    dir.Write("cut.bmp", cutHeader);
    // The error of importing "keep" (4 bytes) from %/NAME, as JSON and as lines.
    const auto cut = [](const std::string& name) {
        const std::string file = "%/" + name;
        return R"({"schema":1,"error":{"source":".\\BmpImportFilter","line":215,"code":8,"args":[")" +
               file + R"(","Premature end of file"],"message":"Unexpected end of the file \")" +
               file + R"(\": Premature end of file","cause":")" + file +
               R"( ends inside its file header: the module reads 14 bytes from byte 0, and the )"
               R"(file has only 4"},"warnings":[]})"
               "\n";
    };
    const std::string cutLine =
        "error: Unexpected end of the file \"@\": Premature end of file (.\\BmpImportFilter:215, "
        "code 8)\ncause: @ ends inside its file header: the module reads 14 bytes from byte 0, and "
        "the file has only 4\n";
    const std::string fullOut =
        "/usr/bin/python3 -c \"import os, sys; os.dup2(os.open('/dev/full', os.O_WRONLY), 1); "
        "os.execv(sys.argv[1], sys.argv[1:])\" ";
    const std::string noStdout =
        "error: cannot write the standard output: No space left on device\n";
    const std::string notOpened =
        "error: Unable to open or create the file \"\": No such file or directory "
        "(.\\BmpImportFilter:213, code 5)\n";
    // A run that succeeds with the target on its command line writes it.
    struct Case {
        std::string command;  // split at spaces
        int status;
        std::string out, err;
        std::string before = "";  // the target's bytes, "$NAME" a sample's; "": no file
        std::string target = "out.bmp";
        std::string shell = "";  // before the command, or "tty": on a terminal
        long at = 0;             // where `bytes` stand in the written target, < 0 from its end
        Bytes bytes = {};
    } const cases[] = {
        {"probe $core1.bmp $depth2.bmp $not-bmp.bmp $none.bmp", 1,  // not all of them
         "$core1.bmp: supported\n$depth2.bmp: supported\n$not-bmp.bmp: not supported\n"
         "$none.bmp: not supported: No such file or directory\n",
         ""},
        {"probe $rle4.bmp --json", 0,
         R"([{"schema":1,"file":"$rle4.bmp","supported":true,"reason":""}])"
         "\n",
         ""},
        {"describe $core4.bmp", 0,
         "Microsoft BMP Image\nWidth:  63\nHeight:  40\nBit Depth:  4\n"
         "Color Format:  16 colors w/palette\n",
         ""},
        {"describe - --json", 0,
         R"({"schema":1,"description":"Microsoft BMP Image\r\nWidth:  63\r\nHeight:  40\r\n)"
         R"(Bit Depth:  4\r\nColor Format:  16 colors w/palette\r\n","width":63,"height":40,)"
         R"("bit_depth":4,"color_format":"16 colors w/palette","warnings":[]})"
         "\n",
         "", "", "out.bmp", "cat $core4.bmp | "},
        {"describe $not-bmp.bmp", 1, "",
         "error: the module cannot describe $not-bmp.bmp: its headers are not those of a BMP "
         "file\n"},
        {"describe %/none.bmp", 1, "",
         "error: the module cannot describe %/none.bmp: No such file or directory\n"},
        // A pipe is read once, whether it holds a PNG or not.
        {"convert /dev/stdin @", 0, "/dev/stdin -> @: 66x44 8-bit indexed8, 4070 bytes\n", "", "",
         "out.bmp", "cat $rgb8.bmp | "},
        {"convert $rgb8.bmp @ --stop-at 3", 3, "", "$rgb8.bmp: stopped; nothing written\n"},
        {"convert $rgb24.bmp @ --format indexed8", 2, "",
         "error: the image has more than 256 colours; indexed8 holds 256\n"},
        {"import $rgb8.bmp --png %/d.png", 2, "",
         "error: refusing to write %/d.png: it exists and is not a regular file\n"},
        {"import @ --png @", 2, "", "error: refusing to write @: its name does not end in .png\n",
         "$rgb8.bmp"},
        {"convert %/grey16.png @ --png %/grey16.png", 2, "",
         "error: refusing to write the preview %/grey16.png: it is the input\n"},
        {"convert $rgb8.bmp @ --png %/link.png", 2, "",
         "error: refusing to write the preview %/link.png: it is the BMP target\n"},
        // Onto itself: a stop inside the export (the import reports 45 times,
        // 0 to 44 rows of 44) keeps the input and the preview.
        {"convert @ @ --stop-at 46 --png %/grey16.png", 3, "", "@: stopped; nothing written\n",
         "$rgb8.bmp"},
        {"convert -- @ @", 0, "@ -> @: 66x44 8-bit indexed8, 4070 bytes\n", "", "$rgb8.bmp"},
        // Read-only: refused as the platform refuses it, even to root.
        {"convert $rgb8.bmp @", 1, "", "error: cannot overwrite @: it is read-only\n", "keep",
         "out.bmp", "chmod a-w @; "},
        // Past the file-size limit (two blocks of 512 bytes), inside the rows,
        // after the preview was written.
        {"convert $rgb24.bmp @ --png %/grey16.png", 1, "",
         "error: Unable to write the file \"@\": File write error (.\\BmpExportFilter:278, code "
         "9)\ncause: File too large\n",
         "keep", "out.bmp", "ulimit -f 2; "},
        {"import $large24.bmp --png @", 1, "",
         "error: cannot write the preview @: File too large\n", "keep", "out.png", "ulimit -f 1; "},
        // Standard output that takes nothing: an error, and no target changed.
        {"describe $rgb8.bmp --json", 1, "", noStdout, "", "out.bmp", fullOut},
        {"probe $rgb8.bmp", 1, "", noStdout, "", "out.bmp", fullOut},
        {"import $rgb8.bmp --json", 1, "", noStdout, "", "out.bmp", fullOut},
        {"convert $rgb8.bmp @ --json", 1, "", noStdout, "keep", "out.bmp", fullOut},
        {"import $rgb8.bmp --png -", 1, "", noStdout, "", "out.bmp", fullOut},
        // An empty input name is a missing file; an empty target, a usage error.
        {"import ''", 1, "", notOpened},
        {"convert '' @", 1, "", notOpened},
        {"convert $rgb8.bmp ''", 2, "",
         "error: OUT.bmp: an empty name names no file\nrun 'bmphost convert --help' for usage\n"},
        {"import $rgb8.bmp --png ''", 2, "",
         "error: --png: an empty name names no file\nrun 'bmphost import --help' for usage\n"},
        // Endless inputs: what is no BMP or PNG file is refused on its first
        // bytes; the rest is copied up to a bound.
        {"import /dev/zero", 1, "",
         "error: The file \"/dev/zero\" is damaged or in an unsupported format. "
         "(.\\BmpImportFilter:221, code 16)\n"},
        {"describe /dev/zero", 1, "",
         "error: the module cannot describe /dev/zero: its headers are not those of a BMP file\n"},
        {"--max-input-bytes=4000 convert - @", 1, "",
         "error: cannot read -: it holds more than 4000 bytes, the most bmphost copies from "
         "standard input, a pipe or a device; --max-input-bytes raises it\n",
         "", "out.bmp", "cat $rgb8.bmp | "},
        {"import -", 1, "", "error: cannot copy - to the temporary folder %: File too large\n", "",
         "out.bmp", "ulimit -f 1; cat $large24.bmp | TMPDIR=% "},
        {"probe -", 0, "-: supported\n", "", "", "out.bmp", "cat $rgb8.bmp | "},
        {"-v --module %/none.so", 1, "bmphost 0.1\n",
         "error: cannot load the module %/none.so: %/none.so: cannot open shared object file: No "
         "such file or directory\n"},
        // A core header's height is unsigned.
        {"--max-pixels=60000 import %/core40000.bmp", 1, "",
         "error: cannot import %/core40000.bmp: it is 2x40000 pixels, more than the host's limit "
         "of 60000 (--max-pixels)\n"},
        // Options that change nothing together.
        {"import $rgb8.bmp --pixels", 0, "$rgb8.bmp: 66x44 indexed8 (result 0)\n",
         "warning: --pixels has no effect without --json\n"},
        {"import $rgba32-alpha0.bmp --opaque yes --no-prompt", 0,
         "$rgba32-alpha0.bmp: 64x40 bgra32 (result 0)\n",
         "warning: --opaque has no effect with --no-prompt: the module may not ask, so a fully "
         "transparent image stays as it is\n"},
        // The causes the module's texts do not name.
        {"import %/cut.bmp", 1, "",
         "error: An unexpected internal error occurred. (.\\BmpImportFilter:225, code 1)\ncause: "
         "%/cut.bmp ends inside its information header: the module reads 40 bytes from byte 14, "
         "and the file has only 14\n"},
        {"import %/v5-tiny.bmp", 1, "",
         "error: Unexpected end of the file \"%/v5-tiny.bmp\": Premature end of file "
         "(.\\BmpImportFilter:215, code 8)\ncause: the module reads the bit-field masks from the "
         "12 "
         "bytes after the whole 124-byte header, and %/v5-tiny.bmp has only 4 there (its own masks "
         "stand inside the header)\n"},
        // The longest name a file may have.
        {"convert $rgb8.bmp @", 0, "$rgb8.bmp -> @: 66x44 8-bit indexed8, 4070 bytes\n", "", "",
         std::string(251, 'n') + ".bmp"},
        {"--max-pixels=3014 import $rgb24.bmp", 1, "",
         "error: cannot import $rgb24.bmp: it is 67x45 pixels, more than the host's limit of 3014 "
         "(--max-pixels)\n"},
        {"import $rgb24.bmp --max-pixels=-1", 2, "",
         "error: --max-pixels: -1 is no count of pixels\n"
         "run 'bmphost import --help' for usage\n"},
        {"convert $rgb24.bmp -lead.bmp @", 2, "",
         "error: unknown option -lead.bmp\nrun 'bmphost convert --help' for usage\n"},
        // Names in JSON: UTF-8 as it was, other bytes replaced.
        {"import @ --json", 1, cut("café.bmp"), cutLine, "keep", "café.bmp"},
        {"import @ --json", 1, cut("caf\xEF\xBF\xBD.bmp"), cutLine, "keep", "caf\xE9.bmp"},
        // 16-bit samples by value: 40000 * 255 / 65535 rounds to 156.
        {"convert %/grey16.png @", 0, "%/grey16.png -> @: 1x1 8-bit gray8, 1082 bytes\n", "", "",
         "out.bmp", "", -4, Bytes{156, 0, 0, 0}},
        // The resolution a PNG states: 300 and 150 dots per inch.
        {"convert %/dpi.png @", 0, "%/dpi.png -> @: 3x2 24-bit bgr24, 78 bytes\n", "", "",
         "out.bmp", "", 38, Bytes{0x23, 0x2E, 0, 0, 0x12, 0x17, 0, 0}},
        {"import $rgba32-alpha0.bmp --png @", 0, "$rgba32-alpha0.bmp: 64x40 bgra32 (result 0)\n",
         "warning: not asked whether to make the fully transparent image opaque (stdin is not a "
         "terminal): answered no; --opaque yes makes it opaque\n",
         "", "out.png"},
        {"convert $rgb8.bmp @", 2, "",
         "error: refusing to write @: its name does not end in .bmp\n", "keep", "b.PNG"},
        {"convert $rgba32.bmp @ --format=rgba32", 0,
         "$rgba32.bmp -> @: 64x40 24-bit, converted from rgba32, 7734 bytes\n", ""},
        // Masks the module does not read as such.
        {"import %/4444.bmp", 0, "%/4444.bmp: 2x2 bgr24 (result 0)\n",
         "warning: %/4444.bmp: a 16-bit file with bit-field masks red 0xF00, green 0xF0, blue 0xF; "
         "the module reads the pixels as 5-5-5 (red in bits 10-14, green 5-9, blue 0-4)\n"},
        {"import %/101010.bmp", 0, "%/101010.bmp: 2x2 bgra32 (result 0)\n",
         "warning: %/101010.bmp: a 32-bit file with bit-field masks red 0x3FF00000, green 0xFFC00, "
         "blue 0x3FF; the module reads the pixels as blue, green, red, alpha bytes\n"},
        {"import %/1555.bmp", 0, "%/1555.bmp: 2x2 bgr24 (result 0)\n",
         "warning: %/1555.bmp: a 16-bit file with bit-field masks red 0x7C00, green 0x3E0, blue "
         "0x1F, alpha 0x8000; the module reads the pixels as 5-5-5 (red in bits 10-14, green 5-9, "
         "blue 0-4), without alpha\n"},
        {"import %/bf1.bmp", 0, "%/bf1.bmp: 2x2 indexed1 (result 0)\n",
         "warning: %/bf1.bmp: a 1-bit file with bit-field masks red 0x0, green 0x0, blue 0x0; the "
         "module reads the pixels as plain rows of colour indices\n"},
        // The module takes the masks from after the whole header: here pixels.
        {"import %/v5-565.bmp", 0, "%/v5-565.bmp: 2x2 bgr24 (result 0)\n",
         "warning: %/v5-565.bmp: a 16-bit file with bit-field masks red 0xF800, green 0x7E0, blue "
         "0x1F; the module reads the pixels as 5-5-5 (red in bits 10-14, green 5-9, blue 0-4)\n"},
        // Ctrl-C while bmphost reads standard input: the import stops at once.
        // The pid is timeout's; the signal goes to its child once that is
        // bmphost with its handlers set (SIGHUP caught: the last digit of
        // SigCgt is odd), however slowly it starts.
        {"import - --png %/grey16.png", 130, "", "-: interrupted; nothing written\n", "", "out.bmp",
         "{ while [ ! -s %/pid ]; do sleep 0.1; done; seq 600 | while read i; do "
         "tr -d ' ' </proc/`cat %/pid`/task/`cat %/pid`/children >%/child; "
         "grep -qx bmphost /proc/`cat %/child`/comm && grep -qx "
         "'SigCgt:[[:space:]]*[0-9a-f]*[13579bdf]' /proc/`cat %/child`/status && break; "
         "sleep 0.05; done 2>/dev/null; kill -INT `cat %/child`; rm %/pid %/child; cat $rgb8.bmp; "
         "} "
         "| /usr/bin/python3 -c \"import os, sys; open(sys.argv[1], 'w')"
         ".write(str(os.getpid())); os.execv(sys.argv[2], sys.argv[2:])\" %/pid "},
        {"-v", 0, "bmphost 0.1\nmodule: " BMPFILTER_MODULE_PATH "\n", ""},
        // On a terminal: a run this short draws no progress bar; the preview
        // is said while it is written.
        {"import $rgb8.bmp --png @", 0,
         "writing the preview @...\x1b[K\x1b[K$rgb8.bmp: 66x44 indexed8 (result 0)\n", "", "",
         "out.png", "tty"},
    };
    for (const Case& c : cases) {
        const std::string target = dir.File(c.target);
        SCOPED_TRACE(c.command + " onto " + target);
        if (!c.before.empty())
            dir.Write(c.target, c.before[0] == '$'
                                    ? testsupport::ReadFileBytes(S(c.before.substr(1)))
                                    : Bytes(c.before.begin(), c.before.end()));
        const Bytes before = c.before.empty() ? Bytes() : testsupport::ReadFileBytes(target);
        const auto others = Entries(dir.path(), target);
        std::vector<std::string> args;
        std::istringstream words(Fill(c.command, target, dir.path()));
        for (std::string word; words >> word;) args.push_back(word == "''" ? "" : word);
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
        const std::size_t at = c.at < 0 ? after.size() + c.at : c.at;
        EXPECT_TRUE(at + c.bytes.size() <= after.size() &&
                    std::equal(c.bytes.begin(), c.bytes.end(), after.begin() + at));
        EXPECT_EQ(Entries(dir.path(), target), others) << "another file changed or was left";
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
        // Their masks, where they have any, are read as such.
        EXPECT_EQ(run.err.find("bit-field masks"), std::string::npos) << run.err;
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
        // The preview states the file's resolution.
        EXPECT_TRUE(source.xppm == preview.xppm && source.yppm == preview.yppm) << names[i];
        // Debian's Pillow (9.4) reads the two bytes after a run-length delta
        // code twice, so it cannot judge run-length files.
        if (!source.read || source.compression == 1 || source.compression == 2) continue;
        EXPECT_EQ(Difference(source, preview), "") << names[i];
        ++judged;
    }
    EXPECT_GE(judged, 18);
}

}  // namespace
